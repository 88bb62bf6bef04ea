// Which pipe clients the scheduler keeps and which server its agent accepts, XP's
// unanswerable questions included; the pipe's name; an agent that breaks the protocol.
#include <gtest/gtest.h>

#include <algorithm>

#include "session/agent.h"
#include "system/registry.h"
#include "session/pipe_channel.h"
#include "tests/support/fake_pipe.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"
#include "tests/support/fake_session.h"

namespace {

PipeClientIdentity Client(DWORD pid, DWORD session, bool known = true, bool remote = false) {
    PipeClientIdentity who;
    who.processId = pid;
    who.sessionId = session;
    who.processKnown = who.sessionKnown = known;
    who.remote = remote;
    return who;
}

TEST(PipeClientRefusal, KeepsOnlyTheExpectedProcessInItsSession) {
    struct Case {
        DWORD pid, session;
        PipeClientIdentity client;
        const char *refusal;
    } cases[] = {
        {42, 1, Client(42, 1), nullptr},
        {42, 1, Client(43, 1), "another process"},
        {42, 1, Client(42, 2), "another session"},
        {0, 0, Client(0, 0), "no client expected"},
        {0, 1, Client(42, 1, false), "no client expected"},
        {42, 1, Client(42, 1, true, true), "another machine"},
        // XP cannot name the client's process or session: the DACL is the guard there.
        {42, 1, Client(7, 9, false), nullptr},
    };
    for (const Case &c : cases) {
        const char *why = PipeClientRefusal(c.pid, c.session, c.client);
        EXPECT_STREQ(c.refusal, why) << c.pid << "/" << c.session << " vs " << c.client.processId;
    }
}

TEST(PipeChannelName, IsThePrefixAnd32HexDigitsExactly) {
    const std::string ours = PipeChannelName(std::string("\x01\x23\x45\x67\x89\xab\xcd\xef\xfe\xdc\xba\x98\x76\x54\x32\x10", 16));
    EXPECT_EQ("\\\\.\\pipe\\Vespra-0123456789abcdeffedcba9876543210", ours);
    const std::string digits = "0123456789abcdefABCDEF0123456789";
    const struct {
        std::string name;
        bool valid;
    } cases[] = {
        {ours, true},
        {std::string(kPipeChannelPrefix) + digits, true},
        {"\\\\.\\pipe\\Vespra", false},                             // the old fixed name
        {std::string(kPipeChannelPrefix) + digits.substr(1), false}, // 31 digits
        {std::string(kPipeChannelPrefix) + digits + "0", false},     // 33
        {std::string(kPipeChannelPrefix) + "g" + digits.substr(1), false},
        {std::string(kPipeChannelPrefix) + digits.substr(1) + " ", false},
        {"\\\\.\\pipe\\vespra-" + digits, false}, // the prefix exactly
        {"\\\\server\\pipe\\Vespra-" + digits, false},
        {"\\\\.\\pipe\\Other-" + digits, false},
        {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.valid, IsPipeChannelName(c.name)) << c.name;
}

// PipeServerFacts in its fields' order: can ask, session known, session, user known,
// user is SYSTEM, services' session known, services' session, user is the services'.
TEST(PipeServerRefusal, OnlySystemInSession0OrWhereAndAsWhomOurServiceRuns) {
    const struct {
        PipeServerFacts server;
        const char *refusal;
    } cases[] = {
        {{true, true, 0, true, true}, nullptr},                    // the scheduler on Windows
        {{true, true, 0, true, true, true, 0, true}, nullptr},     // ... where the service runs
        {{true, true, 0, false, false}, nullptr},                  // its token not ours to read
        {{true, true, 0, true, false}, "not SYSTEM"},              // another service's account
        {{true, true, 1, true, true}, "not in session 0"},         // SYSTEM in a user's session
        {{true, true, 1, true, false}, "not in session 0"},        // a user's own server
        {{true, true, 1, false, false, true, 1, false}, "not in session 0"},
        {{true, true, 1, true, false, true, 1, true}, nullptr},    // Wine: services run as the user
        {{true, true, 2, true, false, true, 1, true}, "not in session 0"},
        {{true, true, 1, true, false, false, 1, true}, "not in session 0"},
        {{true, false, 0, true, true}, "server unknown"},          // the call failed
        {{false, false, 0, false, false}, nullptr},                // XP: nothing to ask
    };
    for (const auto &c : cases)
        EXPECT_STREQ(c.refusal, PipeServerRefusal(c.server)) << &c - cases;
}

// The scheduler's side of session 0 mode over the stand-ins: junk from the agent
// closes its connection with one log line, and only the next agent gets in.
struct RefusingHost {
    PipeServer pipe;
    SessionWatch watch{"vespra.exe"};
    time_t now = 1000;
    int messages = 0;

    static void OnMessage(void *self, const std::string &) {
        auto *host = static_cast<RefusingHost *>(self);
        ++host->messages;
        RefuseAgent(host->pipe, host->watch, 1, host->now);
    }
    static std::string PipeFor(void *self, DWORD) { return static_cast<RefusingHost *>(self)->pipe.Name(); }
    static void OnStarting(void *self, const AgentProcess &agent) {
        EXPECT_TRUE(fake::Sess().suspendedAgents.count(agent.processId));
        static_cast<RefusingHost *>(self)->pipe.ExpectClient(agent.processId, agent.sessionId);
    }
};

TEST(AgentRefusal, ClosesTheConnectionAtOnceLogsOnceAndLetsOnlyTheNextAgentIn) {
    fake::ResetPlatform();
    fake::ResetSession();
    fake::ResetPipe();
    fake::UseTempLogFile();
    fake::PutDword(kSettingsKey, "logfile", 1);
    fake::Sess().console = fake::UserAt(1, "alice");
    RefusingHost host;
    ASSERT_TRUE(host.pipe.Start(RefusingHost::OnMessage, nullptr, &host));
    host.watch.SetAgentHost(RefusingHost::PipeFor, RefusingHost::OnStarting, &host);
    host.watch.Tick(host.now);
    ASSERT_EQ(500u, host.watch.Agent().processId);
    EXPECT_TRUE(fake::Sess().suspendedAgents.empty()) << "resumed after the pipe expects it";
    EXPECT_EQ(host.pipe.Name(), fake::Sess().agentPipes.back());

    fake::Pipe().clientProcessId = 500;
    fake::Pipe().clientSessionId = 1;
    PipeClient agent;
    EXPECT_FALSE(agent.Connect("\\\\.\\pipe\\Vespra", nullptr, nullptr, nullptr, 0)) << "a guessed name";
    ASSERT_TRUE(agent.Connect(host.pipe.Name(), nullptr, nullptr, nullptr, 0));
    fake::DeliverPipe();
    ASSERT_TRUE(host.pipe.Connected());
    for (int i = 0; i < 50; ++i)
        agent.Send("junk " + std::to_string(i));
    fake::DeliverPipe();
    EXPECT_EQ(1, host.messages) << "nothing after the first refused message";
    EXPECT_FALSE(host.pipe.Connected());
    EXPECT_FALSE(agent.Connected());
    EXPECT_TRUE(fake::Sess().endedAgents.count(500));
    EXPECT_EQ(1, fake::Pipe().closedClients);
    const auto lines = fake::LogLines();
    EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [](const std::string &l) {
                  return l.find("Agent message refused") != std::string::npos;
              }));

    // The same process again is let in by nobody; a new agent waits out the retry.
    ASSERT_TRUE(agent.Connect(host.pipe.Name(), nullptr, nullptr, nullptr, 0));
    fake::DeliverPipe();
    EXPECT_FALSE(host.pipe.Connected());
    EXPECT_EQ(std::vector<std::string>{"no client expected"}, fake::Pipe().refusals);
    host.watch.Tick(host.now + SessionWatch::kAgentRetrySeconds - 1);
    EXPECT_FALSE(host.watch.AgentRunning());
    host.watch.Tick(host.now + SessionWatch::kAgentRetrySeconds);
    ASSERT_EQ(501u, host.watch.Agent().processId);
    fake::Pipe().clientProcessId = 501;
    PipeClient next;
    ASSERT_TRUE(next.Connect(host.pipe.Name(), nullptr, nullptr, nullptr, 0));
    fake::DeliverPipe();
    EXPECT_TRUE(host.pipe.Connected());
}

} // namespace

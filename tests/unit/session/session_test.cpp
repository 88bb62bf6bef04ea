// Session 0 mode against the stand-ins: the world decision, the console's events,
// the agent's starts and the forced request.
#include <gtest/gtest.h>

#include "session/session_watch.h"
#include "scheduler/forced_request.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_session.h"

namespace {

using fake::Sess;
using fake::UserAt;

TEST(Session, WorldDecision) {
    fake::ResetSession();
    const struct {
        WorldFacts facts;
        bool sessionZero;
    } cases[] = {
        {{true, true, true, 1, 1}, false},                // a plain start, XP's interactive service
        {{true, false, true, 1, 1}, true},                // an invisible station
        {{true, true, true, 0, 1}, true},                 // not the console's session
        {{true, true, true, 0, kNoConsoleSession}, true}, // nobody's at the console at all
        {{true, true, false, 0, 0}, false},               // no session calls: 9x, NT4, 2000
        {{true, false, false, 0, 0}, true},               // 2000's non-interactive service
        {{false, false, false, 0, 0}, false},             // nothing can be asked
        {{false, false, true, 0, 1}, true},
    };
    for (const auto &c : cases) {
        Sess().world = c.facts;
        EXPECT_EQ(c.sessionZero, IsSessionZeroMode()) << &c - cases;
    }
}

TEST(Session, EventsFromSuccessiveStates) {
    fake::ResetSession();
    ConsoleSessionState away = UserAt(2, "carol"), failed = UserAt(3, "dave");
    away.connected = false;
    failed.sessionId = 99; // marks a failed query
    const struct {
        ConsoleSessionState state;
        const char *events;
        bool userThere;
    } steps[] = {
        {UserAt(1, "alice"), "", true}, // the first tick only takes the state in
        {UserAt(1, ""), "off ", false}, // logged off: the logon screen
        {UserAt(1, "alice"), "on ", true},
        {UserAt(1, "alice", true), "lock ", true}, // locked: there, though unable to answer
        {UserAt(1, "alice", true), "", true},
        {UserAt(1, "alice"), "unlock ", true},
        {UserAt(2, "bob"), "off on ", true},          // switched to another session
        {UserAt(2, "carol"), "off on ", true},        // another user in one tick
        {away, "off ", false},                        // disconnected
        {ConsoleSessionState(), "", false},           // no console session
        {UserAt(3, "dave", true), "on lock ", true}, // back to a locked session
        {UserAt(3, "dave"), "unlock ", true},
        {failed, "off ", false}, // a failed query proves nobody
        {UserAt(4, "erin"), "on ", true},
        {ConsoleSessionState(), "", true}, // a switch under way: erin holds for 10 s
        {UserAt(4, "erin"), "", true},     // ... and is still there
    };
    SessionWatch watch("vespra.exe");
    for (const auto &s : steps) {
        Sess().console = s.state;
        Sess().consoleQueryFails = s.state.sessionId == 99;
        const SessionEvents e = watch.Tick(&s - steps);
        EXPECT_EQ(s.events, std::string(e.logOff ? "off " : "") + (e.logOn ? "on " : "") +
                                (e.lock ? "lock " : "") + (e.unlock ? "unlock " : ""))
            << &s - steps;
        EXPECT_EQ(s.userThere, watch.UserIsThere()) << &s - steps;
    }
    // A console without a session for 10 s is decided on.
    Sess().console = ConsoleSessionState();
    EXPECT_FALSE(watch.Tick(100).Any());
    EXPECT_TRUE(watch.Tick(109).logOff == false && watch.UserIsThere());
    EXPECT_TRUE(watch.Tick(110).logOff);
    EXPECT_FALSE(watch.UserIsThere());
}

// Who is there, as each list of sessions shows it: an agent with a pipe of its own in
// every session with an active user, input from the console's user or else the first
// remote one, and the polite request by the console's agent or else by the system.
TEST(Session, EveryActiveUserGetsAnAgentTheConsoleFirst) {
    using Listing = fake::Session::Listing;
    ConsoleSessionState away = UserAt(3, "carol");
    away.connected = false; // disconnected
    const ConsoleSessionState signIn = UserAt(1, ""), none;
    const struct {
        ConsoleSessionState console;
        std::vector<ConsoleSessionState> remote;
        Listing listing;
        bool consoleFails;
        std::vector<DWORD> agents; // the sessions agents started in, with pipe "p<id>"
        DWORD input;               // kNoConsoleSession: nobody there
        bool consoleAsks;
    } cases[] = {
        {UserAt(1, "alice"), {}, Listing::Windows, false, {1}, 1, true},
        {UserAt(1, "alice"), {UserAt(2, "bob")}, Listing::Windows, false, {1, 2}, 1, true},
        {signIn, {UserAt(2, "bob")}, Listing::Windows, false, {2}, 2, false},
        {signIn, {away}, Listing::Windows, false, {}, kNoConsoleSession, false},
        {UserAt(1, "alice", true), {}, Listing::Windows, false, {1}, 1, true},
        {signIn, {UserAt(4, "bob", true), UserAt(2, "erin")}, Listing::Windows, false, {4, 2}, 4, false},
        {none, {UserAt(2, "bob")}, Listing::Windows, false, {2}, 2, false}, // unknown console id
        {UserAt(1, "alice"), {UserAt(2, "bob")}, Listing::Fails, false, {1}, 1, true},
        {UserAt(1, "alice"), {}, Listing::Nothing, false, {1}, 1, true}, // Wine
        {signIn, {UserAt(2, "bob")}, Listing::Nothing, false, {}, kNoConsoleSession, false},
        {UserAt(1, "alice"), {UserAt(2, "bob")}, Listing::Windows, true, {}, kNoConsoleSession, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(&c - cases));
        fake::ResetSession();
        Sess().console = c.console;
        Sess().remote = c.remote;
        Sess().listing = c.listing;
        Sess().consoleQueryFails = c.consoleFails;
        SessionWatch watch("vespra.exe");
        static std::string name;
        watch.SetAgentHost([](void *, DWORD id) { return name = "p" + std::to_string(id); }, nullptr,
                           nullptr);
        watch.Tick(100);
        std::vector<DWORD> agents;
        for (size_t i = 0; i < Sess().agentStarts.size(); ++i) {
            agents.push_back(Sess().agentStarts[i].first);
            EXPECT_EQ("p" + std::to_string(agents.back()), Sess().agentPipes[i]);
        }
        EXPECT_EQ(c.agents, agents);
        EXPECT_EQ(c.input != kNoConsoleSession, watch.UserIsThere());
        EXPECT_EQ(c.input, watch.Seats().empty() ? kNoConsoleSession : watch.Seats()[0].state.sessionId);
        EXPECT_EQ(c.consoleAsks, watch.ConsoleUserThere());
    }
}

// The scheduler's one user: the console's when it has one, else the remote user who
// came first, for as long as they stay. The other users keep their agents throughout.
TEST(Session, ThePrimaryUserIsTheConsolesOrTheRemoteOneWhoStays) {
    fake::ResetSession();
    const ConsoleSessionState bob = UserAt(5, "bob"), carol = UserAt(3, "carol");
    const struct {
        ConsoleSessionState console;
        std::vector<ConsoleSessionState> remote;
        const char *events;
        DWORD input;
    } steps[] = {
        {UserAt(1, ""), {bob}, "", 5},
        {UserAt(1, ""), {carol, bob}, "", 5},            // carol listed first: bob stays
        {UserAt(1, "alice"), {carol, bob}, "off on ", 1}, // the console's user comes first
        {UserAt(1, "alice", true), {carol, bob}, "lock ", 1},
        {UserAt(1, ""), {carol, bob}, "off on ", 3},      // then the first listed
        {UserAt(1, ""), {bob}, "off on ", 5},
        {UserAt(1, ""), {}, "off ", kNoConsoleSession},
    };
    SessionWatch watch("vespra.exe");
    for (const auto &s : steps) {
        Sess().console = s.console;
        Sess().remote = s.remote;
        const SessionEvents e = watch.Tick(&s - steps);
        EXPECT_EQ(s.events, std::string(e.logOff ? "off " : "") + (e.logOn ? "on " : "") +
                                (e.lock ? "lock " : "") + (e.unlock ? "unlock " : ""))
            << &s - steps;
        EXPECT_EQ(s.input, watch.Seats().empty() ? kNoConsoleSession : watch.Seats()[0].state.sessionId)
            << &s - steps;
    }
    // bob's agent (500) ran all along; carol's (501) and alice's (502) came once each.
    EXPECT_EQ(3u, Sess().agentStarts.size());
}

TEST(Session, AgentStartsAgainAfter2sOrAfterItsEnd10sAndFollowsTheUser) {
    fake::ResetAll();
    fake::UseEventLog();
    const ConsoleSessionState alice = UserAt(1, "alice"), bob = UserAt(2, "bob"),
                              nobody = UserAt(2, "");
    const struct {
        time_t now;
        const ConsoleSessionState &console;
        DWORD ends; // this agent's process ends before the tick
        bool startFails;
        DWORD agent; // the one running after the tick
    } steps[] = {
        {100, nobody, 0, false, 0},
        {101, alice, 0, false, 500},
        {120, alice, 0, false, 500}, // running: left alone
        {121, alice, 500, false, 0}, // ended by itself: the next one waits 10 s
        {130, alice, 0, false, 0},
        {131, alice, 0, true, 0},    // tried, and no token yet, as after a log-on
        {132, alice, 0, false, 0},   // a failed start is tried again 2 s later
        {133, alice, 0, false, 502},
        {134, bob, 0, true, 0},      // a switch: at once, in the new session; no token yet
        {100, bob, 0, false, 504},   // a clock set back doesn't hold the retry up
        {200, nobody, 0, false, 0},
    };
    {
        SessionWatch watch("c:\\vespra\\vespra.exe");
        for (const auto &s : steps) {
            Sess().console = s.console;
            Sess().endedAgents.insert(s.ends);
            Sess().agentStartFails = s.startFails;
            watch.Tick(s.now);
            EXPECT_EQ(s.agent, watch.AgentRunning() ? watch.Agent().processId : 0) << s.now;
        }
        EXPECT_EQ(5u, Sess().agentStarts.size());
        // Each failed start in the Event Log, with its session and Windows' error.
        EXPECT_EQ(fake::Reported(event_id::kAgentNotStarted),
                  (std::vector<std::vector<std::string>>{{"1", "5"}, {"2", "5"}}));
        EXPECT_EQ(std::make_pair(DWORD(2), std::string("c:\\vespra\\vespra.exe")),
                  Sess().agentStarts.back());
    }
    EXPECT_EQ(0, Sess().openAgentHandles); // every agent handle let go, at a switch too
}

TEST(Session, AnAgentThatCantBeResumedIsEndedAndTriedAgainLater) {
    fake::ResetSession();
    Sess().console = UserAt(1, "alice");
    Sess().resumeFails = true;
    {
        SessionWatch watch("vespra.exe");
        watch.Tick(100);
        EXPECT_FALSE(watch.AgentRunning());
        EXPECT_TRUE(Sess().endedAgents.count(500));
        Sess().resumeFails = false;
        watch.Tick(109);
        EXPECT_FALSE(watch.AgentRunning());
        watch.Tick(110);
        EXPECT_EQ(501u, watch.Agent().processId);
    }
    EXPECT_EQ(0, Sess().openAgentHandles);
}

// What follows each answer to a forced request: a refusal is asked again, someone
// else's pending shut-down is replaced, and one "in progress" for a minute is freed.
TEST(Session, ForcedRequestIsCarriedThrough) {
    const DWORD kInProgress = ERROR_SHUTDOWN_IN_PROGRESS, kScheduled = ERROR_SHUTDOWN_IS_SCHEDULED;
    const struct {
        uint64_t at; // the real-time counter, ms
        DWORD error;
        ForcedNext next;
    } steps[] = {
        {0, 5, ForcedNext::Retry}, // access denied
        {1000, 21, ForcedNext::Retry}, // not ready
        {2000, kScheduled, ForcedNext::ReplaceScheduled},
        {3000, kInProgress, ForcedNext::Retry},       // the first "in progress"
        {62999, kInProgress, ForcedNext::Retry},      // not yet a minute of it
        {63000, kInProgress, ForcedNext::EndSession}, // a minute: end the session
        {64000, kInProgress, ForcedNext::Retry},      // ... and wait another minute
        {124000, kInProgress, ForcedNext::EndSession},
        {125000, 5, ForcedNext::Retry}, // another answer between breaks the run
        {126000, kInProgress, ForcedNext::Retry},
        {185999, kInProgress, ForcedNext::Retry},
        {186000, 0, ForcedNext::Done},
    };
    ShutdownEscalation forced;
    for (const auto &s : steps)
        EXPECT_EQ(s.next, forced.Answered(s.error, s.at)) << s.at;
}

} // namespace

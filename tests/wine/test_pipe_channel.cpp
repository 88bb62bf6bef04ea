// The scheduler's pipe through the real API: this program is the server, the
// agent's end runs in pipe_client_tool, a process of its own.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "session/pipe_channel.h"

#include "tests/wine/wine_test_support.h"

namespace {

const DWORD kWaitMs = 10000;
const char kModalTitle[] = "Pipe modal";

class PipeChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_test = this;
        ASSERT_TRUE(m_server.Start(OnMessage, OnState, this));
    }
    void TearDown() override { s_test = nullptr; }

    // Runs this thread's messages, as the scheduler's loops do, until cond holds.
    template <typename Cond> static bool PumpUntil(Cond cond, DWORD timeoutMs = kWaitMs) {
        const DWORD start = GetTickCount();
        for (;;) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            if (cond())
                return true;
            const DWORD spent = GetTickCount() - start;
            if (spent >= timeoutMs)
                return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - spent, QS_ALLINPUT);
        }
    }
    bool Hear(const std::string &what) {
        return PumpUntil([&] { return !m_heard.empty() && m_heard.back() == what; });
    }

    // Starts the client tool suspended and resumes it after the server is told whom
    // to expect (the client's own ids, or those `expect` makes of them), as the
    // scheduler starts its agent.
    template <typename Expect> wt::Process StartClient(Expect expect, const std::string &mode = "") {
        const std::string tool = wt::ToolPath("pipe_client_tool.exe");
        std::string cmd = "\"" + tool + "\" " + m_server.Name() + mode;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(tool.c_str(), &cmd[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                            nullptr, nullptr, &si, &pi))
            return {};
        DWORD session = 0;
        ProcessIdToSessionId(pi.dwProcessId, &session);
        expect(pi.dwProcessId, session);
        ResumeThread(pi.hThread);
        return wt::Process(pi);
    }
    wt::Process StartAgent(const std::string &mode = "") {
        return StartClient(
            [this](DWORD pid, DWORD session) { m_server.ExpectClient(pid, session); }, mode);
    }

    static void OnMessage(void *self, const std::string &message) {
        auto *test = static_cast<PipeChannelTest *>(self);
        if (message.compare(0, 5, "junk ") == 0) {
            // As the scheduler answers a message it refuses.
            if (++test->m_junk == 1 && test->m_refuseJunk)
                test->m_server.CloseClient();
            return;
        }
        test->m_heard.push_back(message);
        if (HWND box = FindWindowA("#32770", kModalTitle)) {
            test->m_heardInModal = true;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    static void OnState(void *self, bool connected) {
        static_cast<PipeChannelTest *>(self)->m_heard.push_back(connected ? "+" : "-");
    }
    static void CALLBACK SendPing(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        if (s_test)
            s_test->m_server.Send("modal ping");
    }
    static void CALLBACK CloseModal(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        PostMessageA(FindWindowA("#32770", kModalTitle), WM_COMMAND, IDOK, 0);
    }

    static PipeChannelTest *s_test;
    PipeServer m_server;
    int m_junk = 0;
    bool m_refuseJunk = false;
    std::vector<std::string> m_heard;
    bool m_heardInModal = false;
};
PipeChannelTest *PipeChannelTest::s_test = nullptr;

TEST_F(PipeChannelTest, RoundTripsBothWaysWithItsAgentWellUnder100Ms) {
    wt::Process agent = StartAgent();
    ASSERT_TRUE(agent.Valid());
    ASSERT_TRUE(Hear("+"));
    EXPECT_TRUE(m_server.Connected());
    ASSERT_TRUE(m_server.Send("who"));
    EXPECT_TRUE(Hear("server " + std::to_string(GetCurrentProcessId())));
    // This server is a user's program (Wine: session 1, the one user), and no
    // Vespra service runs here to say otherwise: the agent would refuse it.
    ASSERT_TRUE(m_server.Send("check"));
    EXPECT_TRUE(Hear("refusal not in session 0"));

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        const std::string ping = "ping " + std::to_string(i);
        QueryPerformanceCounter(&start);
        ASSERT_TRUE(m_server.Send(ping));
        ASSERT_TRUE(Hear("echo:" + ping));
        QueryPerformanceCounter(&end);
        ms.push_back(1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    }
    std::sort(ms.begin(), ms.end());
    EXPECT_LT(ms[ms.size() / 2], 100.0) << "median round trip in ms";

    // The largest message arrives whole; a larger one is not sent.
    const std::string largest(kPipeMessageMax - 5, 'x');
    ASSERT_TRUE(m_server.Send(largest));
    ASSERT_TRUE(Hear("echo:" + largest));
    EXPECT_FALSE(m_server.Send(std::string(kPipeMessageMax + 1, 'x')));

    ASSERT_TRUE(m_server.Send("bye"));
    EXPECT_TRUE(Hear("-"));
    ASSERT_TRUE(agent.WaitForExit(kWaitMs));
    EXPECT_EQ(0u, agent.ExitCode());
    EXPECT_FALSE(m_server.Connected());
    EXPECT_FALSE(m_server.Send("nobody"));
}

TEST_F(PipeChannelTest, DeliversWhileAMessageBoxRunsItsLoop) {
    wt::Process agent = StartAgent();
    ASSERT_TRUE(Hear("+"));
    SetTimer(nullptr, 0, 100, SendPing);
    SetTimer(nullptr, 0, kWaitMs, CloseModal); // only if the echo never came
    MessageBoxA(nullptr, "waiting for the echo", kModalTitle, MB_OK);
    EXPECT_TRUE(m_heardInModal);
    ASSERT_FALSE(m_heard.empty());
    EXPECT_EQ("echo:modal ping", m_heard.back());
}

// The agent's end reads on its UI thread: a box that thread shows (a mirrored
// message box) runs a loop of its own, and the pipe is read there too.
TEST_F(PipeChannelTest, TheAgentReadsWhileItsOwnMessageBoxIsOpen) {
    wt::Process agent = StartAgent();
    ASSERT_TRUE(Hear("+"));
    ASSERT_TRUE(m_server.Send("box"));
    ASSERT_TRUE(Hear("box open"));
    ASSERT_TRUE(m_server.Send("shut"));
    ASSERT_TRUE(Hear("box closed"));
    EXPECT_EQ((std::vector<std::string>{"+", "box open", "shut:box", "box closed"}), m_heard);
}

TEST_F(PipeChannelTest, RefusesClientsItDoesNotExpect) {
    struct Case {
        const char *what;
        bool otherProcess, noneExpected;
        DWORD sessionShift;
    } cases[] = {
        {"another process", true, false, 0},
        {"another session", false, false, 1},
        {"nobody expected", false, true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        wt::Process stranger = StartClient([&](DWORD pid, DWORD session) {
            m_server.ExpectClient(c.noneExpected   ? 0
                                  : c.otherProcess ? GetCurrentProcessId()
                                                   : pid,
                                  session + c.sessionShift);
        });
        ASSERT_TRUE(stranger.WaitForExit(kWaitMs));
        EXPECT_EQ(2u, stranger.ExitCode()) << "connected, then cut off";
        PumpUntil([] { return false; }, 200);
        EXPECT_TRUE(m_heard.empty()) << m_heard.front();
        EXPECT_FALSE(m_server.Connected());
    }
}

TEST_F(PipeChannelTest, ReportsADroppedAgentAndTakesTheNextOne) {
    wt::Process first = StartAgent();
    ASSERT_TRUE(Hear("+"));
    // Expecting another agent drops the connected one.
    wt::Process second = StartAgent();
    ASSERT_TRUE(first.WaitForExit(kWaitMs));
    EXPECT_EQ(2u, first.ExitCode());
    ASSERT_TRUE(PumpUntil([&] { return m_heard.size() >= 3; }));
    EXPECT_EQ((std::vector<std::string>{"+", "-", "+"}), m_heard);
    ASSERT_TRUE(m_server.Send("again"));
    EXPECT_TRUE(Hear("echo:again"));

    // A stopped server is a lost connection for the agent.
    m_server.Stop();
    ASSERT_TRUE(second.WaitForExit(kWaitMs));
    EXPECT_EQ(2u, second.ExitCode());
}

TEST_F(PipeChannelTest, IsTheOnlyInstanceOfARandomNameAndOnlyItsDaclGuardsIt) {
    ASSERT_TRUE(IsPipeChannelName(m_server.Name())) << m_server.Name();
    HANDLE second = CreateNamedPipeA(m_server.Name().c_str(),
                                     PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                     PIPE_TYPE_MESSAGE, 1, 512, 512, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, second) << "a second instance was created";
    if (second != INVALID_HANDLE_VALUE)
        CloseHandle(second);
    // Another server, meanwhile, gets a name of its own.
    PipeServer rival;
    ASSERT_TRUE(rival.Start(OnMessage, OnState, this));
    EXPECT_TRUE(IsPipeChannelName(rival.Name())) << rival.Name();
    EXPECT_NE(m_server.Name(), rival.Name());
    rival.Stop();

    // Ours, in the system's own spelling of it (the owner is whoever made the pipe).
    const std::string stored = wt::StoredSddl(m_server.Name().c_str());
    const size_t dacl = stored.find("D:");
    ASSERT_NE(std::string::npos, dacl) << stored;
    EXPECT_EQ(wt::SddlOf(kPipeChannelSddl), stored.substr(dacl));

    // A new start is a new name; with no server a client gives up in time.
    const std::string first = m_server.Name();
    m_server.Stop();
    ASSERT_TRUE(m_server.Start(OnMessage, OnState, this));
    EXPECT_NE(first, m_server.Name());
    m_server.Stop();
    PipeClient client;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(client.Connect(first, OnMessage, OnState, this, 300));
    EXPECT_LT(GetTickCount() - start, 3000u);
}

// A client that writes without pause is cut off after its first refused message.
// (That a flood let in waits behind the timers Wine can't show: its queue made
// WM_TIMER between posted messages even without the pacing.)
TEST_F(PipeChannelTest, AFloodEndsWithItsFirstRefusedMessage) {
    m_refuseJunk = true;
    wt::Process refused = StartAgent(" flood 5000");
    ASSERT_TRUE(PumpUntil([&] { return refused.WaitForExit(0); }));
    EXPECT_EQ(2u, refused.ExitCode()) << "cut off, not flooding until its time ran out";
    EXPECT_EQ(1, m_junk);
    EXPECT_FALSE(m_server.Connected());
    // Nobody is expected now: the same program again is refused at once.
    wt::Process again = StartClient([](DWORD, DWORD) {}, " flood 5000");
    ASSERT_TRUE(PumpUntil([&] { return again.WaitForExit(0); }));
    EXPECT_EQ(2u, again.ExitCode());
    EXPECT_EQ(1, m_junk);
}

} // namespace

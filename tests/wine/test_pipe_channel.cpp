// The scheduler's pipe through the real API: this program is the server, the
// agent's end runs in pipe_client_tool, a process of its own.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "system/pipe_channel.h"

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
    template <typename Expect> wt::Process StartClient(Expect expect) {
        const std::string tool = wt::ToolPath("pipe_client_tool.exe");
        std::string cmd = "\"" + tool + "\"";
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
    wt::Process StartAgent() {
        return StartClient(
            [this](DWORD pid, DWORD session) { m_server.ExpectClient(pid, session); });
    }

    static void OnMessage(void *self, const std::string &message) {
        auto *test = static_cast<PipeChannelTest *>(self);
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

TEST_F(PipeChannelTest, IsTheOnlyInstanceAndOnlyItsDaclGuardsIt) {
    PipeServer rival;
    EXPECT_FALSE(rival.Start(OnMessage, OnState, this)) << "a second instance was created";

    // Ours, in the system's own spelling of it (the owner is whoever made the pipe).
    const std::string stored = wt::StoredSddl(kPipeChannelName);
    const size_t dacl = stored.find("D:");
    ASSERT_NE(std::string::npos, dacl) << stored;
    EXPECT_EQ(wt::SddlOf(kPipeChannelSddl), stored.substr(dacl));

    // Once it is gone, the name is free; with no server a client gives up in time.
    m_server.Stop();
    EXPECT_TRUE(rival.Start(OnMessage, OnState, this));
    rival.Stop();
    PipeClient client;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(client.Connect(OnMessage, OnState, this, 300));
    EXPECT_LT(GetTickCount() - start, 3000u);
}

} // namespace

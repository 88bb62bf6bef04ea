// Session 0 mode's calls through the real API. Under Wine every process is in
// session 1, the console's, as the user who runs the tests.
#include <gtest/gtest.h>

#include "session/session_watch.h"
#include "tests/wine/wine_test_support.h"

namespace {

TEST(Session, APlainProcessIsInTheFirstWorldAndAHiddenStationIsNot) {
    EXPECT_FALSE(IsSessionZeroMode());
    HWINSTA ours = GetProcessWindowStation();
    HWINSTA hidden = CreateWindowStationA("VespraHiddenStation", 0, WINSTA_ALL_ACCESS, nullptr);
    ASSERT_TRUE(hidden);
    ASSERT_TRUE(SetProcessWindowStation(hidden));
    const bool hiddenIsSessionZero = IsSessionZeroMode();
    SetProcessWindowStation(ours);
    CloseWindowStation(hidden);
    EXPECT_TRUE(hiddenIsSessionZero);
}

TEST(Session, TheConsoleSessionHasOurUserAndTheForcedRequestIsTaken) {
    char name[256] = "";
    DWORD size = sizeof name, error = 0;
    ASSERT_TRUE(GetUserNameA(name, &size));
    ConsoleSessionState state;
    ASSERT_TRUE(QueryConsoleSession(state));
    EXPECT_EQ(1u, state.sessionId);
    EXPECT_EQ(name, state.userName);
    EXPECT_TRUE(state.connected && !state.locked); // Wine answers neither: from the user name
    // Wine takes it and does nothing, so this test goes on.
    EXPECT_TRUE(RequestSystemShutdown(FALSE, error)) << error;
}

TEST(Session, TheWatchStartsTheAgentInTheUsersSessionAndAgainWhenItEnds) {
    // The sleeper signals the event its first argument names: "/agent".
    HANDLE started = CreateEventA(nullptr, FALSE, FALSE, "/agent");
    ASSERT_TRUE(started);
    SessionWatch watch(wt::ToolPath("sleeper_tool.exe"));
    EXPECT_FALSE(watch.Tick(0).Any());
    EXPECT_TRUE(watch.UserIsThere());
    for (time_t now : {0, 10}) {
        if (now) {
            watch.Tick(now); // sees it ended: the next one waits 10 s from here
            EXPECT_FALSE(watch.AgentRunning());
            watch.Tick(now + SessionWatch::kAgentRetrySeconds);
        }
        ASSERT_TRUE(watch.AgentRunning());
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started, 10000));
        DWORD session = 0;
        EXPECT_TRUE(ProcessIdToSessionId(watch.Agent().processId, &session) && session == 1);
        TerminateProcess(watch.Agent().process.Get(), 0);
        EXPECT_TRUE(wt::WaitUntil([&] { return !AgentProcessAlive(watch.Agent()); }, 5000));
    }
    CloseHandle(started);
}

} // namespace

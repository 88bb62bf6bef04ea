// The process walk and killer through the real PSAPI and ToolHelp32 functions: a
// waiting program is copied under the names to kill and to spare, started, and
// then looked for and terminated by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/text.h"
#include "system/process_walk.h"

#include "tests/wine/platform_wine_util.h"
#include "tests/wine/wine_test_support.h"

namespace {

const DWORD kWaitMs = 10000;

class ProcessWalk : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_a.Path().empty());
        ASSERT_FALSE(m_b.Path().empty());
        // One name per folder: Wine's file names ignore case, so ntvdm.exe and
        // NTVDM.EXE can't share a folder.
        Start(m_a / "ntvdm.exe");
        Start(m_b / "NTVDM.EXE");
        Start(m_a / "myntvdm.exe");
    }

    // Copies the waiting program to path, starts it and waits until it runs.
    void Start(const std::string &path) {
        ASSERT_TRUE(CopyFileA(wt::ToolPath("sleeper_tool.exe").c_str(), path.c_str(), FALSE));
        const std::string event = "VespraSleeper" + std::to_string(GetCurrentProcessId()) + "-" +
                                  std::to_string(m_procs.size());
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        ASSERT_NE(nullptr, ready);
        wt::Process proc = wt::StartProcess(path, "\"" + path + "\" " + event);
        ASSERT_TRUE(proc.Valid()) << path;
        const DWORD waited = WaitForSingleObject(ready, kWaitMs);
        CloseHandle(ready);
        ASSERT_EQ(WAIT_OBJECT_0, waited) << path << " did not start";
        m_procs.push_back(std::move(proc));
    }

    // The first two copies are terminated (exit code 0), the third runs on.
    void ExpectOnlyTheNtvdmCopiesEnded() {
        for (size_t i = 0; i < 2; ++i) {
            SCOPED_TRACE(i == 0 ? "ntvdm.exe" : "NTVDM.EXE");
            ASSERT_TRUE(m_procs[i].WaitForExit(kWaitMs));
            EXPECT_EQ(0u, m_procs[i].ExitCode());
        }
        EXPECT_TRUE(m_procs[2].Running()) << "myntvdm.exe must survive";
    }

    static std::string OwnName() {
        char self[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
        return ProcessNameOf(self, n);
    }

    pw::ScratchDir m_a{"Vespra Walk A"};
    pw::ScratchDir m_b{"Vespra Walk B"};
    std::vector<wt::Process> m_procs; // terminated on destruction if still running
};

TEST_F(ProcessWalk, PsapiWalkKillsTheWholeNameInAnyCaseAndSparesTheRest) {
    ASSERT_EQ(3u, m_procs.size());
    EXPECT_EQ(1, KillProcessesByName("ntvdm.exe")); // Wine is of the NT family
    ExpectOnlyTheNtvdmCopiesEnded();
    EXPECT_EQ(0, KillProcessesByName("ntvdm.exe"));   // nothing left
    EXPECT_EQ(0, KillProcessesByName("MYNTVDM.EXE")); // capitals never match
    EXPECT_TRUE(m_procs[2].Running());
    EXPECT_EQ(1, KillProcessesByName("myntvdm.exe"));
    EXPECT_TRUE(m_procs[2].WaitForExit(kWaitMs));
}

TEST_F(ProcessWalk, ToolHelpWalkKillsTheSameWay) {
    ASSERT_EQ(3u, m_procs.size());
    EXPECT_EQ(1, KillWithToolHelp("ntvdm.exe", false));
    ExpectOnlyTheNtvdmCopiesEnded();
    EXPECT_EQ(0, KillWithToolHelp("ntvdm.exe", true));
}

TEST_F(ProcessWalk, CallerSurvivesItsOwnName) {
    const std::string self = OwnName();
    ASSERT_EQ("test_process_walk.exe", self);
    EXPECT_EQ(0, KillProcessesByName(self.c_str()));
    // Still here; and the others were not touched.
    for (const wt::Process &p : m_procs)
        EXPECT_TRUE(p.Running());
}

TEST_F(ProcessWalk, IsProcessRunningFindsANameInAnyCase) {
    EXPECT_TRUE(IsProcessRunning("myntvdm.exe"));
    EXPECT_TRUE(IsProcessRunning("MyNtvdm.EXE"));
    EXPECT_TRUE(IsProcessRunning(OwnName().c_str()));
    EXPECT_FALSE(IsProcessRunning("ntvdm"));
    EXPECT_FALSE(IsProcessRunning("no-such-program.exe"));
    // Asking terminates nothing.
    for (const wt::Process &p : m_procs)
        EXPECT_TRUE(p.Running());
}

TEST(ProcessWalkLibraries, WalksLeaveNoLibraryLoaded) {
    // psapi.dll is loaded for the walk and released after it.
    ASSERT_EQ(nullptr, GetModuleHandleA("psapi.dll")) << "loaded at start-up";
    KillProcessesByName("no-such-program.exe");
    EXPECT_EQ(nullptr, GetModuleHandleA("psapi.dll"));
}

} // namespace

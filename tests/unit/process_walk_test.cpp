// The process walk and killer against a scripted process table: both walks, the
// name rule, the killed flag, the caller's exemption, every library failure and the
// clean-up of libraries and handles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/text.h"
#include "resources/resource.h"
#include "system/process_calls.h"
#include "system/process_walk.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_processes.h"
#include "tests/support/fake_ui.h"

namespace {

const DWORD kWin9x = 1;
const DWORD kNt = 2;
const DWORD kPlatforms[] = {kNt, kWin9x};
const char *PlatformName(DWORD id) {
    return id == kNt ? "PSAPI walk (NT)" : "ToolHelp walk (95/98/Me)";
}

class ProcessWalkTest : public ::testing::Test {
protected:
    void SetUp() override { fake::ResetAll(); }
    void TearDown() override { fake::ResetAll(); }

    // A fresh table on the given platform family.
    void Fresh(DWORD platformId) {
        fake::ResetAll();
        fake::Plat().platformId = platformId;
    }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const fake::MessageBoxCall &b : fake::State().boxes) {
            EXPECT_EQ(UINT(MB_ICONERROR), b.type) << b.text;
            EXPECT_EQ("Vespra", b.caption);
            texts.push_back(b.text);
        }
        return texts;
    }
    // Every library loaded was released and every handle opened was closed.
    void ExpectCleanedUp() {
        const fake::ProcessTable &t = fake::Procs();
        EXPECT_EQ(0, t.liveLibraries);
        EXPECT_EQ(0, t.liveHandles);
    }
    std::vector<DWORD> Terminated() { return fake::Procs().terminatedPids; }
};

TEST_F(ProcessWalkTest, NameRuleInBothWalks) {
    const struct {
        const char *exePath;
        const char *pattern;
        bool matches;
    } rows[] = {
        {"C:\\WINNT\\system32\\NTVDM.EXE", "ntvdm.exe", true},
        {"C:\\WINNT\\system32\\ntvdm.exe.bak", "ntvdm.exe", false},
        {"C:\\WINNT\\system32\\myntvdm.exe", "ntvdm.exe", false},
        {"C:\\WINNT\\system32\\ntvdm.ex", "ntvdm.exe", false},
        {"C:\\DOCUME~1\\x\\LOCALS~1\\Temp\\is-1abcd.tmp", ".tmp", true},
        {"C:\\TEMP\\IS-1ABCD.TMP", ".tmp", true},
        {"C:\\TEMP\\x.tmpfile", ".tmp", true},
        {"C:\\TEMP\\x.tm", ".tmp", false},
        {"C:\\tmp\\setup.exe", ".tmp", false}, // the directory is not part of the name
        {"C:\\WINNT\\system32\\cmd.exe", "CMD.EXE", false},
        {"C:\\WINNT\\system32\\CMD.EXE", "CMD.EXE", false},
        {"C:\\WINNT\\system32\\CMD.EXE", "cmd.exe", true},
        {"C:\\Program Files\\Vespra\\unins000.exe", "unins000.exe", true},
        {"C:\\Program Files\\Vespra\\unins0000.exe", "unins000.exe", false},
        {"C:\\WINNT\\system32\\ntvdm.exe", "system32\\ntvdm.exe", false},
        {"ntvdm.exe", "ntvdm.exe", true},
        {"C:/WINNT/system32/NTVDM.EXE", "ntvdm.exe", true},
        {"C:\\WINDOWS\\SYSTEM\\WINOA386.MOD", "winoa386.mod", true},
        {"C:\\WINNT\\system32\\ntvdm.exe", "", false},
    };
    for (DWORD platform : kPlatforms) {
        for (const auto &r : rows) {
            SCOPED_TRACE(testing::Message() << PlatformName(platform) << ": " << r.exePath
                                            << " against \"" << r.pattern << "\"");
            Fresh(platform);
            fake::AddProcess(100, r.exePath);
            EXPECT_EQ(r.matches ? 1 : 0, KillProcessesByName(r.pattern));
            EXPECT_EQ(r.matches ? std::vector<DWORD>{100} : std::vector<DWORD>{}, Terminated());
            EXPECT_TRUE(BoxTexts().empty());
            ExpectCleanedUp();
        }
    }
}

TEST_F(ProcessWalkTest, ProcessNameIsFileNameAndExtensionInLowerCase) {
    const struct {
        const char *path;
        const char *name;
    } rows[] = {
        {"C:\\WINNT\\system32\\NTVDM.EXE", "ntvdm.exe"},
        {"C:NTVDM.EXE", "ntvdm.exe"},
        {"\\\\server\\share\\Tools\\Setup.Tmp", "setup.tmp"},
        {"C:/a/b/Mixed.Exe", "mixed.exe"},
        {"C:\\dir.ext\\noext", "noext"},
        {"C:\\WINNT\\", ""},
        {"", ""},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.name, ProcessNameOf(r.path, 260)) << r.path;
    // A field without a terminator is read only as far as its size.
    const char field[4] = {'A', 'B', 'C', 'D'};
    EXPECT_EQ("abcd", ProcessNameOf(field, sizeof field));
    EXPECT_EQ("", ProcessNameOf(nullptr, 260));
    EXPECT_FALSE(ProcessNameMatches("ntvdm.exe", nullptr));
}

TEST_F(ProcessWalkTest, ThreeKillsGiveOneNotThree) {
    for (DWORD platform : kPlatforms) {
        SCOPED_TRACE(PlatformName(platform));
        Fresh(platform);
        fake::AddProcess(10, "C:\\WINNT\\system32\\ntvdm.exe");
        fake::AddProcess(11, "C:\\WINNT\\system32\\explorer.exe");
        fake::AddProcess(12, "D:\\old\\NTVDM.EXE");
        fake::AddProcess(13, "C:\\WINNT\\system32\\ntvdm.exe");
        EXPECT_EQ(1, KillProcessesByName("ntvdm.exe"));
        EXPECT_EQ((std::vector<DWORD>{10, 12, 13}), Terminated());
        EXPECT_EQ((std::vector<UINT>{0, 0, 0}), fake::Procs().exitCodes);
        EXPECT_FALSE(fake::Processes()[1].terminated);
        // Nothing left to kill: the flag starts again at 0.
        EXPECT_EQ(0, KillProcessesByName("ntvdm.exe"));
        ExpectCleanedUp();
    }
}

TEST_F(ProcessWalkTest, FailedTerminationShowsMessage87AndTheWalkGoesOn) {
    const std::string text87 = LoadStr(IDS_TERMINATE_FAILED);
    ASSERT_EQ("Internal Error:\n\nTerminateProcess() failed", text87);
    for (DWORD platform : kPlatforms) {
        SCOPED_TRACE(PlatformName(platform));
        Fresh(platform);
        fake::AddProcess(10, "C:\\x\\cmd.exe");
        fake::AddProcess(11, "C:\\x\\cmd.exe").terminateFails = true;
        fake::AddProcess(12, "C:\\x\\cmd.exe");
        EXPECT_EQ(1, KillProcessesByName("cmd.exe"));
        EXPECT_EQ((std::vector<DWORD>{10, 12}), Terminated());
        EXPECT_EQ(std::vector<std::string>{text87}, BoxTexts());
        ExpectCleanedUp();

        // When no termination succeeds the flag stays 0; one message per failure.
        Fresh(platform);
        fake::AddProcess(20, "C:\\x\\cmd.exe").terminateFails = true;
        fake::AddProcess(21, "C:\\x\\cmd.exe").terminateFails = true;
        EXPECT_EQ(0, KillProcessesByName("cmd.exe"));
        EXPECT_EQ((std::vector<std::string>{text87, text87}), BoxTexts());
        ExpectCleanedUp();
    }
}

TEST_F(ProcessWalkTest, ProcessThatCannotBeOpenedIsSkippedSilently) {
    for (DWORD platform : kPlatforms) {
        SCOPED_TRACE(PlatformName(platform));
        Fresh(platform);
        fake::AddProcess(10, "C:\\x\\ntvdm.exe").canOpen = false;
        fake::AddProcess(11, "C:\\x\\ntvdm.exe");
        EXPECT_EQ(1, KillProcessesByName("ntvdm.exe"));
        EXPECT_EQ(std::vector<DWORD>{11}, Terminated());
        EXPECT_TRUE(BoxTexts().empty());
        // Opened for terminating and reading, not inheritable.
        for (DWORD access : fake::Procs().openAccess)
            EXPECT_EQ(0x411u, access);
        for (BOOL inherit : fake::Procs().openInherit)
            EXPECT_FALSE(inherit);
        ExpectCleanedUp();
    }
}

TEST_F(ProcessWalkTest, UnreadableModuleIsNamedUnknownOnNt) {
    const struct {
        bool moduleUnreadable, baseNameFails;
    } failures[] = {{true, false}, {false, true}};
    for (const auto &f : failures) {
        SCOPED_TRACE(f.moduleUnreadable ? "EnumProcessModules fails" : "GetModuleBaseNameA fails");
        Fresh(kNt);
        fake::AddProcess(10, "C:\\x\\ntvdm.exe").moduleUnreadable = f.moduleUnreadable;
        fake::Procs().baseNameFails = f.baseNameFails;
        EXPECT_EQ(0, KillProcessesByName("ntvdm.exe"));
        EXPECT_EQ(1, KillProcessesByName("unknown"));
        EXPECT_EQ(std::vector<DWORD>{10}, Terminated());
        EXPECT_TRUE(BoxTexts().empty());
        ExpectCleanedUp();
    }
    // The ToolHelp walk reads the path from the snapshot, never "unknown".
    Fresh(kWin9x);
    fake::AddProcess(10, "C:\\x\\ntvdm.exe").moduleUnreadable = true;
    EXPECT_EQ(0, KillProcessesByName("unknown"));
    EXPECT_EQ(1, KillProcessesByName("ntvdm.exe"));
}

TEST_F(ProcessWalkTest, CallerIsSparedOnNtOnly) {
    Fresh(kNt);
    fake::Procs().currentPid = 77;
    fake::AddProcess(77, "C:\\Program Files\\Vespra\\vespra.exe");
    fake::AddProcess(78, "C:\\Program Files\\Vespra\\vespra.exe");
    EXPECT_EQ(1, KillProcessesByName("vespra.exe"));
    EXPECT_EQ(std::vector<DWORD>{78}, Terminated());
    EXPECT_EQ(std::vector<DWORD>{78}, fake::Procs().opened); // not even opened

    Fresh(kWin9x);
    fake::Procs().currentPid = 77;
    fake::AddProcess(77, "C:\\Program Files\\Vespra\\vespra.exe");
    EXPECT_EQ(1, KillProcessesByName("vespra.exe"));
    EXPECT_EQ(std::vector<DWORD>{77}, Terminated());
}

TEST_F(ProcessWalkTest, EachLibraryFailureShowsItsMessageAndReleasesTheLibrary) {
    const struct {
        DWORD platform;
        const char *missingLibrary;
        const char *missingFunction;
        bool enumFails;
        UINT message;
        const char *text;
    } rows[] = {
        {kNt, "PSAPI.DLL", nullptr, false, IDS_PSAPI_LOAD_FAILED,
         "Internal Error:\n\nLoadLibrary(\"PSAPI.DLL\") failed"},
        {kNt, nullptr, "EnumProcesses", false, IDS_PSAPI_PROC_FAILED,
         "Internal Error:\n\nGetProcAddress() for a function in PSAPI.DLL failed"},
        {kNt, nullptr, "EnumProcessModules", false, IDS_PSAPI_PROC_FAILED, nullptr},
        {kNt, nullptr, "GetModuleBaseNameA", false, IDS_PSAPI_PROC_FAILED, nullptr},
        {kNt, nullptr, nullptr, true, IDS_ENUMPROCESSES_FAILED,
         "Internal Error:\n\nEnumProcesses() failed"},
        {kWin9x, "KERNEL32.DLL", nullptr, false, IDS_KERNEL32_LOAD_FAILED,
         "Internal Error:\n\nLoadLibrary(\"KERNEL32.DLL\") failed"},
        {kWin9x, nullptr, "CreateToolhelp32Snapshot", false, IDS_KERNEL32_PROC_FAILED,
         "Internal Error:\n\nGetProcAddress() for a function in KERNEL32.DLL failed"},
        {kWin9x, nullptr, "Process32First", false, IDS_KERNEL32_PROC_FAILED, nullptr},
        {kWin9x, nullptr, "Process32Next", false, IDS_KERNEL32_PROC_FAILED, nullptr},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message()
                     << PlatformName(r.platform) << " message " << r.message << " for "
                     << (r.missingLibrary    ? r.missingLibrary
                         : r.missingFunction ? r.missingFunction
                                             : "a failure"));
        Fresh(r.platform);
        fake::AddProcess(10, "C:\\x\\ntvdm.exe");
        if (r.missingLibrary)
            fake::Procs().missingLibraries.insert(r.missingLibrary);
        if (r.missingFunction)
            fake::Procs().missingFunctions.insert(r.missingFunction);
        fake::Procs().enumProcessesFails = r.enumFails;

        EXPECT_EQ(0, KillProcessesByName("ntvdm.exe"));
        EXPECT_EQ(std::vector<std::string>{LoadStr(r.message)}, BoxTexts());
        if (r.text) {
            EXPECT_EQ(r.text, LoadStr(r.message));
        }
        EXPECT_TRUE(Terminated().empty());
        EXPECT_EQ(1u, fake::Procs().loads.size());
        EXPECT_EQ(r.missingLibrary ? 0 : 1, fake::Procs().releases);
        ExpectCleanedUp();
    }
}

TEST_F(ProcessWalkTest, SnapshotFailuresAreSilent) {
    for (int firstFails = 0; firstFails < 2; ++firstFails) {
        SCOPED_TRACE(firstFails ? "Process32First fails" : "no snapshot");
        Fresh(kWin9x);
        fake::AddProcess(10, "C:\\x\\winoa386.mod");
        fake::Procs().snapshotFails = !firstFails;
        fake::Procs().firstFails = firstFails;
        EXPECT_EQ(0, KillProcessesByName("winoa386.mod"));
        EXPECT_FALSE(IsProcessRunning("winoa386.mod"));
        EXPECT_TRUE(BoxTexts().empty());
        EXPECT_EQ(2, fake::Procs().releases);
        ExpectCleanedUp();
    }
    // An empty table is no failure either.
    for (DWORD platform : kPlatforms) {
        Fresh(platform);
        EXPECT_EQ(0, KillProcessesByName("ntvdm.exe"));
        EXPECT_TRUE(BoxTexts().empty());
        ExpectCleanedUp();
    }
}

TEST_F(ProcessWalkTest, EachWalkLoadsItsLibraryByNameAndHandsTheCallsTheirSizes) {
    Fresh(kNt);
    fake::AddProcess(10, "C:\\x\\ntvdm.exe");
    KillProcessesByName("ntvdm.exe");
    KillProcessesByName("cmd.exe");
    EXPECT_EQ((std::vector<std::string>{"PSAPI.DLL", "PSAPI.DLL"}), fake::Procs().loads);
    EXPECT_EQ(2, fake::Procs().releases);
    EXPECT_EQ(4096u, fake::Procs().enumBytes); // 1024 process ids
    EXPECT_EQ(std::vector<DWORD>{DWORD(sizeof(HMODULE))}, fake::Procs().moduleBytes);

    Fresh(kWin9x);
    fake::AddProcess(10, "C:\\x\\ntvdm.exe");
    KillProcessesByName("ntvdm.exe");
    IsProcessRunning("systray.exe");
    EXPECT_EQ((std::vector<std::string>{"KERNEL32.DLL", "KERNEL32.DLL"}), fake::Procs().loads);
    EXPECT_EQ(2, fake::Procs().releases);
    EXPECT_EQ((std::vector<DWORD>{DWORD(sizeof(PROCESSENTRY32)), DWORD(sizeof(PROCESSENTRY32))}),
              fake::Procs().entrySizes);
}

TEST_F(ProcessWalkTest, NtSeesOnlyTheFirst1024Processes) {
    for (DWORD platform : kPlatforms) {
        SCOPED_TRACE(PlatformName(platform));
        Fresh(platform);
        for (DWORD i = 0; i < 1030; ++i)
            fake::AddProcess(1000 + i, i == 1024 ? "C:\\x\\ntvdm.exe" : "C:\\x\\other.exe");
        EXPECT_EQ(platform == kNt ? 0 : 1, KillProcessesByName("ntvdm.exe"));
        ExpectCleanedUp();
    }
}

TEST_F(ProcessWalkTest, OverLongNamesNeverOverrun) {
    // 300 characters: the ToolHelp field and the NT name buffer hold 260 of them, with
    // no terminator. The name is what fits; nothing is read beyond it.
    const std::string longName(300, 'a');
    const std::string cut(260, 'a');
    for (DWORD platform : kPlatforms) {
        SCOPED_TRACE(PlatformName(platform));
        Fresh(platform);
        fake::AddProcess(10, "C:\\" + longName);
        fake::AddProcess(11, longName);
        EXPECT_EQ(0, KillProcessesByName(longName.c_str()));
        EXPECT_EQ(0, KillProcessesByName(".b"));
        EXPECT_EQ(1, KillProcessesByName(cut.c_str()));
        // On NT both are cut to 260 characters of base name; the ToolHelp field cuts the
        // full path, so only the one without a directory reaches its own name there.
        const std::vector<DWORD> expected =
            platform == kNt ? std::vector<DWORD>{10, 11} : std::vector<DWORD>{11};
        EXPECT_EQ(expected, Terminated());
        EXPECT_TRUE(BoxTexts().empty());
        ExpectCleanedUp();
    }
    Fresh(kWin9x);
    fake::AddProcess(10, longName);
    EXPECT_TRUE(IsProcessRunning(cut.c_str()));
    EXPECT_FALSE(IsProcessRunning(longName.c_str()));
}

TEST_F(ProcessWalkTest, SilentToolHelpWalkShowsNothing) {
    // The installer picks this walk itself, whatever the family; both ways of asking
    // for the silent walk are the same walk.
    const struct {
        const char *how;
        int (*kill)(const char *);
    } ways[] = {
        {"KillWithToolHelp(pattern, true)", [](const char *p) { return KillWithToolHelp(p, true); }},
        {"KillWithToolHelpSilently", KillWithToolHelpSilently},
    };
    for (const auto &way : ways) {
        SCOPED_TRACE(way.how);
        Fresh(kNt);
        fake::AddProcess(10, "C:\\x\\vespra.exe").terminateFails = true;
        fake::AddProcess(11, "C:\\x\\vespra.exe");
        fake::AddProcess(12, "C:\\x\\vesprasv.exe");
        EXPECT_EQ(1, way.kill("vespra.exe"));
        EXPECT_EQ(std::vector<DWORD>{11}, Terminated());
        EXPECT_TRUE(BoxTexts().empty());
        ExpectCleanedUp();
        for (const char *missing : {"KERNEL32.DLL", "Process32Next"}) {
            Fresh(kNt);
            fake::AddProcess(10, "C:\\x\\vespra.exe");
            fake::Procs().missingLibraries.insert(missing);
            fake::Procs().missingFunctions.insert(missing);
            EXPECT_EQ(0, way.kill("vespra.exe"));
            EXPECT_FALSE(IsProcessRunning("vespra.exe", true));
            EXPECT_TRUE(Terminated().empty());
            EXPECT_TRUE(BoxTexts().empty()) << missing;
            ExpectCleanedUp();
        }
    }
}

TEST_F(ProcessWalkTest, IsProcessRunningComparesWholeNamesIgnoringCase) {
    const struct {
        const char *exePath;
        const char *name;
        bool running;
    } rows[] = {
        {"C:\\WINDOWS\\SYSTEM\\SYSTRAY.EXE", "systray.exe", true},
        {"c:\\windows\\system\\systray.exe", "SysTray.EXE", true},
        {"D:\\elsewhere\\Systray.exe", "systray.exe", true},
        {"C:\\WINDOWS\\SYSTEM\\SYSTRAY.EXE.BAK", "systray.exe", false},
        {"C:\\WINDOWS\\SYSTEM\\MYSYSTRAY.EXE", "systray.exe", false},
        {"C:\\WINDOWS\\SYSTEM\\SYSTRAY.EXE", ".exe", false}, // no fragment rule
    };
    for (DWORD platform : kPlatforms) { // ToolHelp on either family
        for (const auto &r : rows) {
            SCOPED_TRACE(testing::Message() << PlatformName(platform) << ": " << r.exePath);
            Fresh(platform);
            fake::AddProcess(10, "C:\\WINDOWS\\EXPLORER.EXE");
            fake::AddProcess(11, r.exePath);
            EXPECT_EQ(r.running, IsProcessRunning(r.name));
            EXPECT_EQ(std::vector<std::string>{"KERNEL32.DLL"}, fake::Procs().loads);
            EXPECT_TRUE(fake::Procs().opened.empty());
            EXPECT_TRUE(BoxTexts().empty());
            ExpectCleanedUp();
        }
    }
    EXPECT_FALSE(IsProcessRunning(nullptr));
}

TEST_F(ProcessWalkTest, IsProcessRunningShowsTheKernel32Messages) {
    const struct {
        const char *missingLibrary;
        const char *missingFunction;
        UINT message;
    } rows[] = {{"KERNEL32.DLL", nullptr, IDS_KERNEL32_LOAD_FAILED},
                {nullptr, "CreateToolhelp32Snapshot", IDS_KERNEL32_PROC_FAILED}};
    for (const auto &r : rows) {
        Fresh(kWin9x);
        fake::AddProcess(10, "C:\\WINDOWS\\SYSTEM\\SYSTRAY.EXE");
        if (r.missingLibrary)
            fake::Procs().missingLibraries.insert(r.missingLibrary);
        if (r.missingFunction)
            fake::Procs().missingFunctions.insert(r.missingFunction);
        EXPECT_FALSE(IsProcessRunning("systray.exe"));
        EXPECT_EQ(std::vector<std::string>{LoadStr(r.message)}, BoxTexts());
        ExpectCleanedUp();
    }
}

} // namespace

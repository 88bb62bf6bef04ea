// Where the scheduler lives in another session, through the real calls: the service
// host's start never waits on a box, the DOS-program killer leaves 64-bit Windows
// alone, and a "/settings" start that can't write re-launches itself with "runas".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/process_walk.h"
#include "tests/wine/wine_test_support.h"

namespace {

const char kLog[] = "c:\\vespra.log";

std::string Built(const char *name) {
    const std::string vespra = wt::VespraExePath();
    return vespra.substr(0, vespra.find_last_of('\\') + 1) + name;
}

DWORD ServiceState() {
    SERVICE_STATUS status{};
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, "Vespra", SERVICE_ALL_ACCESS) : nullptr;
    if (service)
        QueryServiceStatus(service, &status);
    if (service && status.dwCurrentState == 0)
        status.dwCurrentState = SERVICE_STOPPED;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return status.dwCurrentState;
}

void RemoveService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (SC_HANDLE service = OpenServiceA(manager, "Vespra", SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS status{};
        ControlService(service, 222, &status);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

void RunInstaller(const std::string &exe, const char *argument) {
    wt::Process proc = wt::StartProcess(exe, "\"" + exe + "\" " + argument);
    EXPECT_TRUE(proc.WaitForExit(30000)) << argument;
}

// A fresh machine: no settings key, so the host warns; from Vista on that warning
// goes to the console session, and the start goes on without an answer.
TEST(CrossSession, ServiceStartWithoutSettingsReachesRunning) {
    // The test prefix shows the service host Windows XP; here it sees Wine's own.
    struct WineVersion {
        HKEY key = nullptr;
        WineVersion() {
            RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\vesprasv.exe", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
            RegDeleteValueA(key, "Version");
        }
        ~WineVersion() {
            RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>("winxp"), 6);
            RegCloseKey(key);
        }
    } ownVersion;
    pw::ScratchDir dir("Vespra Messages");
    for (const char *name : {"vespra.exe", "vesprasv.exe", "vesprasi.exe"})
        ASSERT_TRUE(CopyFileA(Built(name).c_str(), (dir / name).c_str(), FALSE)) << name;
    ASSERT_EQ(0u, ServiceState()) << "a service was left behind";
    ASSERT_TRUE(wt::DeleteSettingsKey());
    RunInstaller(dir / "vesprasi.exe", "/install");
    RunInstaller(dir / "vesprasi.exe", "/start");
    EXPECT_TRUE(wt::WaitUntil([] { return ServiceState() == SERVICE_RUNNING; }, 20000))
        << "state " << ServiceState();
    EXPECT_TRUE(wt::FindTopLevelWindows("VESPRASV.EXE").empty());
    RemoveService();
    EXPECT_TRUE(wt::WaitUntil([] { return ServiceState() == 0; }, 30000));
    wt::WaitUntil([] { return KillProcessesByName("vespra.exe") == 0; }, 10000);
    wt::WaitUntil([] { return KillProcessesByName("vesprasi.exe") == 0; }, 10000);
    wt::DeleteSettingsKey();
}

TEST(CrossSession, DosKillerLeavesCommandPromptsAloneOn64BitWindows) {
    pw::ScratchDir dir("Vespra Dos");
    ASSERT_TRUE(wt::WriteSettingsDword("logfile", 1));
    DeleteFileA(kLog);
    std::vector<wt::Process> procs;
    for (const char *name : {"ntvdm.exe", "cmd.exe"}) {
        ASSERT_TRUE(CopyFileA(wt::ToolPath("sleeper_tool.exe").c_str(), (dir / name).c_str(), 0));
        procs.push_back(wt::StartProcess(dir / name, "\"" + (dir / name) + "\""));
    }
    ASSERT_TRUE(wt::WaitUntil([] { return IsProcessRunning("ntvdm.exe", true); }, 10000));
    EXPECT_EQ(0, KillDosProcesses());
    EXPECT_EQ(0, KillDosProcesses());
    for (const wt::Process &p : procs)
        EXPECT_TRUE(p.Running());
    const std::string log = wt::ReadWholeFile(kLog);
    const size_t note = log.find("No DOS programs on this system");
    EXPECT_NE(std::string::npos, note) << log;
    EXPECT_EQ(std::string::npos, log.find("No DOS programs", note + 1)) << "logged once";
    wt::DeleteSettingsKey();
}

TEST(CrossSession, SettingsStartThatCantWriteRelaunchesItselfWithRunas) {
    pw::ScratchDir dir("Vespra Relaunch");
    const std::string exe = dir / "vespra.exe";
    ASSERT_TRUE(CopyFileA(wt::ToolPath("settings_relaunch_tool.exe").c_str(), exe.c_str(), 0));
    wt::Process proc = wt::StartProcess(exe, "\"" + exe + "\" /settings");
    ASSERT_TRUE(proc.WaitForExit(30000));
    EXPECT_EQ(0u, proc.ExitCode());
    std::string record;
    wt::WaitUntil([&] { return (record = wt::ReadWholeFile(dir / "relaunch_record.txt"))
                                   .find("relaunched:") != std::string::npos; }, 10000);
    EXPECT_NE(std::string::npos, record.find("relaunched: ")) << record;
    EXPECT_NE(std::string::npos, record.find(" /settings", record.find("relaunched:"))) << record;
    EXPECT_TRUE(wt::FindTopLevelWindows("Vespra", "#32770", proc.Id()).empty());
}

} // namespace

// The three programs together under Wine's own service control manager: the real
// installer installs, starts, stops and removes the real service host, which runs
// the real scheduler. They run from a folder whose path has blanks and capitals.
// Every test leaves no service behind: an auto-start service would be started
// again in every later Wine session of the prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <tlhelp32.h>

#include <string>

#include "service/service_host.h"
#include "system/event_log.h"
#include "system/service_calls.h"

#include "tests/wine/platform_wine_util.h"
#include "tests/wine/wine_test_support.h"

namespace {

const DWORD kWaitMs = 30000;
const char kKey[] = "SOFTWARE\\Vespra";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kLog[] = "c:\\vespra.log";
const char kInstallerCaption[] = "Vespra service installer";
const char *const kSafeBootKeys[] = {
    "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\Vespra",
    "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\Vespra"};
const char kRestartLine[] = ": Service controller: Scheduler ended unexpectedly - restarting\r\n";

std::string Built(const char *name) {
    const std::string vespra = wt::VespraExePath();
    return vespra.substr(0, vespra.find_last_of('\\') + 1) + name;
}

void SetDword(HKEY key, const char *name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}
void SetString(HKEY key, const char *name, const std::string &text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                   DWORD(text.size() + 1));
}

// Settings under which the scheduler never acts: every day off, the times half a
// day away. The startup countdown stays up for a minute, the log is on.
void WriteQuietSettings() {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string time = std::to_string((now.wHour + 12) % 24) + ":00";
    std::string times;
    for (int i = 0; i < 7; ++i)
        times += (i ? " " : "") + time;
    SetString(key, "version", "4.0");
    SetDword(key, "status", 1);
    SetDword(key, "restart", 0);
    SetString(key, "days", "0 0 0 0 0 0 0");
    SetString(key, "times", times);
    SetDword(key, "welcome", 1);
    SetDword(key, "welcometime", 60);
    SetDword(key, "showwarning", 0);
    SetDword(key, "warningminutes", 5);
    SetDword(key, "limit", 0);
    SetDword(key, "limithours", 9);
    SetString(key, "lock", "");
    SetDword(key, "disablecpl", 0);
    SetDword(key, "disableregpgms", 0);
    SetDword(key, "killdosapps", 0);
    SetDword(key, "amwarn", 1);
    SetDword(key, "logfile", 1);
    RegCloseKey(key);
}

struct Sc {
    SC_HANDLE h = nullptr;
    explicit Sc(SC_HANDLE handle) : h(handle) {}
    ~Sc() {
        if (h)
            CloseServiceHandle(h);
    }
    Sc(const Sc &) = delete;
    Sc &operator=(const Sc &) = delete;
};

// The service's status; dwCurrentState 0 when it can't be opened.
SERVICE_STATUS Status() {
    SERVICE_STATUS status{};
    Sc manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    Sc service(manager.h ? OpenServiceA(manager.h, "Vespra", SERVICE_QUERY_STATUS) : nullptr);
    if (service.h)
        QueryServiceStatus(service.h, &status);
    return status;
}

bool ServiceExists() {
    Sc manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    Sc service(manager.h ? OpenServiceA(manager.h, "Vespra", SERVICE_QUERY_STATUS) : nullptr);
    return service.h != nullptr;
}

bool Stopped() {
    return Status().dwCurrentState == SERVICE_STOPPED;
}
bool Running() {
    return Status().dwCurrentState == SERVICE_RUNNING;
}
bool Gone() {
    return !ServiceExists();
}
bool SchedulerRunning() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Vespra");
    if (mutex)
        CloseHandle(mutex);
    return mutex != nullptr;
}
bool NoScheduler() {
    return !SchedulerRunning();
}

// A text value (a Safe Mode entry's default one); "(none)" when the key is missing.
std::string SafeBootEntry(const char *path, const char *name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(none)";
    char text[MAX_PATH + 1] = {};
    DWORD type = 0, size = sizeof text - 1;
    const LONG rc =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? text : "(unreadable)";
}

size_t Count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Ends, or waits for, every process of the session with this file name: a
// scheduler that ends starts an installer with "/stop", which must not reach the
// next test's service.
void EndAll(const char *name, bool terminate) {
    wt::WaitUntil(
        [&] {
            bool any = false;
            HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32 entry{};
            entry.dwSize = sizeof entry;
            for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry)) {
                if (lstrcmpiA(entry.szExeFile, name) != 0)
                    continue;
                any = true;
                if (!terminate)
                    continue;
                if (HANDLE p =
                        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
                    TerminateProcess(p, 1);
                    WaitForSingleObject(p, 5000);
                    CloseHandle(p);
                }
            }
            CloseHandle(snap);
            return !any;
        },
        kWaitMs);
}

// The scheduler's dialog, whichever process shows it.
HWND SchedulerDialog(DWORD ms) {
    return wt::WaitForWindow("Vespra", ms, "#32770");
}

// Gives a folder the DACL of an SDDL text; ERROR_SUCCESS, or why not.
DWORD SetFolderDacl(std::string folder, const char *sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, 1, &sd, nullptr))
        return GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    DWORD error = ERROR_INVALID_SECURITY_DESCR;
    if (GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted))
        error = SetNamedSecurityInfoA(&folder[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, dacl, nullptr);
    LocalFree(sd);
    return error;
}

class ServiceEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        ASSERT_NE(std::string::npos, m_dir.Path().find(' '));
        ASSERT_FALSE(ServiceExists()) << "a service was left behind";
        Remove();
        DeleteFileA(kLog);
        WriteQuietSettings();
        for (const char *name : {"vespra.exe", "vesprasv.exe", "vesprasi.exe"})
            ASSERT_TRUE(CopyFileA(Built(name).c_str(), (m_dir / name).c_str(), FALSE)) << name;
    }
    void TearDown() override {
        Remove();
        EXPECT_TRUE(wt::WaitUntil(Gone, kWaitMs)) << "the service is still installed";
        // Whatever scheduler is left ends here, and the installer it starts on its
        // way out is done before the next test.
        wt::WaitUntil(NoScheduler, 10000);
        EndAll("vespra.exe", true);
        EndAll("vesprasi.exe", false);
        EndAll("vesprasi.exe", true);
        wt::DeleteSettingsKey();
        HKEY run = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_WRITE, &run) == ERROR_SUCCESS) {
            RegDeleteValueA(run, "Vespra");
            RegCloseKey(run);
        }
        DeleteFileA(kLog);
    }
    // Stops and deletes the service directly, through the service manager.
    static void Remove() {
        Sc manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        Sc service(manager.h ? OpenServiceA(manager.h, "Vespra", SERVICE_ALL_ACCESS) : nullptr);
        if (!service.h)
            return;
        SERVICE_STATUS status{};
        ControlService(service.h, SERVICE_CONTROL_STOP_SCHEDULER, &status);
        DeleteService(service.h);
    }

    // Runs the installer in the folder with this argument text and waits for it.
    // A message box it shows is read, answered and handed back.
    std::string Installer(const std::string &argument, const std::string &dir = std::string()) {
        const std::string exe = (dir.empty() ? m_dir.Path() : dir) + "\\vesprasi.exe";
        wt::Process proc = wt::StartProcess(exe, "\"" + exe + "\" " + argument);
        EXPECT_TRUE(proc.Valid());
        std::string text;
        EXPECT_TRUE(wt::WaitUntil(
            [&] {
                HWND box = wt::WaitForWindow(kInstallerCaption, 0, "#32770", proc.Id());
                if (!box)
                    box = wt::WaitForWindow("VESPRASI.EXE", 0, "#32770", proc.Id());
                if (box) {
                    text = pw::ReadMessageBox(box).text;
                    wt::ClickButton(box, IDOK);
                }
                return proc.WaitForExit(0);
            },
            kWaitMs))
            << argument;
        EXPECT_EQ(0u, proc.ExitCode()) << argument;
        return text;
    }
    // The scheduler the service started: waits for its dialog and its mutex.
    HWND WaitForScheduler() {
        HWND dlg = SchedulerDialog(kWaitMs);
        EXPECT_TRUE(wt::WaitUntil(SchedulerRunning, kWaitMs));
        return dlg;
    }
    static DWORD ProcessOf(HWND hwnd) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        return pid;
    }

    pw::ScratchDir m_dir{"Vespra Service"};
};

TEST_F(ServiceEndToEnd, InstallWritesTheConfigurationOnce) {
    // The Windows 95/98/Me start entry goes: the service starts the scheduler now.
    HKEY runServices = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunServicesKey, 0, nullptr, 0,
                                             KEY_READ | KEY_WRITE, nullptr, &runServices, nullptr));
    SetString(runServices, "Vespra", "x");
    EXPECT_EQ("", Installer("/install"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(runServices, "Vespra", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(runServices);
    Sc manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    Sc service(OpenServiceA(manager.h, "Vespra", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    ASSERT_NE(nullptr, service.h);
    char buffer[8192] = {};
    auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(buffer);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigA(service.h, config, sizeof buffer, &needed));
    EXPECT_EQ(DWORD(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS),
              config->dwServiceType);
    EXPECT_EQ(DWORD(SERVICE_AUTO_START), config->dwStartType);
    EXPECT_EQ(DWORD(SERVICE_ERROR_IGNORE), config->dwErrorControl);
    std::string lower = m_dir / "vesprasv.exe";
    CharLowerA(&lower[0]);
    EXPECT_EQ("\"" + lower + "\"", std::string(config->lpBinaryPathName));
    EXPECT_EQ(0, lstrcmpiA("LocalSystem", config->lpServiceStartName))
        << config->lpServiceStartName;
    EXPECT_STREQ("Vespra", config->lpDisplayName);
    EXPECT_EQ(DWORD(SERVICE_STOPPED), Status().dwCurrentState) << "installed, not started";
    // Wine 8's service manager has no failure-actions level (QueryServiceConfig2A
    // answers ERROR_INVALID_LEVEL), so the recovery is tested natively only.
    for (const char *path : kSafeBootKeys)
        EXPECT_EQ("Service", SafeBootEntry(path)) << path;
    EXPECT_EQ(m_dir / "vespra.exe", SafeBootEntry(kEventSourceKey, "EventMessageFile"));

    // Again from here: only the DACL is brought up to date. From another folder: the
    // message, and the service as it was.
    EXPECT_EQ("", Installer("/INSTALL"));
    pw::ScratchDir other{"Vespra Other"};
    ASSERT_TRUE(CopyFileA(Built("vesprasi.exe").c_str(), (other.Path() + "\\vesprasi.exe").c_str(),
                          FALSE));
    EXPECT_EQ("CreateService() failed (install)\n\nTo correct this problem, please uninstall "
              "Vespra, then install it again.",
              Installer("/install", other.Path()));
    needed = 0;
    ASSERT_TRUE(QueryServiceConfigA(service.h, config, sizeof buffer, &needed));
    EXPECT_EQ("\"" + lower + "\"", std::string(config->lpBinaryPathName));
}

// Wine keeps a file's DACL as its Unix mode: "everyone may write" is a world-writable
// folder, which is what the installer must see and refuse.
TEST_F(ServiceEndToEnd, InstallRefusesAProgramUsersMayChange) {
    ASSERT_EQ(DWORD(ERROR_SUCCESS), SetFolderDacl(m_dir.Path(), "D:(A;OICI;FA;;;WD)"));
    std::string program = m_dir / "vesprasv.exe";
    CharLowerA(&program[0]);
    EXPECT_EQ("The Vespra service was not installed: users who are not administrators can change " +
                  program + " or its folder.\n\nInstall Vespra in a folder that only "
                  "administrators can change, such as Program Files.",
              Installer("/install"));
    EXPECT_FALSE(ServiceExists());
}

// A folder above the program's that everyone may change (for Wine, a world-writable
// folder): the setup's question answers 1 for it and 0 for the test's own folders,
// and "/install" refuses with its message though the program's own folder is sound.
TEST_F(ServiceEndToEnd, InstallRefusesAProgramBelowAFolderUsersMayChange) {
    pw::ScratchDir above{"Vespra Above"};
    const std::string folder = above / "Vespra";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    for (const char *name : {"vesprasi.exe", "vesprasv.exe"})
        ASSERT_TRUE(CopyFileA(Built(name).c_str(), (folder + "\\" + name).c_str(), FALSE)) << name;
    ASSERT_EQ(DWORD(ERROR_SUCCESS), SetFolderDacl(above.Path(), "D:(A;;FA;;;WD)"));
    auto check = [this](const std::string &dir) {
        const std::string exe = m_dir / "vesprasi.exe";
        wt::Process proc = wt::StartProcess(exe, "\"" + exe + "\" /checkfolder " + dir);
        EXPECT_TRUE(proc.WaitForExit(kWaitMs));
        return proc.ExitCode();
    };
    EXPECT_EQ(1u, check(folder));
    EXPECT_EQ(0u, check(m_dir.Path()));
    std::string program = folder + "\\vesprasv.exe";
    CharLowerA(&program[0]);
    EXPECT_EQ("The Vespra service was not installed: users who are not administrators can change " +
                  program + " or its folder.\n\nInstall Vespra in a folder that only "
                  "administrators can change, such as Program Files.",
              Installer("/install", folder));
    EXPECT_FALSE(ServiceExists());
}

TEST_F(ServiceEndToEnd, StartRunsTheSchedulerAndStopEndsIt) {
    ASSERT_EQ("", Installer("/install"));
    EXPECT_EQ("", Installer("/start"));
    ASSERT_TRUE(wt::WaitUntil(Running, kWaitMs));
    HWND dlg = WaitForScheduler();
    ASSERT_NE(nullptr, dlg);
    // Interactive: the service runs on the user's window station, and so does the
    // scheduler's startup countdown.
    EXPECT_NE(std::string::npos, wt::GetControlText(dlg, 1001).find("seconds left to cancel."));
    const std::string log = wt::ReadWholeFile(kLog);
    EXPECT_NE(std::string::npos, log.find(": Service controller: Starting service\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find(": >>>>>> Starting main app\r\n")) << log;

    HANDLE scheduler = OpenProcess(SYNCHRONIZE, FALSE, ProcessOf(dlg));
    ASSERT_NE(nullptr, scheduler);
    EXPECT_EQ("", Installer("/stop"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(scheduler, kWaitMs)) << "WM_STOP_SCHEDULER";
    CloseHandle(scheduler);
    ASSERT_TRUE(wt::WaitUntil(Stopped, kWaitMs));
    EXPECT_EQ(0u, Status().dwWin32ExitCode);
    const std::string after = wt::ReadWholeFile(kLog);
    EXPECT_NE(std::string::npos, after.find(": Service controller: Stopping service\r\n")) << after;
    EXPECT_NE(std::string::npos, after.find(": <<<<<< Exiting main app\r\n")) << after;
    EXPECT_TRUE(ServiceExists()) << "/stop does not remove it";
}

TEST_F(ServiceEndToEnd, UninstallStopsAndRemovesARunningService) {
    ASSERT_EQ("", Installer("/install"));
    ASSERT_EQ("", Installer("/start"));
    HWND dlg = WaitForScheduler();
    ASSERT_NE(nullptr, dlg);
    HANDLE scheduler = OpenProcess(SYNCHRONIZE, FALSE, ProcessOf(dlg));
    EXPECT_EQ("", Installer("/uninstall"));
    EXPECT_TRUE(wt::WaitUntil(Gone, kWaitMs));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(scheduler, kWaitMs));
    CloseHandle(scheduler);
    for (const char *path : kSafeBootKeys)
        EXPECT_EQ("(none)", SafeBootEntry(path)) << path;
    EXPECT_EQ("(none)", SafeBootEntry(kEventSourceKey));
}

// The service host waits on the scheduler's process: one that ends by itself is
// started again; one that ends with the service's stop on its way is not.
TEST_F(ServiceEndToEnd, ASchedulerThatEndsIsStartedAgainUnlessTheServiceIsStopping) {
    ASSERT_EQ("", Installer("/install"));
    ASSERT_EQ("", Installer("/start"));
    ASSERT_TRUE(wt::WaitUntil(Running, kWaitMs));
    HWND first = WaitForScheduler();
    ASSERT_NE(nullptr, first);
    const DWORD firstPid = ProcessOf(first);
    auto end = [](DWORD pid) {
        HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        ASSERT_NE(nullptr, p);
        EXPECT_TRUE(TerminateProcess(p, 3));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(p, kWaitMs));
        CloseHandle(p);
    };
    end(firstPid);
    // After the host's grace for a stop, a new scheduler with its countdown.
    DWORD secondPid = 0;
    ASSERT_TRUE(wt::WaitUntil(
        [&] {
            HWND dlg = SchedulerDialog(0);
            secondPid = dlg ? ProcessOf(dlg) : 0;
            return secondPid && secondPid != firstPid;
        },
        kWaitMs + kStopGraceMs));
    EXPECT_TRUE(wt::WaitUntil(SchedulerRunning, kWaitMs));
    EXPECT_EQ(DWORD(SERVICE_RUNNING), Status().dwCurrentState);
    EXPECT_EQ(1u, Count(wt::ReadWholeFile(kLog), kRestartLine));

    // As a scheduler that stops the service itself: gone before control 222 arrives.
    end(secondPid);
    EXPECT_EQ("", Installer("/stop"));
    ASSERT_TRUE(wt::WaitUntil(Stopped, kWaitMs));
    EXPECT_EQ(0u, Status().dwWin32ExitCode);
    EXPECT_TRUE(NoScheduler());
    const std::string log = wt::ReadWholeFile(kLog);
    EXPECT_EQ(1u, Count(log, kRestartLine)) << log;
    EXPECT_NE(std::string::npos, log.find(": Service controller: Stopping service\r\n")) << log;
}

TEST_F(ServiceEndToEnd, RestartStartsANewScheduler) {
    ASSERT_EQ("", Installer("/install"));
    ASSERT_EQ("", Installer("/start"));
    HWND first = WaitForScheduler();
    ASSERT_NE(nullptr, first);
    const DWORD firstPid = ProcessOf(first);
    EXPECT_EQ("", Installer("/restart"));
    // The old scheduler has gone before the new service started.
    HANDLE old = OpenProcess(SYNCHRONIZE, FALSE, firstPid);
    EXPECT_TRUE(old == nullptr || WaitForSingleObject(old, 0) == WAIT_OBJECT_0);
    if (old)
        CloseHandle(old);
    HWND second = WaitForScheduler();
    ASSERT_NE(nullptr, second);
    EXPECT_NE(firstPid, ProcessOf(second));
    EXPECT_TRUE(wt::WaitUntil(Running, kWaitMs));
    // The old scheduler's own stop request on its way out came to nothing.
    Sleep(3000);
    EXPECT_EQ(DWORD(SERVICE_RUNNING), Status().dwCurrentState);
    EXPECT_TRUE(SchedulerRunning());
}

TEST_F(ServiceEndToEnd, NotInstalledStopAndRestartDoNothing) {
    for (const char *command : {"/stop", "/restart"}) {
        EXPECT_EQ("", Installer(command)) << command;
        EXPECT_FALSE(ServiceExists());
    }
    EXPECT_EQ("OpenService() failed (start)", Installer("/start"));
    EXPECT_FALSE(SchedulerRunning());
}

TEST_F(ServiceEndToEnd, APlainStartHandsOverToTheService) {
    ASSERT_EQ("", Installer("/install"));
    const std::string exe = m_dir / "vespra.exe";
    wt::Process plain = wt::StartProcess(exe, "\"" + exe + "\"");
    ASSERT_TRUE(plain.Valid());
    EXPECT_TRUE(plain.WaitForExit(kWaitMs));
    ASSERT_TRUE(wt::WaitUntil(Running, kWaitMs));
    HWND dlg = WaitForScheduler();
    ASSERT_NE(nullptr, dlg);
    EXPECT_NE(plain.Id(), ProcessOf(dlg));
    EXPECT_NE(std::string::npos, wt::ReadWholeFile(kLog).find("Main app restarting as service"));
}

TEST_F(ServiceEndToEnd, MissingSchedulerStopsTheServiceWithTheError) {
    ASSERT_TRUE(DeleteFileA((m_dir / "vespra.exe").c_str()));
    ASSERT_EQ("", Installer("/install"));
    EXPECT_EQ("", Installer("/start"));
    HWND box = wt::WaitForWindow("VESPRASV.EXE", kWaitMs, "#32770");
    ASSERT_NE(nullptr, box);
    std::string lower = m_dir / "vespra.exe";
    CharLowerA(&lower[0]);
    EXPECT_EQ("CreateProcess() failed\n\nPath=" + lower, pw::ReadMessageBox(box).text);
    wt::ClickButton(box, IDOK);
    ASSERT_TRUE(wt::WaitUntil(Stopped, kWaitMs));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), Status().dwWin32ExitCode);
}

TEST_F(ServiceEndToEnd, RunByHandBothProgramsSaySo) {
    const std::string host = m_dir / "vesprasv.exe";
    wt::Process proc = wt::StartProcess(host, "\"" + host + "\"");
    HWND box = wt::WaitForWindow("VESPRASV.EXE", kWaitMs, "#32770", proc.Id());
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("StartServiceCtrlDispatcher() failed\n\nThis program is used by Windows to control "
              "Vespra. It should not be run manually. If it is run manually, errors may occur.",
              pw::ReadMessageBox(box).text);
    wt::ClickButton(box, IDOK);
    ASSERT_TRUE(proc.WaitForExit(kWaitMs));
    EXPECT_EQ(0u, proc.ExitCode());

    const std::string refusal = "This program is needed by Vespra. It should not be run manually.";
    EXPECT_EQ(refusal, Installer(""));
    EXPECT_EQ(refusal, Installer("/stop "));
    EXPECT_EQ(refusal, Installer("/start" + std::string(300, 'x')));
}

// Icons are objects of the process that loaded them, so the box's icon is compared
// in the process that shows it.
TEST_F(ServiceEndToEnd, MessagesHaveTheWarningIconAndNoOwner) {
    HWND owner = reinterpret_cast<HWND>(1);
    bool warning = false;
    std::string text;
    wt::Thread watcher([&] {
        HWND hwnd = wt::WaitForWindow("Caption", kWaitMs, "#32770", GetCurrentProcessId());
        if (!hwnd)
            return;
        owner = GetWindow(hwnd, GW_OWNER);
        text = pw::ReadMessageBox(hwnd).text;
        struct Find {
            static BOOL CALLBACK WarningIcon(HWND child, LPARAM lp) {
                if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                    reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)) ==
                        LoadIconA(nullptr, MAKEINTRESOURCEA(32515))) // IDI_WARNING
                    *reinterpret_cast<bool *>(lp) = true;
                return TRUE;
            }
        };
        EnumChildWindows(hwnd, Find::WarningIcon, reinterpret_cast<LPARAM>(&warning));
        wt::ClickButton(hwnd, IDOK);
    });
    ShowWarningBox("Text\n\nmore", "Caption");
    watcher.join();
    EXPECT_EQ("Text\n\nmore", text);
    EXPECT_TRUE(warning);
    EXPECT_EQ(nullptr, owner);
}

} // namespace

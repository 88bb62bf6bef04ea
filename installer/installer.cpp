#include "installer/installer.h"

#include <cstring>

#include "framework/text.h"
#include "framework/unique_handle.h"
#include "system/event_log.h"
#include "system/files.h"
#include "system/log.h"
#include "system/platform_calls.h"
#include "system/process_walk.h"
#include "system/registry.h"
#include "security/permissions.h"
#include "system/service_calls.h"

namespace installer {

namespace {
const char kCaption[] = "Vespra service installer";
const char kCheckFolder[] = "/checkfolder ";
const char kSecureFolder[] = "/securefolder ";
// The scheduler's start entry at every log-on (named kServiceName, as the service).
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServicesKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const DWORD kPlatformWin32Nt = 2; // VER_PLATFORM_WIN32_NT
// The least access each command needs, so that a start works for every user and
// the rest for an administrator without more rights than they use.
const DWORD kStartAccess = SERVICE_QUERY_STATUS | SERVICE_START;
const DWORD kStopAccess = SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL;
const DWORD kRemoveAccess = kStopAccess | DELETE;
// Creating, the installer also sets the service's DACL and its recovery, and
// deletes a service it could not secure. A restart action needs SERVICE_START.
const DWORD kConfigureAccess = WRITE_DAC | SERVICE_CHANGE_CONFIG | SERVICE_START;
const DWORD kCreateAccess = SERVICE_QUERY_STATUS | DELETE | kConfigureAccess;
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vespra";
// Safe Mode starts only the services named here, with "Service" as the default value.
const char *const kSafeBootKeys[] = {
    "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\Vespra",
    "SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\Vespra",
};
// The service manager's recovery: the host stops with an error when the scheduler
// keeps ending (service/restart_limit.h), or crashes itself; the service is started
// again after 10 s, again after 10 s, then after 60 s at every further failure. The
// count starts again after a day without one.
const RecoveryAction kRecovery[] = {{kScActionRestart, 10000}, {kScActionRestart, 10000},
                                    {kScActionRestart, 60000}};
const DWORD kRecoveryResetSeconds = 24 * 60 * 60;

struct ScCloser {
    void operator()(ScHandle h) const { CloseServiceHandleOf(h); }
};
using Sc = UniqueHandle<ScHandle, ScCloser>;

void Show(const std::string &text) {
    ShowWarningBox(text, kCaption);
}

// ControlService refused because the service is already on its way down (another
// stop got there first): that is the outcome asked for.
bool AlreadyStopping(ScHandle service, DWORD error) {
    if (error != DWORD(ERROR_SERVICE_CANNOT_ACCEPT_CTRL))
        return false;
    DWORD state = 0;
    return QueryServiceState(service, state) &&
           (state == SERVICE_STOPPED || state == SERVICE_STOP_PENDING);
}
} // namespace

Command ParseCommand(const std::string &argument) {
    const std::string text = ToLower(argument);
    if (text == "/install")
        return Command::Install;
    if (text == "/uninstall")
        return Command::Uninstall;
    if (text == "/stop")
        return Command::Stop;
    if (text == "/start")
        return Command::Start;
    if (text == "/restart")
        return Command::Restart;
    if (text == "/removesettings")
        return Command::RemoveSettings;
    return Command::None;
}

std::string ServiceImagePath(const std::string &installerPath) {
    if (installerPath.empty())
        return std::string();
    std::string path = ToLower(installerPath);
    const size_t name = path.find("vesprasi.exe");
    if (name != std::string::npos)
        path = path.substr(0, name) + "vesprasv.exe";
    return "\"" + path + "\"";
}

bool IsWindowsNT() {
    DWORD platformId = 0;
    return QueryPlatformId(platformId) && platformId == kPlatformWin32Nt;
}

namespace {
void RegisterForRecoveryAndSafeMode(ScHandle service) {
    // None of this is needed for the service to run: a failure is logged, and the
    // install stands.
    if (!SetRecoveryActions(service, kRecoveryResetSeconds, kRecovery,
                            DWORD(sizeof kRecovery / sizeof kRecovery[0])))
        WriteLog("Service installer: Recovery actions not set - error " +
                 std::to_string(LastErrorCode()));
    // Without the flag only a crash of the service host is a failure; Windows before
    // Vista has no flag, and the host's error stop goes without recovery there.
    else if (!SetRecoveryOnErrorStops(service, TRUE) &&
             LastErrorCode() != DWORD(ERROR_INVALID_LEVEL))
        WriteLog("Service installer: Recovery on error stops not set - error " +
                 std::to_string(LastErrorCode()));
    for (const char *path : kSafeBootKeys) {
        RegKey key;
        LONG rc = key.Create(path, RegAccess::Write, kSafeBootKeySddl);
        if (rc == ERROR_SUCCESS)
            rc = key.SetString("", "Service");
        if (rc != ERROR_SUCCESS)
            WriteLog(std::string("Service installer: Safe Mode entry ") + path +
                     " not written - error " + std::to_string(rc));
    }
}

// The Event Log source "Vespra", whose texts are vespra.exe's message table. Without
// it the programs write no entries; the install stands.
void RegisterEventLogSource() {
    const std::string installer = GetProgramPath();
    const std::string program =
        installer.substr(0, installer.find_last_of('\\') + 1) + "vespra.exe";
    RegKey key;
    LONG rc = key.Create(kEventSourceKey, RegAccess::Write, kSafeBootKeySddl);
    if (rc == ERROR_SUCCESS)
        rc = key.SetString("EventMessageFile", program);
    if (rc == ERROR_SUCCESS)
        rc = key.SetDword("TypesSupported", kEventTypesSupported);
    if (rc != ERROR_SUCCESS)
        WriteLog("Service installer: Event Log source not registered - error " +
                 std::to_string(rc));
}

// The Safe Mode entries and the Event Log source go with the service.
void RemoveRegistrations() {
    for (const char *path : kSafeBootKeys)
        DeleteRegistryKey(path);
    DeleteRegistryKey(kEventSourceKey);
}
} // namespace

void RemoveSettings() {
    DeleteRegistryKey(kSettingsKey);
    RegKey run;
    if (run.Create(kRunKey, RegAccess::Write) == ERROR_SUCCESS)
        run.DeleteValue(kServiceName);
    RemoveRunServicesValue();
    RemoveRegistrations();
}

void RemoveRunServicesValue() {
    if (!IsWindowsNT())
        return;
    RegKey key;
    if (key.Create(kRunServicesKey, RegAccess::Write) == ERROR_SUCCESS)
        key.DeleteValue(kServiceName);
}

namespace {
// Whether the service that exists already runs this folder's service host: then
// installing again only brings its DACL up to date.
bool RunsThisProgram(const std::string &imagePath) {
    RegKey key;
    char text[MAX_PATH + 3] = {};
    DWORD type = 0, size = sizeof text - 1;
    if (key.Open(kServiceKey, RegAccess::Read) != ERROR_SUCCESS ||
        key.QueryValue("ImagePath", &type, text, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    const std::string stored = ToLower(text);
    return stored == imagePath || "\"" + stored + "\"" == imagePath;
}
} // namespace

bool InstallService() {
    DWORD platformId = 0, major = 0;
    if (!QueryPlatformVersion(platformId, major) || platformId != kPlatformWin32Nt)
        return false;
    Sc manager(OpenServiceManager(SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        Show("OpenSCManager() failed (install)");
        return false;
    }
    ServiceConfig config;
    // Interactive on NT 5.x. From Vista on, the flag means nothing: session 0 is
    // isolated, and the scheduler shows itself through its agent instead.
    config.serviceType = SERVICE_WIN32_OWN_PROCESS | (major < 6 ? SERVICE_INTERACTIVE_PROCESS : 0);
    config.startType = SERVICE_AUTO_START;
    config.errorControl = SERVICE_ERROR_IGNORE;
    // A module path that can't be had (longer than its buffer) installs nothing:
    // a service without a program would only fail at every system start.
    config.binaryPath = ServiceImagePath(GetProgramPath());
    // The service runs as the system: a program that users may change, or a folder
    // they may add to, would run their code with the system's rights.
    const std::string program =
        config.binaryPath.size() > 2 ? config.binaryPath.substr(1, config.binaryPath.size() - 2)
                                     : std::string();
    if (!program.empty() && UsersMayChangeProgram(program)) {
        Show("The Vespra service was not installed: users who are not administrators can "
             "change " + program + " or its folder.\n\nInstall Vespra in a folder that only "
             "administrators can change, such as Program Files.");
        return false;
    }
    Sc service;
    if (!program.empty())
        service.Reset(CreateServiceEntry(manager.Get(), config, kCreateAccess));
    const bool existed = !service && LastErrorCode() == DWORD(ERROR_SERVICE_EXISTS);
    if (existed && RunsThisProgram(config.binaryPath)) {
        // Installed from here before, perhaps by a version that left the default
        // DACL, which lets every user stop it.
        Sc installed(OpenServiceEntry(manager.Get(), kConfigureAccess));
        if (installed && SetServiceDacl(installed.Get(), kServiceSddl)) {
            RegisterForRecoveryAndSafeMode(installed.Get());
            RegisterEventLogSource();
            return true;
        }
        Show("SetServiceObjectSecurity() failed (install)");
        return false;
    }
    if (!service) {
        Show("CreateService() failed (install)\n\nTo correct this problem, please uninstall "
             "Vespra, then install it again.");
        return false;
    }
    if (!SetServiceDacl(service.Get(), kServiceSddl)) {
        // Not left behind with the default DACL, which lets every user stop it.
        DeleteServiceEntry(service.Get());
        Show("SetServiceObjectSecurity() failed (install)");
        return false;
    }
    RegisterForRecoveryAndSafeMode(service.Get());
    RegisterEventLogSource();
    return true;
}

bool StartSchedulerService() {
    if (!IsWindowsNT())
        return false;
    Sc manager(OpenServiceManager(SC_MANAGER_CONNECT));
    if (!manager) {
        Show("OpenSCManager() failed (start)");
        return false;
    }
    Sc service(OpenServiceEntry(manager.Get(), kStartAccess));
    if (!service) {
        Show("OpenService() failed (start)");
        return false;
    }
    DWORD state = 0;
    if (!QueryServiceState(service.Get(), state)) {
        Show("QueryServiceStatus() failed (start)");
        return false;
    }
    // Running, starting or stopping: left alone.
    if (state != SERVICE_STOPPED)
        return true;
    // The argument tells the service host that it was not started at system start.
    if (!StartServiceWith(service.Get(), "arg0")) {
        Show("StartService() failed (start)");
        return false;
    }
    return true;
}

bool StopSchedulerService(bool remove) {
    if (!IsWindowsNT()) {
        KillWithToolHelpSilently("vespra.exe");
        return true;
    }
    Sc manager(OpenServiceManager(SC_MANAGER_CONNECT));
    if (!manager) {
        Show("OpenSCManager() failed (stop/uninstall)");
        return false;
    }
    Sc service(OpenServiceEntry(manager.Get(), remove ? kRemoveAccess : kStopAccess));
    if (!service) {
        // Not installed: nothing to do, nothing to say; Safe Mode entries of a
        // service removed some other way go too.
        if (remove && LastErrorCode() == DWORD(ERROR_SERVICE_DOES_NOT_EXIST))
            RemoveRegistrations();
        return false;
    }
    DWORD state = 0;
    if (!QueryServiceState(service.Get(), state)) {
        Show("QueryServiceStatus() failed (stop/uninstall)");
        return false;
    }
    if (state != SERVICE_STOPPED && state != SERVICE_STOP_PENDING &&
        !SendServiceControl(service.Get(), SERVICE_CONTROL_STOP_SCHEDULER)) {
        const DWORD error = LastErrorCode();
        if (error != DWORD(ERROR_SERVICE_NOT_ACTIVE) && !AlreadyStopping(service.Get(), error)) {
            Show("ControlService() failed (stop/uninstall)");
            return false;
        }
    }
    if (remove) {
        if (DeleteServiceEntry(service.Get()))
            RemoveRegistrations();
        else
            Show("DeleteService() failed (stop/uninstall)");
    }
    return true;
}

void AwaitServiceStop() {
    if (!IsWindowsNT())
        return;
    {
        Sc manager(OpenServiceManager(SC_MANAGER_CONNECT));
        Sc service(manager ? OpenServiceEntry(manager.Get(), SERVICE_QUERY_STATUS) : nullptr);
        for (unsigned waited = 0; service; waited += kPollMs) {
            DWORD state = 0;
            if (!QueryServiceState(service.Get(), state) || state == SERVICE_STOPPED ||
                waited >= kStopWaitMs)
                break;
            PauseFor(kPollMs);
        }
    }
    // The scheduler that the service told to end holds the single-instance mutexes
    // until it has gone; a scheduler started before that would be a second instance.
    // The global one is the one seen from another session than the service's.
    if (WaitForMutexFree("Global\\Vespra", kSchedulerEndWaitMs))
        WaitForMutexFree("Vespra", kSchedulerEndWaitMs);
}

int RunInstaller(const std::string &argument) {
    // The setup's question before it copies anything, answered by the exit code
    // alone: 1 when users may rename, delete or replace a folder above this one.
    // The package's step after it copied the files: a folder that passes that test
    // gets its protected DACL; 1 when it fails the test or can't be secured, a
    // drive's root included.
    const std::string lower = ToLower(argument);
    for (const char *command : {kCheckFolder, kSecureFolder}) {
        const size_t length = std::strlen(command);
        if (lower.compare(0, length, command) != 0)
            continue;
        std::string folder = argument.substr(length);
        while (!folder.empty() && folder.back() == '\\')
            folder.pop_back();
        if (UsersMayReplaceFoldersAbove(folder + "\\vesprasv.exe"))
            return 1;
        if (command == kCheckFolder)
            return 0;
        const bool root = folder.size() <= 2 || folder.find('\\') == std::string::npos;
        return !root && SecureProgramFolder(folder) ? 0 : 1;
    }
    switch (ParseCommand(argument)) {
    case Command::Install: {
        // The service host warns when it can't open the settings key, which the
        // scheduler fills only once it runs: an empty key is enough.
        RegKey settings;
        settings.Create(kSettingsKey, RegAccess::Write);
        RemoveRunServicesValue();
        InstallService();
        break;
    }
    case Command::Uninstall:
        // The programs are removed next: the scheduler must have let go of them.
        if (StopSchedulerService(true))
            AwaitServiceStop();
        break;
    case Command::RemoveSettings:
        RemoveSettings();
        break;
    case Command::Stop:
        StopSchedulerService(false);
        break;
    case Command::Start:
        StartSchedulerService();
        break;
    case Command::Restart:
        if (StopSchedulerService(false)) {
            AwaitServiceStop();
            StartSchedulerService();
        }
        break;
    case Command::None:
        ShowWarningBox("This program is needed by Vespra. It should not be run manually.",
                       "VESPRASI.EXE");
        break;
    }
    return 0;
}

} // namespace installer

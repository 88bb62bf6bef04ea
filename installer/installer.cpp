#include "installer/installer.h"

#include "framework/text.h"
#include "framework/unique_handle.h"
#include "system/files.h"
#include "system/platform_calls.h"
#include "system/process_walk.h"
#include "system/registry.h"
#include "system/service_calls.h"

namespace installer {

namespace {
const char kCaption[] = "Vespra service installer";
const char kRunServicesKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const DWORD kPlatformWin32Nt = 2; // VER_PLATFORM_WIN32_NT
// The least access each command needs, so that a start works for every user and
// the rest for an administrator without more rights than they use.
const DWORD kStartAccess = SERVICE_QUERY_STATUS | SERVICE_START;
const DWORD kStopAccess = SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL;
const DWORD kRemoveAccess = kStopAccess | DELETE;

struct ScCloser {
    void operator()(ScHandle h) const { CloseServiceHandleOf(h); }
};
using Sc = UniqueHandle<ScHandle, ScCloser>;

void Show(const char *text) {
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

void RemoveRunServicesValue() {
    if (!IsWindowsNT())
        return;
    RegKey key;
    if (key.Create(kRunServicesKey, RegAccess::Write) == ERROR_SUCCESS)
        key.DeleteValue(kServiceName);
}

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
    Sc service;
    if (!config.binaryPath.empty())
        service.Reset(CreateServiceEntry(manager.Get(), config, SERVICE_QUERY_STATUS));
    if (!service) {
        Show("CreateService() failed (install)\n\nTo correct this problem, please uninstall "
             "Vespra, then install it again.");
        return false;
    }
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
    if (!service)
        return false; // not installed: nothing to do, nothing to say
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
    if (remove && !DeleteServiceEntry(service.Get()))
        Show("DeleteService() failed (stop/uninstall)");
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
    switch (ParseCommand(argument)) {
    case Command::Install:
        RemoveRunServicesValue();
        InstallService();
        break;
    case Command::Uninstall:
        StopSchedulerService(true);
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

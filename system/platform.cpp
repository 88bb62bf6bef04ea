#include "system/platform.h"

#include <string>

#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/text.h"
#include "framework/unique_handle.h"
#include "resources/resource.h"
#include "system/files.h"
#include "system/log.h"
#include "system/platform_calls.h"
#include "system/service_calls.h"

namespace {
// The installer lies beside the program: its own path, lower-cased, cut at the
// first ".exe", plus "si.exe". A path without ".exe" is used as it is.
std::string InstallerPath() {
    std::string path = ToLower(GetProgramPath());
    size_t exe = path.find(".exe");
    if (exe != std::string::npos)
        path = path.substr(0, exe) + "si.exe";
    return path;
}

void ShowServiceControlError(const std::string &text) {
    PlatformMessageBox(nullptr, text, "Vespra", MB_ICONERROR);
}

struct ScCloser {
    void operator()(ScHandle h) const { CloseServiceHandleOf(h); }
};
using Sc = UniqueHandle<ScHandle, ScCloser>;

void LogServiceFailure(const char *call) {
    WriteLog(StrFormat("Log-on start: %s failed, error %lu; the service was not started", call,
                       (unsigned long)LastErrorCode()));
}
} // namespace

void EnableShutdownPrivilege() {
    if (!EnableTokenPrivilege("SeShutdownPrivilege"))
        AfxMessageBox(LoadStr(IDS_NO_PRIVILEGE), MB_ICONERROR);
}

void UtilServiceControl(int command) {
    std::string installer = InstallerPath();
    const char *commandLine = nullptr;
    switch (command) {
    case Stop:
        commandLine = " /stop";
        break;
    case Start:
        commandLine = " /start";
        break;
    case Restart:
        commandLine = " /restart";
        break;
    default:
        ShowServiceControlError(
            StrFormat("Internal Error:\nUtilServiceControl bad param = %d", command));
        return;
    }
    DWORD error = 0;
    if (!StartProcess(installer, commandLine, error))
        ShowServiceControlError(
            StrFormat("Internal Error:\nCreateProcess failed = %lu", (unsigned long)error));
}

void StartServiceAtLogon() {
    Sc manager(OpenServiceManager(SC_MANAGER_CONNECT));
    if (!manager)
        return LogServiceFailure("OpenSCManager()");
    Sc service(OpenServiceEntry(manager.Get(), SERVICE_QUERY_STATUS | SERVICE_START));
    if (!service)
        return LogServiceFailure("OpenService()");
    DWORD state = 0;
    if (!QueryServiceState(service.Get(), state))
        return LogServiceFailure("QueryServiceStatus()");
    if (state != SERVICE_STOPPED) {
        WriteLog("Log-on start: the service is running already");
        return;
    }
    DWORD error = 0;
    if (!StartProcess(InstallerPath(), " /start", error))
        WriteLog(StrFormat("Log-on start: the installer could not be started, error %lu",
                           (unsigned long)error));
}

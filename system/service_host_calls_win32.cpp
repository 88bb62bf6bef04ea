// The service's own side of the service control manager (vesprasv only).
#include <cstring>
#include <vector>

#include "service/service_host.h"
#include "system/service_calls.h"

namespace {
VOID WINAPI DispatchedMain(DWORD argc, LPSTR *argv) {
    ServiceMain(argc, argv);
}

VOID WINAPI ControlHandler(DWORD control) {
    ServiceCtrlHandler(control);
}
} // namespace

BOOL RunServiceDispatcher() {
    char name[16];
    strcpy(name, kServiceName);
    SERVICE_TABLE_ENTRYA table[] = {{name, DispatchedMain}, {nullptr, nullptr}};
    return ::StartServiceCtrlDispatcherA(table);
}

ServiceStatusHandle RegisterControlHandler() {
    return reinterpret_cast<ServiceStatusHandle>(
        ::RegisterServiceCtrlHandlerA(kServiceName, ControlHandler));
}

BOOL SetServiceStatusOf(ServiceStatusHandle handle, const ServiceStatusReport &report) {
    SERVICE_STATUS status;
    status.dwServiceType = report.serviceType;
    status.dwCurrentState = report.currentState;
    status.dwControlsAccepted = report.controlsAccepted;
    status.dwWin32ExitCode = report.win32ExitCode;
    status.dwServiceSpecificExitCode = report.serviceSpecificExitCode;
    status.dwCheckPoint = report.checkPoint;
    status.dwWaitHint = report.waitHint;
    return ::SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(handle), &status);
}

HANDLE CreateStopEvent() {
    return ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

BOOL SignalStopEvent(HANDLE event) {
    return ::SetEvent(event);
}

BOOL WaitForStopEvent(HANDLE event) {
    return ::WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0;
}

void CloseHandleOf(HANDLE handle) {
    ::CloseHandle(handle);
}

BOOL LaunchProcess(const std::string &application, const std::string &commandLine, HANDLE &thread,
                   DWORD &threadId) {
    // CreateProcessA may write into the command line, so it gets its own buffer.
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    if (!::CreateProcessA(application.c_str(), cmd.data(), nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si, &pi))
        return FALSE;
    // Nobody waits for the scheduler or ends it: its process handle is not kept.
    if (pi.hProcess)
        ::CloseHandle(pi.hProcess);
    thread = pi.hThread;
    threadId = pi.dwThreadId;
    return TRUE;
}

BOOL PostToThread(DWORD threadId, UINT message) {
    return ::PostThreadMessageA(threadId, message, 0, 0);
}

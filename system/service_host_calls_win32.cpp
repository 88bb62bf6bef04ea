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

HostWake WaitForStopOrScheduler(HANDLE event, HANDLE process) {
    HANDLE handles[] = {event, process};
    switch (::WaitForMultipleObjects(2, handles, FALSE, INFINITE)) {
    case WAIT_OBJECT_0:
        return HostWake::Stop;
    case WAIT_OBJECT_0 + 1:
        return HostWake::SchedulerEnded;
    default:
        return HostWake::Failed;
    }
}

BOOL WaitForHandle(HANDLE handle, DWORD timeoutMs) {
    return ::WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
}

void CloseHandleOf(HANDLE handle) {
    ::CloseHandle(handle);
}

BOOL LaunchProcess(const std::string &application, const std::string &commandLine,
                   HANDLE &process, HANDLE &thread, DWORD &threadId) {
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
    process = pi.hProcess;
    thread = pi.hThread;
    threadId = pi.dwThreadId;
    return TRUE;
}

BOOL PostToThread(DWORD threadId, UINT message) {
    return ::PostThreadMessageA(threadId, message, 0, 0);
}

namespace {
typedef DWORD(WINAPI *ActiveConsoleSessionFn)();
typedef BOOL(WINAPI *SendMessageFn)(HANDLE, DWORD, LPSTR, DWORD, LPSTR, DWORD, DWORD, DWORD,
                                    DWORD *, BOOL);
} // namespace

BOOL SendBoxToConsoleSession(const std::string &text, const char *caption, DWORD timeoutSeconds) {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto session = kernel ? reinterpret_cast<ActiveConsoleSessionFn>(reinterpret_cast<void (*)()>(
                                ::GetProcAddress(kernel, "WTSGetActiveConsoleSessionId")))
                          : nullptr;
    if (!session)
        return FALSE;
    const DWORD console = session();
    if (console == 0xFFFFFFFFu) // nobody at the console: the box would reach no one
        return FALSE;
    HMODULE wts = ::LoadLibraryA("wtsapi32.dll");
    if (!wts)
        return FALSE;
    auto send = reinterpret_cast<SendMessageFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(wts, "WTSSendMessageA")));
    BOOL sent = FALSE;
    if (send) {
        std::vector<char> title(caption, caption + strlen(caption));
        std::vector<char> message(text.begin(), text.end());
        title.push_back('\0');
        message.push_back('\0');
        DWORD response = 0;
        // bWait FALSE: the call returns at once, whatever the user does.
        sent = send(nullptr /* WTS_CURRENT_SERVER_HANDLE */, console, title.data(),
                    DWORD(title.size() - 1), message.data(), DWORD(message.size() - 1),
                    MB_ICONWARNING, timeoutSeconds, &response, FALSE);
    }
    ::FreeLibrary(wts);
    return sent;
}

// The service control manager from both sides, and the few kernel and user calls
// around it, for the service host (vesprasv) and the installer (vesprasi). One
// function per call, with the semantics of the Win32 call named; each failing call
// leaves its error for LastErrorCode(). Windows: service_calls_win32.cpp. Native
// tests: tests/support/service_calls_fake.cpp, scripted through
// tests/support/fake_services.h.
#pragma once

#include <string>

#include "framework/win32_types.h"

#ifndef _WIN32
#define SERVICE_WIN32_OWN_PROCESS 0x00000010u
#define SERVICE_INTERACTIVE_PROCESS 0x00000100u
#define SERVICE_AUTO_START 0x00000002u
#define SERVICE_ERROR_IGNORE 0x00000000u
#define SERVICE_STOPPED 0x00000001u
#define SERVICE_START_PENDING 0x00000002u
#define SERVICE_STOP_PENDING 0x00000003u
#define SERVICE_RUNNING 0x00000004u
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004u
#define SERVICE_CONTROL_INTERROGATE 0x00000004u
#define SERVICE_CONTROL_SHUTDOWN 0x00000005u
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061L
#define ERROR_SERVICE_NOT_ACTIVE 1062L
#define ERROR_FAILED_SERVICE_CONTROLLER_CONNECT 1063L
#define ERROR_SERVICE_EXISTS 1073L
#define ERROR_PROCESS_ABORTED 1067L
#define ERROR_INVALID_LEVEL 124L
#define ERROR_INVALID_THREAD_ID 1444L
#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_CREATE_SERVICE 0x0002u
#define SERVICE_QUERY_STATUS 0x0004u
#define SERVICE_CHANGE_CONFIG 0x0002u
#define SERVICE_START 0x0010u
#define SERVICE_USER_DEFINED_CONTROL 0x0100u
#define DELETE 0x00010000u
#define WRITE_DAC 0x00040000u
#endif

// The private control code the installer sends and the service host stops on.
constexpr DWORD SERVICE_CONTROL_STOP_SCHEDULER = 222;
// The service's name and display name.
extern const char *const kServiceName; // "Vespra"

// ---- Both programs

// GetLastError() / SetLastError().
DWORD LastErrorCode();
void SetLastErrorCode(DWORD error);
// MessageBoxA(no owner, text, caption, MB_ICONWARNING).
void ShowWarningBox(const std::string &text, const char *caption);

// ---- The service's own side (vesprasv)

// WTSSendMessageA(WTS_CURRENT_SERVER_HANDLE, the active console session, caption,
// text, MB_ICONWARNING, timeoutSeconds, bWait FALSE): the box appears on the user's
// desktop and nobody waits for it. wtsapi32.dll and WTSGetActiveConsoleSessionId
// (kernel32.dll) are looked up at run time. FALSE when either is missing, there is
// no console session, or the call fails.
BOOL SendBoxToConsoleSession(const std::string &text, const char *caption, DWORD timeoutSeconds);

typedef void *ServiceStatusHandle; // SERVICE_STATUS_HANDLE

// SERVICE_STATUS, field by field.
struct ServiceStatusReport {
    DWORD serviceType;
    DWORD currentState;
    DWORD controlsAccepted;
    DWORD win32ExitCode;
    DWORD serviceSpecificExitCode;
    DWORD checkPoint;
    DWORD waitHint;
};

// StartServiceCtrlDispatcherA with the one entry kServiceName -> ServiceMain
// (service/service_host.h) and the terminating empty entry. Returns when the
// service has stopped; FALSE at once when the service manager did not start us.
BOOL RunServiceDispatcher();
// RegisterServiceCtrlHandlerA(kServiceName) with a handler that calls
// ServiceCtrlHandler; nullptr on failure.
ServiceStatusHandle RegisterControlHandler();
// SetServiceStatus.
BOOL SetServiceStatusOf(ServiceStatusHandle handle, const ServiceStatusReport &status);

// CreateEventA(no security, manual reset, not signalled, no name); nullptr on failure.
HANDLE CreateStopEvent();
// SetEvent.
BOOL SignalStopEvent(HANDLE event);
// What ended the service host's wait.
enum class HostWake { Stop, SchedulerEnded, Failed };
// WaitForMultipleObjects({event, process}, any, INFINITE): Stop when the event is
// signalled, also when the process has ended as well (the first handle wins);
// SchedulerEnded when only the process has ended; Failed otherwise.
HostWake WaitForStopOrScheduler(HANDLE event, HANDLE process);
// WaitForSingleObject(handle, timeoutMs): TRUE when the handle is signalled within
// the time; FALSE when the time ran out or the wait failed.
BOOL WaitForHandle(HANDLE handle, DWORD timeoutMs);
// CloseHandle, for the event and the scheduler's process and thread handles.
void CloseHandleOf(HANDLE handle);

// CreateProcessA(application, commandLine, no inherited handles,
// NORMAL_PRIORITY_CLASS, our environment and current directory, a zeroed
// STARTUPINFOA). The process handle, the primary thread's handle and its id are
// handed back.
BOOL LaunchProcess(const std::string &application, const std::string &commandLine,
                   HANDLE &process, HANDLE &thread, DWORD &threadId);
// PostThreadMessageA(threadId, message, 0, 0).
BOOL PostToThread(DWORD threadId, UINT message);

// ---- The service manager's side (vesprasi)

typedef void *ScHandle; // SC_HANDLE

struct ServiceConfig {
    DWORD serviceType;
    DWORD startType;
    DWORD errorControl;
    std::string binaryPath;
};

// Each caller asks only the access its command needs: a standard user holds
// SC_MANAGER_CONNECT and, on our service, SERVICE_START, never more.
// OpenSCManagerA(local machine, "ServicesActive", access).
ScHandle OpenServiceManager(DWORD access);
// CreateServiceA(manager, kServiceName, display name kServiceName, access, the
// configuration, no load-order group, tag or dependencies, LocalSystem).
ScHandle CreateServiceEntry(ScHandle manager, const ServiceConfig &config, DWORD access);
// OpenServiceA(manager, kServiceName, access).
ScHandle OpenServiceEntry(ScHandle manager, DWORD access);
// QueryServiceStatus: the current state.
BOOL QueryServiceState(ScHandle service, DWORD &state);
// StartServiceA with the one argument given.
BOOL StartServiceWith(ScHandle service, const char *argument);
// ControlService(service, control).
BOOL SendServiceControl(ScHandle service, DWORD control);
// DeleteService.
BOOL DeleteServiceEntry(ScHandle service);
// One recovery action of the service manager (SC_ACTION).
constexpr DWORD kScActionRestart = 1; // SC_ACTION_RESTART
struct RecoveryAction {
    DWORD type;
    DWORD delayMs;
};
// ChangeServiceConfig2A(SERVICE_CONFIG_FAILURE_ACTIONS): the actions in order, the
// last one repeated for every further failure, the count of failures reset after
// resetSeconds without one; no reboot message, no command. The handle needs
// SERVICE_CHANGE_CONFIG, and SERVICE_START for a restart action.
BOOL SetRecoveryActions(ScHandle service, DWORD resetSeconds, const RecoveryAction *actions,
                        DWORD count);
// ChangeServiceConfig2A(SERVICE_CONFIG_FAILURE_ACTIONS_FLAG): whether the actions
// also follow a stop that reports an error, not only a crash of the process.
// Windows before Vista has no such level: FALSE with ERROR_INVALID_LEVEL.
BOOL SetRecoveryOnErrorStops(ScHandle service, BOOL enabled);
// SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, the descriptor made
// from sddl); the service handle needs WRITE_DAC. FALSE also when the system can't
// make a descriptor from SDDL: no service is left open for want of one.
BOOL SetServiceDacl(ScHandle service, const char *sddl);
// CloseServiceHandle.
void CloseServiceHandleOf(ScHandle handle);

// Sleep(ms).
void PauseFor(DWORD ms);
// Whether no process holds the named mutex, waiting for it at most timeoutMs:
// TRUE when the mutex does not exist or could be taken (it is released again at
// once), FALSE when it is still held at the end.
BOOL WaitForMutexFree(const char *name, DWORD timeoutMs);

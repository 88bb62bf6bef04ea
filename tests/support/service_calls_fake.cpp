// The native stand-in for the service control manager: scripted answers and a record.
#include <cstdio>

#include "service/service_host.h"
#include "security/permissions.h"
#include "system/service_calls.h"
#include "tests/support/fake_services.h"
#include "tests/support/fake_ui.h"

const char *const kServiceName = "Vespra";

namespace fake {
namespace {
Services g_services;
// Non-null stand-ins for handles; only their being null matters.
HANDLE const kEvent = reinterpret_cast<HANDLE>(0x51);
HANDLE const kThread = reinterpret_cast<HANDLE>(0x52);
// The scheduler started n-th has process handle kProcess + n.
const uintptr_t kProcess = 0x1000;
ScHandle const kManager = reinterpret_cast<ScHandle>(0x61);
ScHandle const kService = reinterpret_cast<ScHandle>(0x62);
} // namespace

Services &Svc() {
    return g_services;
}

void ResetServices() {
    g_services = Services();
    ForgetServiceHostState();
}

void EndScheduler() {
    if (!g_services.schedulers.empty())
        g_services.schedulers.back().ended = true;
}

namespace {
Services::Scheduler *SchedulerOf(HANDLE process) {
    const uintptr_t n = reinterpret_cast<uintptr_t>(process) - kProcess;
    return n < g_services.schedulers.size() ? &g_services.schedulers[n] : nullptr;
}
} // namespace
} // namespace fake

using fake::g_services;
using fake::kEvent;
using fake::kManager;
using fake::kService;
using fake::kThread;
using fake::kProcess;
using fake::SchedulerOf;

namespace {
template <typename T> T Fail(T result) {
    g_services.lastError = g_services.failureError;
    return result;
}
ScHandle Opened(ScHandle h) {
    ++g_services.openHandles;
    return h;
}
// Records the access asked for; false (with ERROR_ACCESS_DENIED) when it exceeds rights.
bool Allowed(const char *what, DWORD access, DWORD rights) {
    char text[40];
    snprintf(text, sizeof text, "%s 0x%lx", what, (unsigned long)access);
    g_services.accessAsked.push_back(text);
    if ((access & ~rights) == 0)
        return true;
    g_services.lastError = ERROR_ACCESS_DENIED;
    return false;
}
} // namespace

DWORD LastErrorCode() {
    return g_services.lastError;
}

void SetLastErrorCode(DWORD error) {
    g_services.lastError = error;
}

void ShowWarningBox(const std::string &text, const char *caption) {
    g_services.boxes.push_back({text, caption});
    g_services.lastError = g_services.errorAfterBox;
}

BOOL SendBoxToConsoleSession(const std::string &text, const char *caption, DWORD timeoutSeconds) {
    if (g_services.consoleBoxFails)
        return Fail(FALSE);
    g_services.consoleBoxes.push_back({text, caption});
    g_services.consoleBoxTimeouts.push_back(timeoutSeconds);
    return TRUE;
}

BOOL RunServiceDispatcher() {
    ++g_services.dispatcherRuns;
    if (g_services.dispatcherFails)
        return Fail(FALSE);
    return TRUE;
}

ServiceStatusHandle RegisterControlHandler() {
    if (g_services.registerFails)
        return Fail<ServiceStatusHandle>(nullptr);
    return reinterpret_cast<ServiceStatusHandle>(0x41);
}

BOOL SetServiceStatusOf(ServiceStatusHandle handle, const ServiceStatusReport &status) {
    if (!handle)
        return Fail(FALSE);
    const bool fails = int(g_services.reports.size()) == g_services.failStatusReport;
    g_services.reports.push_back(status);
    return fails ? Fail(FALSE) : TRUE;
}

HANDLE CreateStopEvent() {
    if (g_services.eventFails)
        return Fail<HANDLE>(nullptr);
    ++g_services.eventsCreated;
    return kEvent;
}

BOOL SignalStopEvent(HANDLE) {
    ++g_services.eventsSignalled;
    g_services.eventSet = true;
    return TRUE;
}

namespace {
void WhileWaiting() {
    ++g_services.waits;
    if (g_services.whileWaiting)
        g_services.whileWaiting();
}
} // namespace

HostWake WaitForStopOrScheduler(HANDLE event, HANDLE process) {
    WhileWaiting();
    if (event == kEvent && g_services.eventSet)
        return HostWake::Stop;
    const fake::Services::Scheduler *scheduler = SchedulerOf(process);
    if (scheduler && scheduler->ended)
        return HostWake::SchedulerEnded;
    // Nothing would ever end this wait: it fails instead of hanging the test.
    return Fail(HostWake::Failed);
}

BOOL WaitForHandle(HANDLE handle, DWORD timeoutMs) {
    if (handle == kEvent) {
        WhileWaiting();
        if (g_services.eventSet)
            return TRUE;
    } else if (const fake::Services::Scheduler *scheduler = SchedulerOf(handle)) {
        if (scheduler->ended)
            return TRUE;
    } else {
        return Fail(FALSE);
    }
    fake::AdvanceClock(long(timeoutMs / 1000));
    return FALSE;
}

void CloseHandleOf(HANDLE handle) {
    if (handle == kEvent)
        ++g_services.eventsClosed;
    else if (handle == kThread)
        ++g_services.threadHandlesClosed;
    else if (fake::Services::Scheduler *scheduler = SchedulerOf(handle))
        scheduler->processClosed = true;
}

BOOL LaunchProcess(const std::string &application, const std::string &commandLine,
                   HANDLE &process, HANDLE &thread, DWORD &threadId) {
    g_services.launches.push_back(application + "|" + commandLine);
    if (g_services.launchFails)
        return Fail(FALSE);
    process = reinterpret_cast<HANDLE>(kProcess + g_services.schedulers.size());
    thread = g_services.nullThread ? nullptr : kThread;
    threadId = g_services.schedulerThreadId + DWORD(g_services.schedulers.size());
    g_services.schedulers.emplace_back();
    return TRUE;
}

BOOL PostToThread(DWORD threadId, UINT message) {
    g_services.posts.emplace_back(threadId, message);
    const size_t n = threadId - g_services.schedulerThreadId;
    // A thread that has ended, or has no message queue yet, takes no message.
    if (n >= g_services.schedulers.size() || g_services.schedulers[n].ended) {
        g_services.lastError = ERROR_INVALID_THREAD_ID;
        return FALSE;
    }
    if (g_services.postFailures > 0) {
        --g_services.postFailures;
        g_services.lastError = ERROR_INVALID_THREAD_ID;
        return FALSE;
    }
    return TRUE;
}

ScHandle OpenServiceManager(DWORD access) {
    g_services.calls.push_back("open manager");
    if (!Allowed("manager", access, g_services.managerRights))
        return nullptr;
    if (g_services.openManagerFails)
        return Fail<ScHandle>(nullptr);
    return Opened(kManager);
}

ScHandle CreateServiceEntry(ScHandle manager, const ServiceConfig &config, DWORD access) {
    g_services.calls.push_back("create");
    Allowed("create", access, 0xFFFFFFFFu);
    if (manager != kManager || g_services.createFails || g_services.installed) {
        g_services.lastError = ERROR_SERVICE_EXISTS;
        return nullptr;
    }
    g_services.installed = true;
    g_services.config = config;
    g_services.state = SERVICE_STOPPED;
    g_services.serviceHandleAccess = access;
    return Opened(kService);
}

ScHandle OpenServiceEntry(ScHandle manager, DWORD access) {
    g_services.calls.push_back("open");
    if (manager == kManager && g_services.installed &&
        !Allowed("service", access, g_services.serviceRights))
        return nullptr;
    if (manager != kManager || !g_services.installed) {
        g_services.lastError = ERROR_SERVICE_DOES_NOT_EXIST;
        return nullptr;
    }
    g_services.serviceHandleAccess = access;
    return Opened(kService);
}

BOOL QueryServiceState(ScHandle service, DWORD &state) {
    g_services.calls.push_back("query");
    if (service != kService || g_services.queryFails)
        return Fail(FALSE);
    if (g_services.state == SERVICE_STOP_PENDING && g_services.queriesUntilStopped >= 0 &&
        g_services.queriesUntilStopped-- == 0)
        g_services.state = SERVICE_STOPPED;
    state = g_services.state;
    return TRUE;
}

BOOL StartServiceWith(ScHandle service, const char *argument) {
    g_services.calls.push_back("start");
    g_services.startArguments.push_back(argument ? argument : "(null)");
    if (service != kService || g_services.startFails)
        return Fail(FALSE);
    g_services.state = SERVICE_START_PENDING;
    return TRUE;
}

BOOL SendServiceControl(ScHandle service, DWORD control) {
    g_services.calls.push_back("control");
    g_services.controls.push_back(control);
    if (service != kService)
        return Fail(FALSE);
    if (g_services.controlError) {
        g_services.lastError = g_services.controlError;
        if (g_services.stateAfterRefusal)
            g_services.state = g_services.stateAfterRefusal;
        return FALSE;
    }
    if (control == SERVICE_CONTROL_STOP_SCHEDULER)
        g_services.state = SERVICE_STOP_PENDING;
    return TRUE;
}

BOOL DeleteServiceEntry(ScHandle service) {
    g_services.calls.push_back("delete");
    if (service != kService || g_services.deleteFails)
        return Fail(FALSE);
    g_services.markedForDeletion = true;
    return TRUE;
}

BOOL SetRecoveryActions(ScHandle service, DWORD resetSeconds, const RecoveryAction *actions,
                        DWORD count) {
    g_services.calls.push_back("set recovery");
    if (service != kService || g_services.recoveryFails)
        return Fail(FALSE);
    // The service manager wants the handle to carry these rights.
    DWORD needed = SERVICE_CHANGE_CONFIG;
    for (DWORD i = 0; i < count; ++i)
        if (actions[i].type == kScActionRestart)
            needed |= SERVICE_START;
    if ((g_services.serviceHandleAccess & needed) != needed) {
        g_services.lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    g_services.recoveryResetSeconds = resetSeconds;
    g_services.recovery.assign(actions, actions + count);
    return TRUE;
}

BOOL SetRecoveryOnErrorStops(ScHandle service, BOOL enabled) {
    g_services.calls.push_back("set recovery flag");
    if (g_services.noRecoveryFlag) {
        g_services.lastError = ERROR_INVALID_LEVEL;
        return FALSE;
    }
    if (service != kService || (g_services.serviceHandleAccess & SERVICE_CHANGE_CONFIG) == 0)
        return Fail(FALSE);
    g_services.recoveryOnErrorStops = enabled != FALSE;
    return TRUE;
}

BOOL SetServiceDacl(ScHandle service, const char *sddl) {
    g_services.calls.push_back("set dacl");
    if (service != kService || g_services.daclFails)
        return Fail(FALSE);
    g_services.dacl = sddl;
    return TRUE;
}

BOOL UsersMayChangeProgram(const std::string &programPath) {
    g_services.programsChecked.push_back(programPath);
    return g_services.programChangeable ? TRUE : FALSE;
}

BOOL SecureProgramFolder(const std::string &folder) {
    g_services.calls.push_back("secure " + folder);
    return g_services.daclFails ? FALSE : TRUE;
}

BOOL UsersMayReplaceFoldersAbove(const std::string &programPath) {
    g_services.programsChecked.push_back("above " + programPath);
    return g_services.folderAboveChangeable ? TRUE : FALSE;
}

void CloseServiceHandleOf(ScHandle) {
    --g_services.openHandles;
}

void PauseFor(DWORD ms) {
    g_services.sleptMs += ms;
}

BOOL WaitForMutexFree(const char *name, DWORD timeoutMs) {
    g_services.mutexWaits.push_back(timeoutMs);
    g_services.mutexNames.push_back(name);
    const int held = g_services.mutexFreeAfterMs;
    return held >= 0 && DWORD(held) <= timeoutMs;
}

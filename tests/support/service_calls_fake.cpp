// The native stand-in for the service control manager: scripted answers and a record.
#include <cstdio>

#include "service/service_host.h"
#include "system/security.h"
#include "system/service_calls.h"
#include "tests/support/fake_services.h"

const char *const kServiceName = "Vespra";

namespace fake {
namespace {
Services g_services;
// Non-null stand-ins for handles; only their being null matters.
HANDLE const kEvent = reinterpret_cast<HANDLE>(0x51);
HANDLE const kThread = reinterpret_cast<HANDLE>(0x52);
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
} // namespace fake

using fake::g_services;
using fake::kEvent;
using fake::kManager;
using fake::kService;
using fake::kThread;

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
    return TRUE;
}

BOOL WaitForStopEvent(HANDLE) {
    const int before = g_services.eventsSignalled;
    if (g_services.whileWaiting)
        g_services.whileWaiting();
    // A wait that would never end fails the test instead of hanging it.
    return g_services.eventsSignalled > before ? TRUE : Fail(FALSE);
}

void CloseHandleOf(HANDLE handle) {
    if (handle == kEvent)
        ++g_services.eventsClosed;
    else if (handle == kThread)
        ++g_services.threadHandlesClosed;
}

BOOL LaunchProcess(const std::string &application, const std::string &commandLine, HANDLE &thread,
                   DWORD &threadId) {
    g_services.launches.push_back(application + "|" + commandLine);
    if (g_services.launchFails)
        return Fail(FALSE);
    thread = g_services.nullThread ? nullptr : kThread;
    threadId = g_services.schedulerThreadId;
    return TRUE;
}

BOOL PostToThread(DWORD threadId, UINT message) {
    g_services.posts.emplace_back(threadId, message);
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

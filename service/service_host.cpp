#include "service/service_host.h"

#include <atomic>
#include <cstdint>

#include "framework/clock.h"
#include "framework/text.h"
#include "settings/policy.h"
#include "system/event_log.h"
#include "system/files.h"
#include "system/log.h"
#include "system/platform_calls.h"
#include "system/registry.h"
#include "system/service_calls.h"
#include "service/restart_limit.h"

namespace {
const char kCaption[] = "VESPRASV.EXE";
const DWORD kNoError = 0;
const DWORD kPlatformWin32Nt = 2; // VER_PLATFORM_WIN32_NT
// How long a box sent to the console session stays up when nobody answers it.
const DWORD kConsoleBoxSeconds = 60;

// Written by ServiceMain before any control can arrive, then only read.
ServiceStatusHandle g_status = nullptr;
// Signalled by the control handler on the dispatcher's thread, waited on, closed
// and forgotten by ServiceMain: atomic, so the handler never sees half a change.
std::atomic<HANDLE> g_stopEvent{nullptr};
// ServiceMain's alone.
HANDLE g_schedulerProcess = nullptr;
HANDLE g_schedulerThread = nullptr;
DWORD g_schedulerThreadId = 0;
ServiceValues g_values = {1, 0, 0};

// The last state reported, with its checkpoint and wait hint, in one word, so that
// the handler answers an interrogation with a whole report of the current state.
std::atomic<uint64_t> g_current{SERVICE_START_PENDING};

uint64_t Pack(DWORD state, DWORD checkPoint, DWORD waitHint) {
    return uint64_t(state & 0xFFFFu) | uint64_t(checkPoint & 0xFFFFu) << 16 |
           uint64_t(waitHint) << 32;
}

DWORD ReadValue(const RegKey &key, const char *name) {
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    // Only a whole 4-byte value counts; anything else reads as missing.
    if (key.QueryValue(name, &type, &value, &size) != ERROR_SUCCESS || size != sizeof value)
        return 0;
    return value;
}

// A box of the running service. From Vista on the service lives in session 0, where
// nobody sees a box and the start would wait on it for ever: there it goes to the
// user at the console, and nobody waits for the answer.
void ShowServiceBox(const std::string &text) {
    DWORD platformId = 0, major = 0;
    if (QueryPlatformVersion(platformId, major) && platformId == kPlatformWin32Nt && major >= 6)
        SendBoxToConsoleSession(text, kCaption, kConsoleBoxSeconds);
    else
        ShowWarningBox(text, kCaption);
}

// A message box may change the last error; the caller's exit code is the failure's.
void ShowKeepingError(const std::string &text) {
    const DWORD error = LastErrorCode();
    ShowServiceBox(text);
    SetLastErrorCode(error);
}

void EndWithLastError() {
    ServiceCleanup(LastErrorCode());
}

void CloseSchedulerHandles() {
    if (g_schedulerThread) {
        CloseHandleOf(g_schedulerThread);
        g_schedulerThread = nullptr;
    }
    if (g_schedulerProcess) {
        CloseHandleOf(g_schedulerProcess);
        g_schedulerProcess = nullptr;
    }
}

// WM_STOP_SCHEDULER to the scheduler's thread. A scheduler started a moment ago (a
// restart that a stop overtook) may have no message queue yet, and the post fails:
// it is tried again while that scheduler lives, for a bounded time.
void PostStopToScheduler() {
    for (DWORD waited = 0; !PostToThread(g_schedulerThreadId, WM_STOP_SCHEDULER) &&
                           waited < kStopPostRetryMs && g_schedulerProcess &&
                           !WaitForHandle(g_schedulerProcess, 0);
         waited += kStopPostPollMs)
        PauseFor(kStopPostPollMs);
}

// The scheduler has ended. Whether the service was asked to stop decides, never the
// order in which the two were seen: a scheduler that ends the service itself (a
// cancel, the action set Off, a restart for new settings) starts vesprasi " /stop"
// or " /restart" and may be gone before control 222 arrives, so the stop event is
// given kStopGraceMs. A stop that arrives later still ends the restarted scheduler.
enum class AfterEnd { Stop, Restart, GiveUp };
AfterEnd DecideAfterSchedulerEnd(HANDLE event, RestartLimit &limit) {
    if (WaitForHandle(event, kStopGraceMs))
        return AfterEnd::Stop;
    return limit.Allow(MonotonicMs()) ? AfterEnd::Restart : AfterEnd::GiveUp;
}
} // namespace

int ServiceProgramMain() {
    if (!RunServiceDispatcher())
        ShowWarningBox("StartServiceCtrlDispatcher() failed\n\nThis program is used by Windows to "
                       "control Vespra. It should not be run manually. If it is run manually, "
                       "errors may occur.",
                       kCaption);
    return 0;
}

std::string SchedulerPathFor(const std::string &hostPath) {
    std::string path = ToLower(hostPath);
    const size_t name = path.find("vesprasv.exe");
    if (name != std::string::npos)
        path = path.substr(0, name) + "vespra.exe";
    return path;
}

bool ReportServiceStatus(DWORD state, DWORD exitCode, DWORD checkPoint, DWORD waitHint) {
    ServiceStatusReport status;
    status.serviceType = SERVICE_WIN32_OWN_PROCESS;
    status.currentState = state;
    status.controlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_SHUTDOWN;
    status.win32ExitCode = exitCode;
    status.serviceSpecificExitCode = 0;
    status.checkPoint = checkPoint;
    status.waitHint = waitHint;
    g_current.store(Pack(state, checkPoint, waitHint));
    return SetServiceStatusOf(g_status, status) != FALSE;
}

bool ReadServiceValues() {
    RegKey key;
    if (key.Open(kSettingsKey, RegAccess::Read) != ERROR_SUCCESS) {
        g_values = {1, 0, 0};
        ShowServiceBox("RegCreateKeyEx() failed");
        return false;
    }
    g_values.status = ReadValue(key, "status");
    g_values.restart = ReadValue(key, "restart");
    g_values.logfile = ReadValue(key, "logfile");
    key.Close();
    // What a policy sets wins, as in the scheduler.
    const StoredSettings policy = ReadPolicyValues();
    PolicyAction(policy, g_values.status, g_values.restart);
    PolicySwitch(policy, "logfile", g_values.logfile);
    return true;
}

bool LaunchMainProgram() {
    const std::string path = SchedulerPathFor(GetProgramPath());
    HANDLE process = nullptr, thread = nullptr;
    DWORD threadId = 0;
    if (!LaunchProcess(path, " /service", process, thread, threadId)) {
        ShowKeepingError("CreateProcess() failed\n\nPath=" + path);
        return false;
    }
    g_schedulerProcess = process;
    g_schedulerThread = thread;
    g_schedulerThreadId = threadId;
    if (!thread) {
        ShowKeepingError("Error: NULL process thread");
        return false;
    }
    return true;
}

void ServiceCleanup(DWORD exitCode) {
    if (g_schedulerThreadId) {
        PostStopToScheduler();
        g_schedulerThreadId = 0;
    }
    if (HANDLE event = g_stopEvent.exchange(nullptr))
        CloseHandleOf(event);
    if (g_status)
        ReportServiceStatus(SERVICE_STOPPED, exitCode, 0, 0);
    CloseSchedulerHandles();
}

void ServiceMain(DWORD argc, char **) {
    g_status = RegisterControlHandler();
    if (!g_status)
        return EndWithLastError();
    ReadServiceValues();
    // No start argument: the service manager started us at system start. With the
    // action Off there is nothing to do, which is no failure: an error code here
    // would have the service manager's recovery start the service again and again.
    if (argc < 2 && g_values.status == 0 && g_values.restart == 0)
        return ServiceCleanup(kNoError);
    if (!ReportServiceStatus(SERVICE_START_PENDING, kNoError, 1, 5000))
        return EndWithLastError();
    HANDLE event = CreateStopEvent();
    if (!event)
        return EndWithLastError();
    g_stopEvent.store(event);
    if (!ReportServiceStatus(SERVICE_START_PENDING, kNoError, 2, 1000) ||
        !ReportServiceStatus(SERVICE_START_PENDING, kNoError, 3, 5000))
        return EndWithLastError();
    if (!LaunchMainProgram())
        return EndWithLastError();
    if (g_values.logfile)
        AppendLogLine("Service controller: Starting service");
    if (!ReportServiceStatus(SERVICE_RUNNING, kNoError, 0, 0))
        return EndWithLastError();
    // The scheduler runs for as long as the service does.
    RestartLimit limit;
    for (;;) {
        const HostWake wake = WaitForStopOrScheduler(event, g_schedulerProcess);
        if (wake == HostWake::Stop)
            break;
        if (wake == HostWake::Failed)
            return EndWithLastError();
        const AfterEnd after = DecideAfterSchedulerEnd(event, limit);
        if (after == AfterEnd::Stop)
            break;
        if (after == AfterEnd::GiveUp) {
            // The code the service manager itself gives a service process that ended
            // unexpectedly; any error code makes its recovery apply (see the
            // installer's failure actions).
            if (g_values.logfile)
                AppendLogLine("Service controller: Scheduler ended unexpectedly too often - "
                              "stopping service");
            return ServiceCleanup(ERROR_PROCESS_ABORTED);
        }
        if (g_values.logfile)
            AppendLogLine("Service controller: Scheduler ended unexpectedly - restarting");
        CloseSchedulerHandles();
        if (!LaunchMainProgram())
            return EndWithLastError();
    }
    if (g_values.logfile)
        AppendLogLine("Service controller: Stopping service");
    ReportServiceStopped();
    ServiceCleanup(kNoError);
}

void ServiceCtrlHandler(DWORD control) {
    switch (control) {
    case SERVICE_CONTROL_SHUTDOWN:
        // The scheduler handles the end of the session itself.
        break;
    case SERVICE_CONTROL_STOP_SCHEDULER:
        ReportServiceStatus(SERVICE_STOP_PENDING, kNoError, 1, 5000);
        if (HANDLE event = g_stopEvent.load())
            SignalStopEvent(event);
        break;
    default: {
        // Interrogation and the rest change nothing; the answer is the current
        // state as last reported (the service manager rejects a state of 0).
        const uint64_t current = g_current.load();
        ReportServiceStatus(DWORD(current & 0xFFFFu), kNoError, DWORD(current >> 16 & 0xFFFFu),
                            DWORD(current >> 32));
        break;
    }
    }
}

void ForgetServiceHostState() {
    g_status = nullptr;
    g_stopEvent.store(nullptr);
    g_schedulerProcess = nullptr;
    g_schedulerThread = nullptr;
    g_schedulerThreadId = 0;
    g_values = {1, 0, 0};
    g_current.store(SERVICE_START_PENDING);
}

ServiceValues CurrentServiceValues() {
    return g_values;
}

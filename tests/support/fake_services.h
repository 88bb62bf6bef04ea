// The native stand-in behind system/service_calls.h: one scripted service "Vespra"
// in a scripted service manager, the service's own status reports and the calls
// around them, and a record of everything asked for.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "system/service_calls.h"

namespace fake {

struct Box {
    std::string text;
    std::string caption;
};

struct Services {
    // ---- Both programs
    DWORD lastError = 0;
    std::vector<Box> boxes;
    // A message box leaves this as the last error, as a real one may.
    DWORD errorAfterBox = 0;

    // ---- The service's own side: answers
    bool dispatcherFails = false;
    bool registerFails = false;
    int failStatusReport = -1; // the index of the report that fails; -1: none
    bool eventFails = false;
    bool launchFails = false;
    bool nullThread = false; // the launch succeeds without a thread handle
    DWORD failureError = 2;  // the last error a failing call leaves
    DWORD schedulerThreadId = 4321; // the first scheduler's; each later one's is one more
    // Runs at each of ServiceMain's waits on its stop event, as the dispatcher's
    // thread would deliver controls then and the scheduler may end. A wait without a
    // time-out that nothing ends fails (a test never hangs); one with a time-out that
    // runs out moves the clock on by it.
    std::function<void()> whileWaiting;
    // Posts to a live scheduler that fail first, as before its message queue exists.
    int postFailures = 0;

    // ---- The service's own side: record
    int dispatcherRuns = 0;
    std::vector<ServiceStatusReport> reports;
    std::vector<std::string> launches; // "application|command line"
    std::vector<std::pair<DWORD, UINT>> posts;
    int eventsCreated = 0, eventsSignalled = 0, eventsClosed = 0;
    bool eventSet = false; // manual reset: signalled stays signalled
    int waits = 0;
    // The schedulers started, in order.
    struct Scheduler {
        bool ended = false;
        bool processClosed = false;
    };
    std::vector<Scheduler> schedulers;
    int threadHandlesClosed = 0;

    // ---- The service manager's side: the one service
    bool installed = false;
    ServiceConfig config{};
    DWORD state = SERVICE_STOPPED;
    bool markedForDeletion = false;
    // After control 222 is accepted the state becomes stop pending, and stopped
    // once it has been queried this many times more; -1: never.
    int queriesUntilStopped = 0;

    // ---- The service manager's side: answers
    bool openManagerFails = false;
    bool createFails = false; // also fails when the service exists
    bool queryFails = false;
    bool startFails = false;
    DWORD controlError = 0;      // ControlService fails with this; 0: succeeds
    DWORD stateAfterRefusal = 0; // the state a refused control leaves; 0: unchanged
    bool deleteFails = false;
    bool recoveryFails = false; // ChangeServiceConfig2A(FAILURE_ACTIONS) fails
    bool noRecoveryFlag = false; // Windows before Vista: no FAILURE_ACTIONS_FLAG level
    bool daclFails = false;         // SetServiceObjectSecurity fails
    bool programChangeable = false; // users may change the service program
    bool folderAboveChangeable = false; // users may replace a folder above it
    int mutexFreeAfterMs = 0; // the scheduler's mutex is held this long; -1: for ever
    // The rights of the caller: an open asking more fails with ERROR_ACCESS_DENIED.
    DWORD managerRights = 0xFFFFFFFFu, serviceRights = 0xFFFFFFFFu;
    bool consoleBoxFails = false; // WTSSendMessageA fails or is missing

    // ---- The service manager's side: record
    std::vector<std::string> calls; // "open manager", "create", "open", "query", ...
    std::vector<std::string> startArguments;
    std::vector<DWORD> controls;
    int openHandles = 0; // opened and not closed
    DWORD serviceHandleAccess = 0; // what the service handle open last was granted
    DWORD sleptMs = 0;
    std::vector<DWORD> mutexWaits; // the time-outs asked for
    std::vector<std::string> mutexNames;
    // The access asked for, as "manager 0x1", "service 0x14", "create 0x4".
    std::vector<std::string> accessAsked;
    std::string dacl; // the SDDL the service was given last
    // The failure actions and their flag as the service manager keeps them.
    DWORD recoveryResetSeconds = 0;
    std::vector<RecoveryAction> recovery;
    bool recoveryOnErrorStops = false;
    std::vector<std::string> programsChecked;
    std::vector<Box> consoleBoxes; // sent to the console session
    std::vector<DWORD> consoleBoxTimeouts;
};

Services &Svc();
void ResetServices();
// The scheduler started last ends by itself (it crashed, or was terminated).
void EndScheduler();

} // namespace fake

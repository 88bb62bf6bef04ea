// The service host, vesprasv.exe: the service "Vespra" that starts the scheduler
// with " /service", starts it again when it ends by itself, and tells it to end
// when the service is stopped.
#pragma once

#include <string>

#include "framework/win32_types.h"

// The scheduler ends its dialog on this thread message (the scheduler's own
// definition is in scheduler/scheduler.h).
constexpr UINT WM_STOP_SCHEDULER = WM_USER + 1;

// After the scheduler has ended, how long the host waits for control 222 before it
// takes the end for an unexpected one: a scheduler that stops the service itself
// starts the installer to send the control and may be gone before it arrives.
const DWORD kStopGraceMs = 10000;
// How long the stop goes on posting WM_STOP_SCHEDULER to a scheduler that has no
// message queue yet, and how often.
const DWORD kStopPostRetryMs = 5000;
const DWORD kStopPostPollMs = 100;

// The program's entry: runs the service dispatcher. Run by hand (the dispatcher
// fails), it says so. Returns 0 either way.
int ServiceProgramMain();

void ServiceMain(DWORD argc, char **argv);
void ServiceCtrlHandler(DWORD control);
bool ReportServiceStatus(DWORD state, DWORD exitCode, DWORD checkPoint, DWORD waitHint);
bool ReadServiceValues();
bool LaunchMainProgram();
void ServiceCleanup(DWORD exitCode);

// The scheduler beside the service host: the host's path in lower case with
// "vesprasv.exe" replaced by "vespra.exe"; unchanged when the name is not in it.
std::string SchedulerPathFor(const std::string &hostPath);

// Tests only: the process-wide state of a fresh process.
void ForgetServiceHostState();
// Tests only: the values ReadServiceValues left.
struct ServiceValues {
    DWORD status;
    DWORD restart;
    DWORD logfile;
};
ServiceValues CurrentServiceValues();

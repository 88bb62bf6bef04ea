// The service host, vesprasv.exe: the service "Vespra" that starts the scheduler
// with " /service" and tells it to end when the service is stopped.
#pragma once

#include <string>

#include "framework/win32_types.h"

// The scheduler ends its dialog on this thread message (the scheduler's own
// definition is in scheduler/vespra_dlg.h).
constexpr UINT WM_STOP_SCHEDULER = WM_USER + 1;

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

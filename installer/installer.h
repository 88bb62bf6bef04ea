// The service installer and controller, vesprasi.exe: installs, starts, stops and
// removes the service "Vespra" (the service host beside it). On Windows 95/98/Me,
// which has no services, stopping terminates the scheduler's processes instead.
#pragma once

#include <string>

namespace installer {

enum class Command { None, Install, Uninstall, Stop, Start, Restart };

// The whole argument text, compared ignoring case and with nothing trimmed.
Command ParseCommand(const std::string &argument);
// "/checkfolder <folder>", the setup's question, answers 1 without a message when
// users may replace a folder above <folder>, else 0.
// Carries out the argument's command, or refuses it with a message. Always 0, the
// program's exit code.
int RunInstaller(const std::string &argument);

// The service's program: the installer's path in lower case with "vesprasi.exe"
// replaced by "vesprasv.exe" (unchanged when the name is not in it), in quotes, so
// that a path with blanks can't run another program. Empty for an empty path.
std::string ServiceImagePath(const std::string &installerPath);

// Asked of the system at each use.
bool IsWindowsNT();
void RemoveRunServicesValue();
// Creates the service (or, installed from this folder before, brings its DACL up
// to date) and registers it for the service manager's recovery and for Safe Mode,
// and the Event Log source "Vespra" with vespra.exe as its message file.
bool InstallService();
bool StartSchedulerService();
// With remove, the service's Safe Mode entries and the Event Log source go with it.
bool StopSchedulerService(bool remove);
// "/restart" between its stop and its start: waits, each wait bounded, until the
// service has stopped and the scheduler it ran has ended (its single-instance mutexes
// are free), so the start finds the service stopped and the new scheduler is the
// only one.
void AwaitServiceStop();

// The bounds of AwaitServiceStop and its polling interval.
const unsigned kStopWaitMs = 15000;
const unsigned kSchedulerEndWaitMs = 10000;
const unsigned kPollMs = 100;

} // namespace installer

// The service installer and controller, vesprasi.exe: installs, starts, stops and
// removes the service "Vespra" (the service host beside it). On Windows 95/98/Me,
// which has no services, stopping terminates the scheduler's processes instead.
#pragma once

#include <string>

namespace installer {

enum class Command { None, Install, Uninstall, Stop, Start, Restart, RemoveSettings };

// The whole argument text, compared ignoring case and with nothing trimmed.
Command ParseCommand(const std::string &argument);
// "/uninstall" also waits, as AwaitServiceStop does, for the scheduler to end, so
// that its programs can be removed right after.
// "/checkfolder <folder>", the setup's question, answers 1 without a message when
// users may replace a folder above <folder>, else 0. "/securefolder <folder>", the
// package's step once its files are there, gives the folder its protected DACL
// unless it is a drive's root or users may replace a folder above it: 0 when it did,
// else 1, without a message.
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
// "/removesettings", run by the MSI package on a removal that is no upgrade, after
// "/uninstall": the settings key (with the password and the run-state values), the
// scheduler's start entries and the Safe Mode entries. Nothing is shown; a value
// that is missing already is no error.
void RemoveSettings();
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

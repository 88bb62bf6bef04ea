// Vespra's entries in the Windows Event Log (Application, source "Vespra"), for an
// administrator: each event has a stable id, a level and its insertion strings; the
// texts are in resources/vespra_events.mc, compiled into vespra.exe's message table.
// Entries are written only where vesprasi.exe /install registered the source (asked
// once a process), whatever the diagnostic log's switch says. The scheduler's events
// are in event_reports.cpp, apart from the service host's, which links only
// event_log.cpp. The raw call is the seam: event_log_win32.cpp on Windows,
// tests/support/event_log_fake.cpp natively.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "framework/win32_types.h"

// The source's registration under HKEY_LOCAL_MACHINE: EventMessageFile (vespra.exe)
// and TypesSupported.
inline constexpr char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Vespra";
constexpr DWORD kEventTypesSupported = 7; // error, warning, information

// The message ids, as the message table has them: the severity in the top two bits,
// the event number (what Event Viewer shows) in the low word.
namespace event_id {
constexpr DWORD kText = 0x00000000;              // the text alone
constexpr DWORD kSchedulerStarted = 0x400003E8;  // 1000
constexpr DWORD kUserCancelled = 0x400003E9;     // 1001
constexpr DWORD kWrongPassword = 0x800003EA;     // 1002
constexpr DWORD kClockChanged = 0x800003EB;      // 1003
constexpr DWORD kTimeZoneChanged = 0x400003EC;   // 1004
constexpr DWORD kShutdownRequested = 0x400003ED; // 1005
constexpr DWORD kShutdownFailed = 0xC00003EE;    // 1006
constexpr DWORD kSettingsChanged = 0x400003EF;   // 1007
constexpr DWORD kAgentNotStarted = 0xC00003F0;   // 1008
constexpr DWORD kServiceStopped = 0x400003F1;    // 1009
} // namespace event_id

// ReportEventA's types.
constexpr WORD kEventError = 0x0001;       // EVENTLOG_ERROR_TYPE
constexpr WORD kEventWarning = 0x0002;     // EVENTLOG_WARNING_TYPE
constexpr WORD kEventInformation = 0x0004; // EVENTLOG_INFORMATION_TYPE

struct EventEntry {
    DWORD id = 0;
    WORD type = 0;
    std::vector<std::string> inserts;
};

enum class NextAction { ShutDown, Restart, Off };
enum class PasswordPlace { Cancel, Settings };
enum class SettingsSource { Dialog, IniFile, Policy };

// The scheduler began to schedule: in session 0 (shown by its agent on the user's
// desktop) or on the user's desktop itself; the next action and when, as the
// scheduler words it ("tonight at 11:00 PM").
void ReportSchedulerStarted(bool sessionZero, NextAction action, const std::string &when);
void ReportUserCancelled(const std::string &user, DWORD sessionId);
void ReportWrongPassword(PasswordPlace place);
// The clock stood at found where the scheduler's own time said expected.
void ReportClockChanged(time_t expected, time_t found);
void ReportTimeZoneChanged(const std::string &from, const std::string &to,
                           const std::string &scheduleZone);
void ReportShutdownRequested(bool restart, bool forced);
void ReportShutdownFailed(bool restart, bool forced, DWORD error);
void ReportSettingsChanged(SettingsSource source);
void ReportAgentNotStarted(DWORD sessionId, DWORD error);
void ReportServiceStopped();

// One entry, where the source is registered.
void WriteEvent(DWORD id, WORD type, std::vector<std::string> inserts);
// Whether the source is registered: asked of the registry at the first call in a
// process and kept.
bool EventSourceRegistered();
// Tests only: forgets that answer, as a fresh process would.
void ForgetEventSource();

// Seam: ReportEventA under the source "Vespra", registered once (lazily) and kept
// for the life of the process.
void WriteEventEntry(const EventEntry &entry);

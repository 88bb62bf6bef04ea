#include "system/event_log.h"

#include "framework/datetime.h"
#include "framework/text.h"
#include "system/registry.h"

// The Windows build compiles the message table's header from the same .mc file: an id
// here that differs from the table's would have Event Viewer show no text.
#ifdef VESPRA_EVENT_MESSAGES
#include "vespra_events.h"
static_assert(event_id::kText == VESPRA_EVENT_TEXT, "message table");
static_assert(event_id::kSchedulerStarted == VESPRA_EVENT_STARTED, "message table");
static_assert(event_id::kUserCancelled == VESPRA_EVENT_CANCELLED, "message table");
static_assert(event_id::kWrongPassword == VESPRA_EVENT_WRONG_PASSWORD, "message table");
static_assert(event_id::kClockChanged == VESPRA_EVENT_CLOCK_CHANGED, "message table");
static_assert(event_id::kTimeZoneChanged == VESPRA_EVENT_TIME_ZONE_CHANGED, "message table");
static_assert(event_id::kShutdownRequested == VESPRA_EVENT_SHUTDOWN_REQUESTED, "message table");
static_assert(event_id::kShutdownFailed == VESPRA_EVENT_SHUTDOWN_FAILED, "message table");
static_assert(event_id::kSettingsChanged == VESPRA_EVENT_SETTINGS_CHANGED, "message table");
static_assert(event_id::kAgentNotStarted == VESPRA_EVENT_AGENT_NOT_STARTED, "message table");
static_assert(event_id::kServiceStopped == VESPRA_EVENT_SERVICE_STOPPED, "message table");
#endif

const char *const kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Vespra";

namespace {
// -1: not asked yet in this process.
int g_registered = -1;

void Write(DWORD id, WORD type, std::vector<std::string> inserts) {
    if (!EventSourceRegistered())
        return;
    EventEntry entry;
    entry.id = id;
    entry.type = type;
    entry.inserts = std::move(inserts);
    WriteEventEntry(entry);
}

const char *ActionText(bool restart) {
    return restart ? "restart" : "shut down";
}
const char *KindText(bool forced) {
    return forced ? "forced" : "polite";
}

std::string LocalText(time_t t) {
    const struct tm local = CTime(t).GetLocalTm();
    return StrFormat("%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                     local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}
} // namespace

bool EventSourceRegistered() {
    if (g_registered < 0) {
        RegKey key;
        g_registered = key.Open(kEventSourceKey, RegAccess::Read) == ERROR_SUCCESS ? 1 : 0;
    }
    return g_registered == 1;
}

void ForgetEventSource() {
    g_registered = -1;
}

void ReportSchedulerStarted(bool sessionZero, NextAction action, const std::string &when) {
    const char *const actions[] = {"shut down", "restart", "off"};
    Write(
        event_id::kSchedulerStarted, kEventInformation,
        {sessionZero ? "session 0, shown on the user's desktop by its agent" : "the user's desktop",
         actions[int(action)], action == NextAction::Off ? "none" : when});
}

void ReportUserCancelled(const std::string &user, DWORD sessionId) {
    Write(event_id::kUserCancelled, kEventInformation,
          {user.empty() ? "(unknown)" : user, std::to_string(sessionId)});
}

void ReportWrongPassword(PasswordPlace place) {
    Write(event_id::kWrongPassword, kEventWarning,
          {place == PasswordPlace::Cancel ? "cancel the scheduled action" : "open the settings"});
}

void ReportClockChanged(time_t expected, time_t found) {
    const long long seconds = static_cast<long long>(found) - static_cast<long long>(expected);
    Write(event_id::kClockChanged, kEventWarning,
          {LocalText(expected), LocalText(found), StrFormat("%+lld", seconds)});
}

void ReportTimeZoneChanged(const std::string &from, const std::string &to,
                           const std::string &scheduleZone) {
    Write(event_id::kTimeZoneChanged, kEventInformation, {from, to, scheduleZone});
}

void ReportShutdownRequested(bool restart, bool forced) {
    Write(event_id::kShutdownRequested, kEventInformation, {ActionText(restart), KindText(forced)});
}

void ReportShutdownFailed(bool restart, bool forced, DWORD error) {
    Write(event_id::kShutdownFailed, kEventError,
          {ActionText(restart), KindText(forced), std::to_string(error)});
}

void ReportSettingsChanged(SettingsSource source) {
    const char *const sources[] = {"the settings dialog", "the INI file", "Group Policy"};
    Write(event_id::kSettingsChanged, kEventInformation, {sources[int(source)]});
}

void ReportAgentNotStarted(DWORD sessionId, DWORD error) {
    Write(event_id::kAgentNotStarted, kEventError,
          {std::to_string(sessionId), std::to_string(error)});
}

void ReportServiceStopped() {
    Write(event_id::kServiceStopped, kEventInformation, {});
}

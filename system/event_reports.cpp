// The scheduler's events; the service host's, and the writing, are in event_log.cpp.
#include "system/event_log.h"

#include "framework/datetime.h"
#include "framework/text.h"

namespace {
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

void ReportSchedulerStarted(bool sessionZero, NextAction action, const std::string &when) {
    const char *const actions[] = {"shut down", "restart", "off"};
    WriteEvent(
        event_id::kSchedulerStarted, kEventInformation,
        {sessionZero ? "session 0, shown on the user's desktop by its agent" : "the user's desktop",
         actions[int(action)], action == NextAction::Off ? "none" : when});
}

void ReportUserCancelled(const std::string &user, DWORD sessionId) {
    WriteEvent(event_id::kUserCancelled, kEventInformation,
               {user.empty() ? "(unknown)" : user, std::to_string(sessionId)});
}

void ReportWrongPassword(PasswordPlace place) {
    WriteEvent(
        event_id::kWrongPassword, kEventWarning,
        {place == PasswordPlace::Cancel ? "cancel the scheduled action" : "open the settings"});
}

void ReportClockChanged(time_t expected, time_t found) {
    const long long seconds = static_cast<long long>(found) - static_cast<long long>(expected);
    WriteEvent(event_id::kClockChanged, kEventWarning,
               {LocalText(expected), LocalText(found), StrFormat("%+lld", seconds)});
}

void ReportTimeZoneChanged(const std::string &from, const std::string &to,
                           const std::string &scheduleZone) {
    WriteEvent(event_id::kTimeZoneChanged, kEventInformation, {from, to, scheduleZone});
}

void ReportShutdownRequested(bool restart, bool forced) {
    WriteEvent(event_id::kShutdownRequested, kEventInformation,
               {ActionText(restart), KindText(forced)});
}

void ReportShutdownFailed(bool restart, bool forced, DWORD error) {
    WriteEvent(event_id::kShutdownFailed, kEventError,
               {ActionText(restart), KindText(forced), std::to_string(error)});
}

void ReportSettingsChanged(SettingsSource source) {
    const char *const sources[] = {"the settings dialog", "the INI file", "Group Policy"};
    WriteEvent(event_id::kSettingsChanged, kEventInformation, {sources[int(source)]});
}

void ReportAgentNotStarted(DWORD sessionId, DWORD error) {
    WriteEvent(event_id::kAgentNotStarted, kEventError,
               {std::to_string(sessionId), std::to_string(error)});
}

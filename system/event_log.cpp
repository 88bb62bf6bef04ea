#include "system/event_log.h"

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

namespace {
// -1: not asked yet in this process.
int g_registered = -1;
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

void WriteEvent(DWORD id, WORD type, std::vector<std::string> inserts) {
    if (!EventSourceRegistered())
        return;
    EventEntry entry;
    entry.id = id;
    entry.type = type;
    entry.inserts = std::move(inserts);
    WriteEventEntry(entry);
}

void ReportServiceStopped() {
    WriteEvent(event_id::kServiceStopped, kEventInformation, {});
}

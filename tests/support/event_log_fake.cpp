// The stand-in behind WriteEventEntry: what ReportEventA would have been given, kept
// in fake::Plat().events.
#include "system/event_log.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"

void WriteEventEntry(const EventEntry &entry) {
    fake::Plat().events.push_back(entry);
}

void fake::UseEventLog() {
    PutString(kEventSourceKey, "EventMessageFile", "C:\\Vespra\\vespra.exe");
}

std::vector<std::vector<std::string>> fake::Reported(DWORD id) {
    std::vector<std::vector<std::string>> out;
    for (const EventEntry &e : Plat().events)
        if (e.id == id)
            out.push_back(e.inserts);
    return out;
}

#include "system/event_log.h"

namespace {
// Opened at the first entry and kept: a process writes few entries, and Windows
// closes the handle with the process.
HANDLE g_source = nullptr;
// More than any event has.
const size_t kMostInserts = 8;
} // namespace

void WriteEventEntry(const EventEntry &entry) {
    if (!g_source)
        g_source = ::RegisterEventSourceA(nullptr, "Vespra");
    if (!g_source)
        return;
    LPCSTR strings[kMostInserts] = {};
    WORD count = 0;
    for (const std::string &s : entry.inserts)
        if (count < kMostInserts)
            strings[count++] = s.c_str();
    ::ReportEventA(g_source, entry.type, 0, entry.id, nullptr, count, 0, count ? strings : nullptr,
                   nullptr);
}

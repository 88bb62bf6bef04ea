// The Event Log entries: each event's id, level and insertion strings, checked against
// the message file the Windows build compiles into vespra.exe; and the source's
// registration, asked once a process.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include "framework/text.h"
#include "tests/support/fake_all.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_registry.h"

namespace {

TEST(EventLog, EachEventHasItsIdLevelAndInsertsWhereTheSourceIsRegistered) {
    // The message file: how many %n each message inserts, by "<id> <type>", the id with
    // its severity bits and the type that severity stands for.
    std::ifstream in(std::string(VESPRA_SOURCE_DIR) + "/resources/vespra_events.mc");
    const std::string mc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::regex message(
        "MessageId=(\\d+)\nSeverity=(\\w+)\n[\\s\\S]*?Language=English\n([\\s\\S]*?)\n\\.\n");
    const std::map<std::string, unsigned> severity = {
        {"Success", 0}, {"Informational", 1}, {"Warning", 2}, {"Error", 3}};
    std::map<std::string, size_t> inserts;
    for (std::sregex_iterator m(mc.begin(), mc.end(), message), end; m != end; ++m) {
        const unsigned s = severity.at((*m)[2]), types[] = {4, 4, 2, 1};
        const std::string text = (*m)[3];
        inserts[StrFormat("%08X %u", s << 30 | unsigned(std::stoul((*m)[1])), types[s])] =
            size_t(std::count(text.begin(), text.end(), '%'));
    }
    ASSERT_EQ(11u, inserts.size()) << "the message file was not read";
    EXPECT_EQ(1u, inserts.at("00000000 4")) << "the log file's warning: its text alone";

    fake::ResetAll();
    fake::UseEventLog();
    setenv("TZ", "UTC0", 1); // as every scheduler test, it sets its own zone
    tzset();
    static const time_t noon = 1796731200; // 2026-12-08 12:00:00
    const std::pair<void (*)(), std::string> cases[] = {
        {[] { ReportSchedulerStarted(true, NextAction::ShutDown, "tonight at 11:00 PM"); },
         "400003E8 4 session 0, shown on the user's desktop by its agent|shut down|tonight at "
         "11:00 PM"},
        {[] { ReportSchedulerStarted(false, NextAction::Off, ""); },
         "400003E8 4 the user's desktop|off|none"},
        {[] { ReportUserCancelled("anna", 2); }, "400003E9 4 anna|2"},
        {[] { ReportUserCancelled("", 1); }, "400003E9 4 (unknown)|1"},
        {[] { ReportWrongPassword(PasswordPlace::Cancel); },
         "800003EA 2 cancel the scheduled action"},
        {[] { ReportWrongPassword(PasswordPlace::Settings); }, "800003EA 2 open the settings"},
        {[] { ReportClockChanged(noon, noon - 3600); },
         "800003EB 2 2026-12-08 12:00:00|2026-12-08 11:00:00|-3600"},
        {[] { ReportTimeZoneChanged("Europe/Berlin", "Asia/Tokyo", "Europe/Berlin"); },
         "400003EC 4 Europe/Berlin|Asia/Tokyo|Europe/Berlin"},
        {[] { ReportShutdownRequested(true, true); }, "400003ED 4 restart|forced"},
        {[] { ReportShutdownFailed(false, false, 1190); }, "C00003EE 1 shut down|polite|1190"},
        {[] { ReportSettingsChanged(SettingsSource::Dialog); }, "400003EF 4 the settings dialog"},
        {[] { ReportSettingsChanged(SettingsSource::IniFile); }, "400003EF 4 the INI file"},
        {[] { ReportSettingsChanged(SettingsSource::Policy); }, "400003EF 4 Group Policy"},
        {[] { ReportAgentNotStarted(3, 1314); }, "C00003F0 1 3|1314"},
        {[] { ReportServiceStopped(); }, "400003F1 4 "},
    };
    for (const auto &c : cases) {
        fake::Plat().events.clear();
        c.first();
        ASSERT_EQ(1u, fake::Plat().events.size()) << c.second;
        const EventEntry &e = fake::Plat().events[0];
        const std::string key = StrFormat("%08X %u", unsigned(e.id), unsigned(e.type));
        std::string strings;
        for (const std::string &s : e.inserts)
            strings += (&s == &e.inserts[0] ? "" : "|") + s;
        EXPECT_EQ(c.second, key + " " + strings);
        // Event Viewer's text: that id's message, its severity the level, and no insert
        // missing or left over.
        EXPECT_EQ(inserts.count(key) ? inserts.at(key) : 99u, e.inserts.size()) << key;
    }

    // Registered or removed after the first entry of a process: from the next start.
    for (const bool registered : {false, true}) {
        fake::ResetAll();
        if (registered)
            fake::UseEventLog();
        ReportServiceStopped();
        registered ? fake::ResetRegistry() : fake::UseEventLog();
        ReportServiceStopped();
        EXPECT_EQ(registered ? 2u : 0u, fake::Plat().events.size()) << registered;
    }
}

} // namespace

// Scripted answers of the small platform calls: the locale, the single-instance
// mutex, the input desktop behind the log-on probe and the machine's time zone.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "framework/win32_types.h"
#include "system/os.h"

namespace fake {

struct Os {
    std::map<DWORD, std::string> locale = {
        {LOCALE_STIME, ":"}, {LOCALE_S1159, "AM"}, {LOCALE_S2359, "PM"}, {LOCALE_ITIME, "0"}};
    bool localeFails = false;
    int localeCalls = 0;
    bool mutexExists = false;   // another instance holds "Vespra"
    bool mutexFails = false;    // CreateMutexA returns no handle
    bool mutexSecured = false; // what the last creation asked for
    int mutexCreations = 0;
    // Answers by name, before the two switches above ("Global\\Vespra" is new
    // unless given here); and the names asked for, in order.
    std::map<std::string, MutexOutcome> mutexAnswers;
    std::vector<std::string> mutexNames;
    // The input desktop: by default an NT machine with a user logged on.
    std::string inputDesktop = "Default";
    bool inputDesktopFails = false; // OpenInputDesktop or reading its name fails
    int inputDesktopReads = 0;
    // The machine's zone by its key name (the tests' TZ is America/New_York); empty:
    // neither call gives a name.
    std::string timeZone = "Eastern Standard Time";
};

Os &OsState();
void ResetOs();

} // namespace fake

// The native stand-in behind system/platform_calls.h: scripted answers for the
// version query, the process token and process creation, and a record of what the
// program asked for.
#pragma once

#include <string>
#include <vector>

#include "framework/win32_types.h"
#include "system/event_log.h"
#include "security/permissions.h"

namespace fake {

struct ProcessStart {
    std::string application;
    std::string commandLine;
};

struct BeepCall {
    bool messageBeep; // MessageBeep rather than Beep
    DWORD frequency;  // Beep
    DWORD duration;   // Beep
    UINT type;        // MessageBeep
};

struct Platform {
    // Answers. The default is an NT-family system on which every call succeeds.
    DWORD platformId = 2; // VER_PLATFORM_WIN32_NT; 1 = Windows 95/98/Me
    DWORD majorVersion = 5; // 5: 2000/XP, 6 and later: Vista on
    bool versionQueryFails = false;
    bool openTokenFails = false;
    bool startFails = false;
    DWORD startError = 2; // GetLastError after a failed start
    bool settingsWritable = true;
    bool elevationTried = false;
    DWORD relaunchError = 0; // what the re-launch as administrator answers
    bool on64BitWindows = false;
    bool passwordCryptoMissing = false; // no bcrypt.dll, or no PBKDF2 in it

    // Record.
    int versionQueries = 0;
    std::vector<std::string> privilegesEnabled;
    std::vector<DWORD> registerServiceProcessCalls; // the type argument
    std::vector<ProcessStart> starts;               // also the failed attempts
    std::vector<BeepCall> beeps;
    std::vector<UINT> exitWindowsCalls; // the flags of each ExitWindowsEx request
    std::vector<std::string> relaunches; // the parameters of each re-launch asked for
    unsigned randomDraws = 0;            // RandomBytes calls: each salt is new

    std::string logFile; // the diagnostic log's path; empty: no log file can be opened
    bool runningAsSystem = false;
    // The log file's owner and DACL as Windows keeps them: a file made by the log
    // gets kLogFileSddl's; one made otherwise has what it inherits from C:\, where
    // authenticated users may modify what they make (the default here).
    ObjectSecurity logSecurity = InheritedFromTheRoot();
    bool logSecurityReadFails = false;
    std::vector<std::string> eventReports; // ReportEventA texts
    std::vector<EventEntry> events;        // Vespra's own events (system/event_log.h)

    static ObjectSecurity InheritedFromTheRoot();
};

Platform &Plat();
// A fresh stand-in; also forgets the platform family and the log and beep switches
// that the program caches per process, and removes a log file made by UseTempLogFile.
void ResetPlatform();

// Registers the Event Log source, as the installer does, so that events are written.
void UseEventLog();
// The insertion strings of each event of this id reported so far.
std::vector<std::vector<std::string>> Reported(DWORD id);

// Points the diagnostic log at a new empty temporary file and returns its path.
std::string UseTempLogFile();
// The log file's lines, each without its line end.
std::vector<std::string> LogLines();

} // namespace fake

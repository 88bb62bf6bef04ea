// The log file itself: made with a DACL of its own and never opened through a link,
// so that neither a user's edit nor a link a user made first bends what the system
// writes. Windows: log_file_win32.cpp. Native tests: tests/support/log_file_fake.cpp,
// POSIX calls on a real file, with the file's owner and DACL and the process's
// account kept in fake::Plat().
#pragma once

#include <string>

#include "framework/win32_types.h"
#include "security/permissions.h"

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // CreateFileA with OPEN_ALWAYS, FILE_APPEND_DATA and READ_CONTROL (and WRITE_DAC
    // and WRITE_OWNER when forSecuring), FILE_FLAG_OPEN_REPARSE_POINT; a file made
    // here gets kLogFileSddl. What is not a plain file (a folder, a link or junction,
    // a file with a second name, a file that a followed link led to) is refused and
    // closed again. False then, and error receives why.
    bool Open(const std::string &path, bool forSecuring, DWORD &error);
    // Its owner and DACL; false when they can't be read.
    bool ReadSecurity(ObjectSecurity &out) const;
    // Gives it the owner and DACL of kLogFileSddl.
    bool Secure();
    // One write at the end of the file; each line feed is written as CR LF on
    // Windows, as the runtime's text mode did.
    bool Append(const std::string &text);

private:
    void *m_file = nullptr;
    bool m_open = false;
};

// Whether this process runs as LocalSystem (the service and its scheduler).
bool RunningAsSystem();
// ReportEventA under the source "Vespra", a warning with this text, where the
// system has an event log (advapi32 looked up at run time); nothing elsewhere.
void ReportToEventLog(const std::string &text);

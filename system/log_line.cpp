#include <cstring>

#include "framework/datetime.h"
#include "framework/text.h"
#include "system/log.h"
#include "system/log_file.h"
#include "system/platform_calls.h"

namespace {
// Once a process: the file's security is looked at, and a log that can't be opened
// reported.
bool g_securityChecked = false;
bool g_failureReported = false;

std::string Prefix() {
    const CTime now = CTime::GetCurrentTime();
    return StrFormat("%02d/%02d/%02d %02d:%02d:%02d: ", now.GetMonth(), now.GetDay(),
                     now.GetYear() % 100, now.GetHour(), now.GetMinute(), now.GetSecond());
}
} // namespace

void AppendLogLine(const std::string &text) {
    // One open, append and close per line, so the scheduler's and the service host's
    // lines interleave in writing order.
    const std::string path = LogFilePath();
    const bool system = RunningAsSystem();
    LogFile file;
    DWORD error = 0;
    if (!file.Open(path, system && !g_securityChecked, error)) {
        // The log is best-effort: the caller goes on, and the event log, where there
        // is one, says once why the file stays empty.
        if (!g_failureReported) {
            g_failureReported = true;
            ReportToEventLog("Vespra can't write its log file " + path + " - error " +
                             std::to_string(error));
        }
        return;
    }
    // A log users may edit, or one a user made first, is of no use to the one who
    // reads it: the system takes it back.
    if (system && !g_securityChecked) {
        g_securityChecked = true;
        ObjectSecurity security;
        if (file.ReadSecurity(security) && LetsUsersChange(security) && file.Secure())
            file.Append(Prefix() + "Log file secured\n");
    }
    const char *body = text.c_str();
    const size_t length = strlen(body);
    std::string line = Prefix() + body;
    if (length == 0 || body[length - 1] != '\n')
        line += '\n';
    file.Append(line);
}

void ForgetLogFileChecks() {
    g_securityChecked = false;
    g_failureReported = false;
}

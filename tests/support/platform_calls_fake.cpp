// The native stand-in for the platform calls: scripted answers and a record.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "system/log.h"
#include "system/platform.h"
#include "system/platform_calls.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_session.h"

namespace fake {

namespace {
Platform g_platform;

struct TempLog {
    std::string path;
    void Remove() {
        if (!path.empty())
            unlink(path.c_str());
        path.clear();
    }
    ~TempLog() { Remove(); }
};
TempLog g_tempLog;
} // namespace

Platform &Plat() {
    return g_platform;
}

void ResetPlatform() {
    g_platform = Platform();
    g_tempLog.Remove();
    ForgetPlatformFamily();
    ForgetLogSwitches();
    ForgetLogFileChecks();
    ForgetEventSource();
}

std::string UseTempLogFile() {
    g_tempLog.Remove();
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vespra-log-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = mkstemp(buf.data());
    if (fd < 0)
        return std::string();
    close(fd);
    g_tempLog.path = buf.data();
    g_platform.logFile = g_tempLog.path;
    return g_tempLog.path;
}

std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    std::ifstream in(g_platform.logFile, std::ios::binary);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

} // namespace fake

using fake::g_platform;

BOOL QueryPlatformVersion(DWORD &platformId, DWORD &majorVersion) {
    ++g_platform.versionQueries;
    if (g_platform.versionQueryFails)
        return FALSE;
    platformId = g_platform.platformId;
    majorVersion = g_platform.majorVersion;
    return TRUE;
}

BOOL QueryPlatformId(DWORD &platformId) {
    DWORD major = 0;
    return QueryPlatformVersion(platformId, major);
}

BOOL EnableTokenPrivilege(const char *privilege) {
    if (g_platform.openTokenFails)
        return FALSE;
    g_platform.privilegesEnabled.emplace_back(privilege);
    return TRUE;
}

BOOL CallRegisterServiceProcess(DWORD type) {
    g_platform.registerServiceProcessCalls.push_back(type);
    return TRUE;
}

BOOL StartProcess(const std::string &application, const std::string &commandLine, DWORD &error) {
    g_platform.starts.push_back({application, commandLine});
    if (g_platform.startFails) {
        error = g_platform.startError;
        return FALSE;
    }
    return TRUE;
}

BOOL PlayBeep(DWORD frequency, DWORD duration) {
    g_platform.beeps.push_back({false, frequency, duration, 0});
    return TRUE;
}

BOOL PlayMessageBeep(UINT type) {
    g_platform.beeps.push_back({true, 0, 0, type});
    return TRUE;
}

BOOL RequestExitWindows(UINT flags, DWORD *error) {
    g_platform.exitWindowsCalls.push_back(flags);
    if (!(flags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF))) { // EWX_LOGOFF is 0
        fake::Sess().heldUp = false; // the programs that held a shut-down up end
        return TRUE;
    }
    const DWORD refused = fake::PendingShutdownError();
    if (refused && error)
        *error = refused;
    return refused == 0;
}

bool CanWriteSettingsKey() {
    return g_platform.settingsWritable;
}

bool ElevationAlreadyTried() {
    return g_platform.elevationTried;
}

DWORD RelaunchAsAdministrator(const std::string &parameters) {
    g_platform.relaunches.push_back(parameters);
    return g_platform.relaunchError;
}

bool RunsOn64BitWindows() {
    return g_platform.on64BitWindows;
}

std::string LogFilePath() {
    return g_platform.logFile;
}

#include "system/log.h"

#include <cstdio>
#include <cstring>

#include "framework/datetime.h"
#include "framework/text.h"
#include "settings/run_state.h"
#include "system/platform.h"
#include "system/platform_calls.h"

namespace {
// -1: not read yet in this process.
int g_logSwitch = -1;
int g_beepSwitch = -1;

bool SwitchOn(int &cached, const char *name) {
    if (cached < 0)
        cached = ReadStatusValue(name) != 0 ? 1 : 0;
    return cached != 0;
}
} // namespace

void WriteLog(const std::string &text) {
    if (!SwitchOn(g_logSwitch, "logfile"))
        return;
    // Text mode: the line feed becomes CR LF on Windows. One open, append and close
    // per line, so the service host's lines interleave with ours in writing order.
    FILE *file = fopen(LogFilePath().c_str(), "a+");
    if (!file)
        return;
    const CTime now = CTime::GetCurrentTime();
    const std::string date =
        StrFormat("%02d/%02d/%02d", now.GetMonth(), now.GetDay(), now.GetYear() % 100);
    const std::string time =
        StrFormat("%02d:%02d:%02d", now.GetHour(), now.GetMinute(), now.GetSecond());
    const char *body = text.c_str();
    const size_t length = strlen(body);
    fprintf(file, "%s %s: %s", date.c_str(), time.c_str(), body);
    if (length == 0 || body[length - 1] != '\n')
        fputc('\n', file);
    fclose(file);
}

void TimerBeep() {
    if (!SwitchOn(g_beepSwitch, "beep"))
        return;
    if (IsWindowsNT())
        PlayBeep(400, 100);
    else
        PlayMessageBeep(MB_ICONASTERISK);
}

void ForgetLogSwitches() {
    g_logSwitch = -1;
    g_beepSwitch = -1;
}

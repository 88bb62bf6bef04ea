#include "system/log.h"

#include "settings/policy.h"
#include "settings/run_state.h"
#include "system/platform.h"
#include "system/platform_calls.h"

namespace {
// -1: not read yet in this process.
int g_logSwitch = -1;
int g_beepSwitch = -1;

// A policy's switch wins over the stored one.
bool SwitchOn(int &cached, const char *name) {
    if (cached < 0) {
        DWORD managed = 0;
        cached = PolicySwitch(ReadPolicyValues(), name, managed) ? int(managed)
                 : ReadStatusValue(name) != 0                     ? 1
                                                                  : 0;
    }
    return cached != 0;
}
} // namespace

void WriteLog(const std::string &text) {
    if (!SwitchOn(g_logSwitch, "logfile"))
        return;
    AppendLogLine(text);
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

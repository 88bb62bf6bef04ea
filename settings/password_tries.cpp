#include "settings/password_tries.h"

#include "settings/run_state.h"

namespace {
const char kCountValue[] = "lock_wrong";
const char kTimeValue[] = "lock_wrongtime";
} // namespace

DWORD PasswordWaitSeconds(const PasswordTries &tries, DWORD now) {
    if (tries.count < 3)
        return 0;
    DWORD wait = kMaxPasswordWaitSeconds;
    if (tries.count - 3 < 8)
        wait = DWORD(2u << (tries.count - 3)); // 2, 4, ... 256
    if (wait > kMaxPasswordWaitSeconds)
        wait = kMaxPasswordWaitSeconds;
    const DWORD passed = now > tries.lastWrong ? now - tries.lastWrong : 0;
    return passed >= wait ? 0 : wait - passed;
}

PasswordTries ReadPasswordTries() {
    PasswordTries tries;
    tries.count = ReadStatusValue(kCountValue);
    tries.lastWrong = ReadStatusValue(kTimeValue);
    return tries;
}

void WritePasswordTries(const PasswordTries &tries) {
    WriteStatusValue(kTimeValue, tries.lastWrong);
    WriteStatusValue(kCountValue, tries.count);
}

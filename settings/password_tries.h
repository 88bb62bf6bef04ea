// Wrong passwords in a row, kept beside the settings (HKLM\SOFTWARE\Vespra, which
// users may only read) so that neither a restart nor a log-off starts the count
// afresh: a script that drives the prompt must wait longer after each wrong guess.
#pragma once

#include "framework/win32_types.h"

struct PasswordTries {
    DWORD count = 0;     // wrong passwords in a row
    DWORD lastWrong = 0; // when the last one was typed, seconds since 1970 (UTC)
};

// The longest wait before a try, in seconds.
constexpr DWORD kMaxPasswordWaitSeconds = 300;

// How many seconds the next try must still wait at `now`: none before the third
// wrong try in a row, then 2 s after it, doubling with each further one, at most
// five minutes. A last wrong try later than now (the clock set back) counts as now.
DWORD PasswordWaitSeconds(const PasswordTries &tries, DWORD now);

// "lock_wrong" and "lock_wrongtime"; missing values read as 0.
PasswordTries ReadPasswordTries();
void WritePasswordTries(const PasswordTries &tries);

// The stored form of the password, shared by the registry and the INI store: each
// byte raised by an amount taken from a fixed pseudo-random sequence.
#pragma once

#include <cstddef>
#include <string>

// The longest password both stores give back exactly: their readers take string
// values into 100-byte buffers, and an INI reader cannot tell a value of 99
// characters from a longer one it had to cut.
constexpr size_t kMaxStoredPassword = 98;

// The stored form: as long as the password; empty for the empty password.
std::string ScramblePassword(const std::string &password);
// The exact inverse of ScramblePassword, for any bytes at all.
std::string UnscramblePassword(const std::string &stored);

// True when both stores keep this password exactly. False when the password holds a
// NUL byte, is longer than kMaxStoredPassword, or when its stored form would hold a
// NUL, CR or LF byte, which neither a string value nor an INI line can carry. Only a
// byte of 0xF2 or above can scramble to such a byte. The password dialogs refuse
// passwords for which this is false.
bool IsStorablePassword(const std::string &password);

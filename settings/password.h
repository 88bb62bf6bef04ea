// The stored forms of the password, shared by the registry and the INI store: the
// scrambled form, each byte raised by an amount taken from a fixed pseudo-random
// sequence, and the salted hash that replaces it where the system has the crypto.
#pragma once

#include <cstddef>
#include <cstdint>
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

// ---- The salted hash that replaces the scrambled form where the system has the crypto

// The hash record, kept in the registry value "lock_hash" (REG_BINARY) and, in hex,
// in the INI key "password_hash": a version byte, an algorithm byte, the iteration
// count (four bytes, least significant first), the salt and the derived key.
constexpr unsigned char kPasswordRecordVersion = 1;
constexpr unsigned char kPasswordAlgorithmPbkdf2Sha256 = 1;
constexpr size_t kPasswordSaltSize = 16;
constexpr size_t kPasswordKeySize = 32;
constexpr size_t kPasswordRecordSize = 2 + 4 + kPasswordSaltSize + kPasswordKeySize;
// About 100 ms for one derivation (105-112 ms measured under Wine 8 on one core):
// slow for a guesser with the record, unnoticed by someone typing.
constexpr uint32_t kPasswordIterations = 100000;
// More than this is a damaged or planted record: checking a typed password against
// it would hold the scheduler for minutes.
constexpr uint32_t kMaxPasswordIterations = 10000000;

// True for a record this version writes and can check; a record of another size,
// version or algorithm, or with an absurd iteration count, counts as no record.
bool IsValidPasswordRecord(const std::string &record);

// The password in force. Either known in the clear (typed this run, read from the
// scrambled form, or kept so where the system has no crypto) or only as the hash
// record read from a store. Only the stores, the scheduler's password checks and the
// set-password dialog look into it.
class PasswordLock {
public:
    PasswordLock() = default;
    // A password known in the clear; empty is no password.
    PasswordLock(const std::string &plain) : m_plain(plain) {}
    PasswordLock(const char *plain) : m_plain(plain) {}
    // What a store holds: a valid record wins; otherwise the password of the old form.
    static PasswordLock FromStored(const std::string &record, const std::string &oldPlain);

    bool IsSet() const { return !m_plain.empty() || !m_record.empty(); }
    // Whether the typed text is the password. Against a record, only through the
    // system's crypto: where that is missing, no text opens a hashed password.
    bool Accepts(const std::string &typed) const;

    // The record a store writes: derived with a new salt the first time it is asked
    // for and then kept, so writing unchanged settings again writes the same record.
    // Empty for no password, and where the system has no crypto.
    const std::string &Record() const;
    // The scrambled form a store writes when Record() is empty; empty otherwise.
    std::string OldForm() const;

private:
    std::string m_plain;          // empty when only the record is known
    mutable std::string m_record; // as read, or as derived for m_plain
};

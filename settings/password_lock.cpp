// The password's hash record and PasswordLock (settings/password.h): apart from the
// scrambling, so that what only scrambles needs no crypto.
#include "settings/password.h"

#include "security/password_crypto.h"

namespace {

uint32_t RecordIterations(const std::string &record) {
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= uint32_t(static_cast<unsigned char>(record[2 + i])) << (8 * i);
    return n;
}

// The record of a password, salt and iteration count; empty when the crypto fails.
std::string MakeRecord(const std::string &password, const std::string &salt, uint32_t iterations) {
    std::string key;
    if (!DerivePasswordKey(password, salt, iterations, kPasswordKeySize, key) ||
        key.size() != kPasswordKeySize)
        return std::string();
    std::string record;
    record += char(kPasswordRecordVersion);
    record += char(kPasswordAlgorithmPbkdf2Sha256);
    for (int i = 0; i < 4; ++i)
        record += char((iterations >> (8 * i)) & 0xFFu);
    return record + salt + key;
}

// Every byte compared whatever the first difference, so the time taken tells
// nothing about how much of a guess was right.
bool SameBytes(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

bool IsValidPasswordRecord(const std::string &record) {
    if (record.size() != kPasswordRecordSize ||
        static_cast<unsigned char>(record[0]) != kPasswordRecordVersion ||
        static_cast<unsigned char>(record[1]) != kPasswordAlgorithmPbkdf2Sha256)
        return false;
    const uint32_t iterations = RecordIterations(record);
    return iterations != 0 && iterations <= kMaxPasswordIterations;
}

PasswordLock PasswordLock::FromStored(const std::string &record, const std::string &oldPlain) {
    PasswordLock lock;
    if (IsValidPasswordRecord(record))
        lock.m_record = record;
    else
        lock.m_plain = oldPlain;
    return lock;
}

bool PasswordLock::Accepts(const std::string &typed) const {
    if (!m_plain.empty() || m_record.empty())
        return SameBytes(typed, m_plain);
    const std::string salt = m_record.substr(6, kPasswordSaltSize);
    const std::string derived = MakeRecord(typed, salt, RecordIterations(m_record));
    return !derived.empty() && SameBytes(derived, m_record);
}

const std::string &PasswordLock::Record() const {
    if (m_record.empty() && !m_plain.empty()) {
        std::string salt;
        if (PasswordCryptoAvailable() && RandomBytes(kPasswordSaltSize, salt) &&
            salt.size() == kPasswordSaltSize)
            m_record = MakeRecord(m_plain, salt, kPasswordIterations);
    }
    return m_record;
}

std::string PasswordLock::OldForm() const {
    return Record().empty() ? ScramblePassword(m_plain) : std::string();
}

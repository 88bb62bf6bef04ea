// The stand-in behind security/password_crypto.h: not PBKDF2 (the real one is tested
// under Wine), but a key that depends on every byte of password and salt and on the
// count, and a new salt at every draw.
#include "security/password_crypto.h"

#include "tests/support/fake_platform.h"

bool PasswordCryptoAvailable() {
    return !fake::Plat().passwordCryptoMissing;
}

bool DerivePasswordKey(const std::string &password, const std::string &salt, uint32_t iterations,
                       size_t keySize, std::string &key) {
    uint64_t h = 1469598103934665603ull ^ iterations;
    for (unsigned char c : password + '\0' + salt)
        h = (h ^ c) * 1099511628211ull;
    for (key.clear(); key.size() < keySize; h = (h ^ key.size()) * 1099511628211ull)
        key += char(h >> 56);
    return PasswordCryptoAvailable();
}

bool RandomBytes(size_t count, std::string &bytes) {
    bytes.assign(count, char(++fake::Plat().randomDraws));
    return PasswordCryptoAvailable();
}

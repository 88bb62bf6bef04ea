// The system's crypto behind the stored password: PBKDF2 with HMAC-SHA256 and a
// random salt. Windows: password_crypto_win32.cpp, from bcrypt.dll looked up at run
// time (Windows 7 and later; older systems have no bcrypt.dll or no PBKDF2 in it).
// Native tests: tests/support/password_crypto_fake.cpp, switched through
// fake::Plat().passwordCryptoMissing.
#pragma once

#include <cstdint>
#include <string>

// Whether bcrypt.dll, loaded from the system directory, has every function needed.
bool PasswordCryptoAvailable();
// BCryptDeriveKeyPBKDF2 over an HMAC-SHA256 provider; key receives keySize bytes.
// False when the crypto is missing or the call fails.
bool DerivePasswordKey(const std::string &password, const std::string &salt, uint32_t iterations,
                       size_t keySize, std::string &key);
// BCryptGenRandom from the RNG provider; false when the crypto is missing or fails.
bool RandomBytes(size_t count, std::string &bytes);

#include "security/password_crypto.h"

#include <windows.h>

namespace {

// The few CNG declarations we need, written out: bcrypt.dll is never imported, so
// the program still starts on systems without it (XP, 95/98/Me).
typedef LONG NtStatus;
typedef void *AlgHandle;
typedef NtStatus(WINAPI *OpenProviderFn)(AlgHandle *, LPCWSTR, LPCWSTR, ULONG);
typedef NtStatus(WINAPI *CloseProviderFn)(AlgHandle, ULONG);
typedef NtStatus(WINAPI *DerivePbkdf2Fn)(AlgHandle, PUCHAR, ULONG, PUCHAR, ULONG, ULONGLONG, PUCHAR,
                                         ULONG, ULONG);
typedef NtStatus(WINAPI *GenRandomFn)(AlgHandle, PUCHAR, ULONG, ULONG);
constexpr ULONG kHmacFlag = 0x00000008; // BCRYPT_ALG_HANDLE_HMAC_FLAG

struct Cng {
    bool loaded = false;
    OpenProviderFn open = nullptr;
    CloseProviderFn close = nullptr;
    DerivePbkdf2Fn derive = nullptr;
    GenRandomFn random = nullptr;
    bool Complete() const { return open && close && derive && random; }
};

// Loaded once and kept for the life of the process. By full path from the system
// directory: a bare name would also search the program's folder, where a user might
// place a bcrypt.dll of their own.
const Cng &Crypto() {
    static Cng cng;
    if (cng.loaded)
        return cng;
    cng.loaded = true;
    char dir[MAX_PATH];
    const UINT n = ::GetSystemDirectoryA(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return cng;
    const HMODULE module = ::LoadLibraryA((std::string(dir, n) + "\\bcrypt.dll").c_str());
    if (!module)
        return cng;
    cng.open = reinterpret_cast<OpenProviderFn>(
        reinterpret_cast<void *>(::GetProcAddress(module, "BCryptOpenAlgorithmProvider")));
    cng.close = reinterpret_cast<CloseProviderFn>(
        reinterpret_cast<void *>(::GetProcAddress(module, "BCryptCloseAlgorithmProvider")));
    cng.derive = reinterpret_cast<DerivePbkdf2Fn>(
        reinterpret_cast<void *>(::GetProcAddress(module, "BCryptDeriveKeyPBKDF2")));
    cng.random = reinterpret_cast<GenRandomFn>(
        reinterpret_cast<void *>(::GetProcAddress(module, "BCryptGenRandom")));
    return cng;
}

// An open algorithm provider, closed when it goes.
class Provider {
public:
    Provider(const Cng &cng, LPCWSTR algorithm, ULONG flags) : m_cng(cng) {
        if (m_cng.open(&m_handle, algorithm, nullptr, flags) < 0)
            m_handle = nullptr;
    }
    ~Provider() {
        if (m_handle)
            m_cng.close(m_handle, 0);
    }
    Provider(const Provider &) = delete;
    Provider &operator=(const Provider &) = delete;
    AlgHandle Get() const { return m_handle; }

private:
    const Cng &m_cng;
    AlgHandle m_handle = nullptr;
};

PUCHAR Bytes(const std::string &s) {
    return reinterpret_cast<PUCHAR>(const_cast<char *>(s.data()));
}

} // namespace

bool PasswordCryptoAvailable() {
    return Crypto().Complete();
}

bool DerivePasswordKey(const std::string &password, const std::string &salt, uint32_t iterations,
                       size_t keySize, std::string &key) {
    const Cng &cng = Crypto();
    if (!cng.Complete())
        return false;
    Provider hmac(cng, L"SHA256", kHmacFlag);
    if (!hmac.Get())
        return false;
    key.assign(keySize, '\0');
    return cng.derive(hmac.Get(), Bytes(password), ULONG(password.size()), Bytes(salt),
                      ULONG(salt.size()), iterations, Bytes(key), ULONG(keySize), 0) >= 0;
}

bool RandomBytes(size_t count, std::string &bytes) {
    const Cng &cng = Crypto();
    if (!cng.Complete())
        return false;
    Provider rng(cng, L"RNG", 0);
    if (!rng.Get())
        return false;
    bytes.assign(count, '\0');
    return cng.random(rng.Get(), Bytes(bytes), ULONG(count), 0) >= 0;
}

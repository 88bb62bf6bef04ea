#include "framework/text.h"

std::string LoadStr(UINT id) {
    // The pointer form hands back the resource in place, so no length limit applies.
    const wchar_t *res = nullptr;
    int len = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t *>(&res), 0);
    if (len <= 0 || !res)
        return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, res, len, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, res, len, &out[0], n, nullptr, nullptr);
    return out;
}

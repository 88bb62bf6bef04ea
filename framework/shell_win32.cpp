#include "framework/shell.h"

#include <shellapi.h>

BOOL ShellOpen(const std::string &file) {
    HINSTANCE result = ::ShellExecuteA(nullptr, nullptr, file.c_str(), "", "", SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32 ? TRUE : FALSE;
}

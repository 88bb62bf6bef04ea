#include "system/files.h"

namespace {
const DWORD kPathBuffer = 260; // MAX_PATH

std::string DirectoryFrom(UINT(WINAPI *query)(LPSTR, UINT)) {
    char buffer[kPathBuffer];
    UINT n = query(buffer, kPathBuffer);
    // 0 is failure; a value of the buffer size or more is the size a longer path needs.
    if (n == 0 || n >= kPathBuffer)
        return std::string();
    return std::string(buffer, n);
}

BOOL OpenFileExists(const std::string &name) {
    OFSTRUCT of;
    of.cBytes = sizeof of;
    return ::OpenFile(name.c_str(), &of, OF_EXIST) != HFILE_ERROR;
}
} // namespace

std::string GetProgramPath() {
    char buffer[kPathBuffer];
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, kPathBuffer);
    if (n == 0 || n >= kPathBuffer)
        return std::string();
    return std::string(buffer, n);
}

std::string GetSystemDir() {
    return DirectoryFrom(::GetSystemDirectoryA);
}

std::string GetWindowsDir() {
    return DirectoryFrom(::GetWindowsDirectoryA);
}

BOOL FileExists(const std::string &path) {
    return OpenFileExists(path);
}

BOOL FileFoundOnSearchPath(const std::string &name) {
    return OpenFileExists(name);
}

BOOL DeleteFilePath(const std::string &path) {
    return ::DeleteFileA(path.c_str());
}

BOOL MoveFilePath(const std::string &from, const std::string &to) {
    return ::MoveFileA(from.c_str(), to.c_str());
}

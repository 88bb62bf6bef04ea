#include "system/files.h"

#include "framework/unique_handle.h"

namespace {
const DWORD kPathBuffer = 260; // MAX_PATH

struct HandleCloser {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using Handle = UniqueHandle<HANDLE, HandleCloser>;

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

BOOL WriteWholeFile(const std::string &path, const std::string &bytes) {
    HANDLE raw = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE)
        return FALSE;
    Handle file(raw);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(file.Get(), bytes.data() + done, DWORD(bytes.size() - done), &written,
                         nullptr) ||
            written == 0)
            return FALSE;
        done += written;
    }
    // On the disk before anything relies on it: a rename that reaches the disk
    // ahead of the data would put an empty file in the old one's place.
    return ::FlushFileBuffers(file.Get());
}

BOOL ReplaceFilePath(const std::string &from, const std::string &to) {
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return TRUE;
    if (::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return FALSE;
    // Windows 95/98/Me have no MoveFileExA. The old file steps aside first and comes
    // back if the new one cannot take its place, so one of them is always whole.
    const std::string aside = to + ".old";
    ::DeleteFileA(aside.c_str());
    const bool hadOld = ::MoveFileA(to.c_str(), aside.c_str()) != FALSE;
    if (!::MoveFileA(from.c_str(), to.c_str())) {
        if (hadOld)
            ::MoveFileA(aside.c_str(), to.c_str());
        return FALSE;
    }
    ::DeleteFileA(aside.c_str());
    return TRUE;
}

#include "system/log_file.h"

#include "security/permissions_win32.h"

#include <cstring>

namespace {
typedef HANDLE(WINAPI *RegisterEventSourceFn)(LPCSTR, LPCSTR);
typedef BOOL(WINAPI *ReportEventFn)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCSTR *, LPVOID);
typedef BOOL(WINAPI *DeregisterEventSourceFn)(HANDLE);
typedef DWORD(WINAPI *GetFinalPathNameByHandleFn)(HANDLE, LPSTR, DWORD, DWORD);

// Whether the open file is the one at path, not one a link led to. Windows opens a
// link itself here (FILE_FLAG_OPEN_REPARSE_POINT), but a system that follows links
// anyway (Wine does, for links to files) names the target. Before Vista there is no
// asking; the attributes have said it all there.
bool IsTheFileAt(HANDLE file, const std::string &path) {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto final = kernel ? reinterpret_cast<GetFinalPathNameByHandleFn>(reinterpret_cast<void (*)()>(
                              ::GetProcAddress(kernel, "GetFinalPathNameByHandleA")))
                        : nullptr;
    if (!final)
        return true;
    char name[MAX_PATH + 8] = {};
    const DWORD n = final(file, name, sizeof name, 0 /* FILE_NAME_NORMALIZED, VOLUME_NAME_DOS */);
    if (n == 0 || n >= sizeof name)
        return false;
    const char *shown = strncmp(name, "\\\\?\\", 4) == 0 ? name + 4 : name;
    return lstrcmpiA(shown, path.c_str()) == 0;
}

HANDLE CreateLog(const std::string &path, DWORD access, const char *sddl) {
    SddlDescriptor sd(sddl);
    if (!sd.Get())
        return INVALID_HANDLE_VALUE; // never a file left to inherit C:\'s rights
    return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, sd.Attributes(),
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
}
} // namespace

LogFile::~LogFile() {
    if (m_open)
        ::CloseHandle(static_cast<HANDLE>(m_file));
}

bool LogFile::Open(const std::string &path, bool forSecuring, DWORD &error) {
    const DWORD access =
        FILE_APPEND_DATA | READ_CONTROL | SYNCHRONIZE | (forSecuring ? WRITE_DAC | WRITE_OWNER : 0);
    HANDLE file = CreateLog(path, access, kLogFileSddl);
    // A token that may not name the administrators owner makes the file its own;
    // the system's next start gives it to them.
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_OWNER)
        file = CreateLog(path, access, kLogFileSddlNoOwner);
    if (file == INVALID_HANDLE_VALUE && forSecuring)
        return Open(path, false, error);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        info.nNumberOfLinks != 1 || ::GetFileType(file) != FILE_TYPE_DISK ||
        !IsTheFileAt(file, path)) {
        ::CloseHandle(file);
        error = ERROR_CANT_ACCESS_FILE;
        return false;
    }
    m_file = file;
    m_open = true;
    return true;
}

bool LogFile::ReadSecurity(ObjectSecurity &out) const {
    return m_open && FileHandleSecurity(static_cast<HANDLE>(m_file), out);
}

bool LogFile::Secure() {
    return m_open && SetFileHandleSecurity(static_cast<HANDLE>(m_file), kLogFileSddl);
}

bool LogFile::Append(const std::string &text) {
    std::string bytes;
    for (char c : text) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    DWORD written = 0;
    return m_open &&
           ::WriteFile(static_cast<HANDLE>(m_file), bytes.data(), DWORD(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

bool RunningAsSystem() {
    return RunningAsLocalSystem();
}

void ReportToEventLog(const std::string &text) {
    char path[MAX_PATH + 16];
    const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    lstrcpyA(path + n, "\\advapi32.dll");
    HMODULE advapi = ::LoadLibraryA(path);
    if (!advapi)
        return;
    auto lookup = [advapi](const char *name) {
        return reinterpret_cast<void (*)()>(::GetProcAddress(advapi, name));
    };
    auto registerSource = reinterpret_cast<RegisterEventSourceFn>(lookup("RegisterEventSourceA"));
    auto report = reinterpret_cast<ReportEventFn>(lookup("ReportEventA"));
    auto deregister = reinterpret_cast<DeregisterEventSourceFn>(lookup("DeregisterEventSource"));
    if (registerSource && report && deregister) {
        if (HANDLE source = registerSource(nullptr, "Vespra")) {
            LPCSTR strings[] = {text.c_str()};
            report(source, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
            deregister(source);
        }
    }
    ::FreeLibrary(advapi);
}

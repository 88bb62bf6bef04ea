#include "tests/wine/wine_test_support.h"

#include <aclapi.h>
#include <sddl.h>

#include <fstream>
#include <iterator>

namespace wt {

namespace {

std::string FullPath(const std::string &path) {
    char buf[MAX_PATH] = {};
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buf, nullptr);
    return n > 0 && n < MAX_PATH ? std::string(buf, n) : path;
}

std::string WindowText(HWND hwnd) {
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

struct WindowQuery {
    const std::string *title;
    const char *className;
    DWORD pid;
    std::vector<HWND> *found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
    auto *q = reinterpret_cast<WindowQuery *>(lp);
    if (WindowText(hwnd) != *q->title)
        return TRUE;
    if (q->className) {
        char cls[256] = {};
        GetClassNameA(hwnd, cls, sizeof cls);
        if (lstrcmpiA(cls, q->className) != 0)
            return TRUE;
    }
    if (q->pid) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner != q->pid)
            return TRUE;
    }
    q->found->push_back(hwnd);
    return TRUE;
}

// Deletes every subkey of an open key, depth first, then the key itself.
bool DeleteTree(HKEY parent, const std::string &name) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (rc != ERROR_SUCCESS)
        return false;
    for (;;) {
        char child[256] = {};
        DWORD len = sizeof child;
        // Always index 0: the previous child is gone.
        if (RegEnumKeyExA(key, 0, child, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (!DeleteTree(key, child)) {
            RegCloseKey(key);
            return false;
        }
    }
    RegCloseKey(key);
    rc = RegDeleteKeyA(parent, name.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

} // namespace

std::string ExeDir() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n < MAX_PATH ? n : 0);
    size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

std::string VespraExePath() {
    return FullPath(ExeDir() + "\\..\\..\\vespra.exe");
}

std::string ToolPath(const std::string &name) {
    return ExeDir() + "\\" + name;
}

Process::~Process() {
    Terminate();
    Close();
}

Process::Process(Process &&other) noexcept : m_pi(other.m_pi) {
    other.m_pi = PROCESS_INFORMATION{};
}

Process &Process::operator=(Process &&other) noexcept {
    if (this != &other) {
        Terminate();
        Close();
        m_pi = other.m_pi;
        other.m_pi = PROCESS_INFORMATION{};
    }
    return *this;
}

bool Process::WaitForExit(DWORD timeoutMs) const {
    return Valid() && WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (Valid())
        GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

void Process::Terminate() {
    if (Running()) {
        TerminateProcess(m_pi.hProcess, 1);
        WaitForSingleObject(m_pi.hProcess, 5000);
    }
}

void Process::Close() {
    if (m_pi.hThread)
        CloseHandle(m_pi.hThread);
    if (m_pi.hProcess)
        CloseHandle(m_pi.hProcess);
    m_pi = PROCESS_INFORMATION{};
}

Process StartProcess(const std::string &application, const std::string &commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // CreateProcessA may write to the command line buffer.
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    if (!CreateProcessA(application.empty() ? nullptr : application.c_str(), cmd.data(), nullptr,
                        nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return Process();
    return Process(pi);
}

std::vector<HWND> FindTopLevelWindows(const std::string &title, const char *className, DWORD pid) {
    std::vector<HWND> found;
    WindowQuery q{&title, className, pid, &found};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&q));
    return found;
}

HWND WaitForWindow(const std::string &title, DWORD timeoutMs, const char *className, DWORD pid) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND hwnd : FindTopLevelWindows(title, className, pid))
                if (IsWindowVisible(hwnd))
                    found = hwnd;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

bool WaitForNoWindow(const std::string &title, DWORD timeoutMs, const char *className, DWORD pid) {
    return WaitUntil([&] { return FindTopLevelWindows(title, className, pid).empty(); }, timeoutMs);
}

std::string GetControlText(HWND dialog, int id) {
    char text[4096] = {};
    UINT n = GetDlgItemTextA(dialog, id, text, sizeof text);
    return std::string(text, n);
}

bool ClickButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    return button && PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(button));
}

bool PostThreadMsg(DWORD threadId, UINT msg, WPARAM wp, LPARAM lp) {
    // A thread that has not pulled a message yet has no queue to post to.
    return WaitUntil([&] { return PostThreadMessageA(threadId, msg, wp, lp) != FALSE; }, 5000);
}

bool DeleteRegistryTree(const std::string &subKey) {
    return DeleteTree(HKEY_LOCAL_MACHINE, subKey);
}

bool DeleteSettingsKey() {
    return DeleteRegistryTree("SOFTWARE\\Vespra");
}

std::string RunAndCapture(const std::string &commandLine, DWORD timeoutMs, DWORD *exitCode) {
    if (exitCode)
        *exitCode = STILL_ACTIVE;
    char dir[MAX_PATH] = {};
    char file[MAX_PATH] = {};
    if (!GetTempPathA(MAX_PATH, dir) || !GetTempFileNameA(dir, "vwt", 0, file))
        return std::string();

    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        DeleteFileA(file);
        return std::string();
    }
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &si, &pi);
    CloseHandle(out);
    if (started) {
        Process proc(pi);
        if (proc.WaitForExit(timeoutMs)) {
            if (exitCode)
                *exitCode = proc.ExitCode();
        }
        // A process still running here is terminated by ~Process.
    }
    std::string text = ReadWholeFile(file);
    DeleteFileA(file);
    return text;
}

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string();
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {
const SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

std::string TextOf(PSECURITY_DESCRIPTOR sd, DWORD result) {
    char *text = nullptr;
    std::string out = "?";
    if (result == ERROR_SUCCESS && sd &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, kOwnerAndDacl,
                                                             &text, nullptr)) {
        out = text;
        LocalFree(text);
    }
    if (sd)
        LocalFree(sd);
    return out;
}
} // namespace

std::string SddlOf(const char *sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    const BOOL ok = ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd,
                                                                         nullptr);
    return TextOf(sd, ok ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
}

std::string StoredSddl(HANDLE object) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD r = GetSecurityInfo(object, SE_KERNEL_OBJECT, kOwnerAndDacl, nullptr, nullptr,
                                    nullptr, nullptr, &sd);
    return TextOf(sd, r);
}

std::string StoredSddl(const char *fileName) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD r = GetNamedSecurityInfoA(fileName, SE_FILE_OBJECT, kOwnerAndDacl, nullptr,
                                          nullptr, nullptr, nullptr, &sd);
    return TextOf(sd, r);
}

DWORD ReadSettingsDword(const char *name) {
    DWORD value = 0xDEADBEEF, size = sizeof value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vespra", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

bool WriteSettingsDword(const char *name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vespra", 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                                   sizeof value);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

SchedulerFolder::SchedulerFolder() {
    m_ready = !m_dir.Path().empty() && CopyFileA(VespraExePath().c_str(), Exe().c_str(), FALSE) &&
              CopyFileA(ToolPath("vesprasi_standin_tool.exe").c_str(),
                        (m_dir / "vesprasi.exe").c_str(), FALSE);
}

bool SchedulerFolder::ClearRecord() {
    // A stand-in from an earlier start may still hold the file for a moment.
    const std::string record = m_dir / "vesprasi_record.txt";
    return WaitUntil(
        [&] { return DeleteFileA(record.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; },
        5000);
}

Process SchedulerFolder::Start(const std::string &tail) {
    return ClearRecord() ? StartProcess(Exe(), "\"" + Exe() + "\"" + tail) : Process();
}

Process SchedulerFolder::StartAsService() {
    return ClearRecord() ? StartProcess(Exe(), " /service") : Process();
}

std::string SchedulerFolder::Record() const {
    return ReadWholeFile(m_dir / "vesprasi_record.txt");
}

bool SchedulerFolder::RecordHas(const std::string &text, DWORD timeoutMs) const {
    return WaitUntil([&] { return Record().find(text) != std::string::npos; }, timeoutMs);
}

Thread::Thread(std::function<void()> fn) : m_fn(std::move(fn)) {
    m_handle = CreateThread(nullptr, 0, &Thread::Run, this, 0, nullptr);
}

void Thread::join() {
    if (!m_handle)
        return;
    WaitForSingleObject(m_handle, INFINITE);
    CloseHandle(m_handle);
    m_handle = nullptr;
}

DWORD WINAPI Thread::Run(void *self) {
    static_cast<Thread *>(self)->m_fn();
    return 0;
}

} // namespace wt

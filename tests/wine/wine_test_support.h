// Helpers for the Win32 test programs that run under Wine: find the programs
// under test, start them, find and drive their windows as a user would, and look
// at what they left in the registry and on disk. Plain Win32, no test framework,
// so helper tools can use it too.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/wine/platform_wine_util.h"

namespace wt {

// The one polling loop of the Wine tests: asks cond every 50 ms until it holds
// (true) or timeoutMs has passed (false). It is always asked at least once.
template <typename Cond> bool WaitUntil(Cond cond, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
}

// std::thread and std::mutex for the tests: the x86 build's win32-thread runtime has
// neither. A Thread is joined when it goes, so a failed test never leaves one running.
class Thread {
public:
    explicit Thread(std::function<void()> fn);
    ~Thread() { join(); }
    Thread(const Thread &) = delete;
    Thread &operator=(const Thread &) = delete;
    void join();

private:
    static DWORD WINAPI Run(void *self);
    std::function<void()> m_fn;
    HANDLE m_handle = nullptr;
};
class Mutex {
public:
    Mutex() { InitializeCriticalSection(&m_cs); }
    ~Mutex() { DeleteCriticalSection(&m_cs); }
    Mutex(const Mutex &) = delete;
    Mutex &operator=(const Mutex &) = delete;
    void lock() { EnterCriticalSection(&m_cs); }
    void unlock() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

// Directory of the running test program, without a trailing backslash.
std::string ExeDir();
// build/windows/vespra.exe, two levels above the test programs (build/windows/tests/wine).
std::string VespraExePath();
// A program beside the test programs, e.g. ToolPath("window_driver_tool.exe").
std::string ToolPath(const std::string &name);

// A started process; terminates it on destruction if it is still running, so a
// failed test never leaves a program behind for the next one.
class Process {
public:
    Process() = default;
    explicit Process(const PROCESS_INFORMATION &pi) : m_pi(pi) {}
    ~Process();
    Process(Process &&other) noexcept;
    Process &operator=(Process &&other) noexcept;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    bool Valid() const { return m_pi.hProcess != nullptr; }
    DWORD Id() const { return m_pi.dwProcessId; }
    DWORD ThreadId() const { return m_pi.dwThreadId; }
    HANDLE Handle() const { return m_pi.hProcess; }

    // True when the process ended within timeoutMs.
    bool WaitForExit(DWORD timeoutMs) const;
    bool Running() const { return Valid() && !WaitForExit(0); }
    // The exit code, or STILL_ACTIVE.
    DWORD ExitCode() const;
    void Terminate();

private:
    void Close();
    PROCESS_INFORMATION m_pi{};
};

// CreateProcessA(application, commandLine). The command line is passed as given:
// the service host starts the scheduler with the program path as application name
// and " /service" as the whole command line. An empty application name means the
// program is the first token of the command line. Invalid Process on failure.
Process StartProcess(const std::string &application, const std::string &commandLine);

// Visible or not, the top-level windows with this title (and class, when given)
// belonging to process pid (any process when pid is 0).
std::vector<HWND> FindTopLevelWindows(const std::string &title, const char *className = nullptr,
                                      DWORD pid = 0);
// Waits until such a window exists and is visible; nullptr when the wait runs out.
HWND WaitForWindow(const std::string &title, DWORD timeoutMs, const char *className = nullptr,
                   DWORD pid = 0);
// Waits until none of the windows with this title belong to pid (any when 0).
bool WaitForNoWindow(const std::string &title, DWORD timeoutMs, const char *className = nullptr,
                     DWORD pid = 0);

// The text of control id of a dialog (GetDlgItemTextA); empty when it has none.
std::string GetControlText(HWND dialog, int id);
// Clicks button id: posts the WM_COMMAND a click sends, so a modal dialog that the
// click opens cannot block the caller. False when the control does not exist.
bool ClickButton(HWND dialog, int id);
// PostThreadMessageA, retried briefly while the thread has no message queue yet.
bool PostThreadMsg(DWORD threadId, UINT msg, WPARAM wp = 0, LPARAM lp = 0);

// Deletes HKEY_LOCAL_MACHINE\<subKey> with all its subkeys and values. True when the
// key is gone afterwards (missing already counts).
bool DeleteRegistryTree(const std::string &subKey);
// The settings key SOFTWARE\Vespra, for a clean start.
bool DeleteSettingsKey();
// A REG_DWORD under the settings key: the value, or 0xDEADBEEF when it can't be
// read; and writing one, creating the key. False when the key can't be made.
DWORD ReadSettingsDword(const char *name);
bool WriteSettingsDword(const char *name, DWORD value);

// Runs a command line (e.g. "reg query HKLM\\SOFTWARE\\Vespra"), waits at most
// timeoutMs and returns what it wrote to stdout and stderr, captured through a
// temporary file. exitCode (when given) receives the exit code, or STILL_ACTIVE if
// the wait ran out (the process is then terminated).
std::string RunAndCapture(const std::string &commandLine, DWORD timeoutMs = 30000,
                          DWORD *exitCode = nullptr);

// The whole file, or an empty string when it cannot be read.
std::string ReadWholeFile(const std::string &path);

// A descriptor's owner and DACL in the system's own SDDL spelling: of an SDDL text
// as the system parses it, and as stored on a kernel object (a handle with
// READ_CONTROL) or a named file or pipe. "?" when it can't be had.
std::string SddlOf(const char *sddl);
std::string StoredSddl(HANDLE object);
std::string StoredSddl(const char *fileName);

// The real vespra.exe copied into a scratch folder of its own with the stand-in
// installer beside it, so that the service commands it gives are recorded in
// "vesprasi_record.txt" rather than carried out. Every start clears that record
// first, so what is read belongs to the starts since. The folder goes with the
// object.
class SchedulerFolder {
public:
    SchedulerFolder();
    // False when the folder or a copy could not be made.
    bool Ready() const { return m_ready; }
    std::string Exe() const { return m_dir / "vespra.exe"; }
    std::string operator/(const std::string &name) const { return m_dir / name; }

    // A start with the quoted program path and tail as the command line ("" for a
    // plain start). Invalid when the old record can't be cleared.
    Process Start(const std::string &tail);
    // As the service host starts it: the program path as application name and
    // " /service" as the whole command line.
    Process StartAsService();
    // What the stand-in installer recorded, or empty when it has not run.
    std::string Record() const;
    // Waits up to timeoutMs for text in the record.
    bool RecordHas(const std::string &text, DWORD timeoutMs) const;

private:
    bool ClearRecord();
    pw::ScratchDir m_dir{"Vespra Scheduler"};
    bool m_ready = false;
};

} // namespace wt

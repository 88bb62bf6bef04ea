// Measures programs under Wine for scripts/bench.sh, each the same way as its
// reference so that only the ratio matters:
//
//   bench_tool start RUNS TITLE EXE CMDLINE [TITLE EXE CMDLINE]...
//       starts each program RUNS times, in turn, and times CreateProcess up to the
//       moment a top-level window TITLE of the new process is visible; prints
//       "start EXE: median_ms=M runs=a,b,..." per program.
//   bench_tool memory TITLE shown|hidden SETTLE_MS EXE CMDLINE
//       starts the program, waits until its window TITLE is visible and, with
//       "hidden", until it has hidden it again; after SETTLE_MS takes five samples a
//       second apart of its working set and private bytes (GetProcessMemoryInfo);
//       prints "memory EXE: working_set=W private=P" (bytes, medians).
//
// Session 0 mode, the scheduler started on a window station of our own that nobody
// sees (as a service's is on today's Windows), and its agent on ours:
//
//   bench_tool agent-memory SETTLE_MS EXE CMDLINE
//       starts the scheduler there, waits until its agent shows the countdown "Vespra"
//       and measures the agent as "memory" does: "memory agent: working_set=W ...".
//   bench_tool agent-start RUNS EXE CMDLINE [TITLE EXE CMDLINE]...
//       as "start", but the first program is the scheduler there and its time runs up
//       to the agent's visible countdown: "start agent: median_ms=M runs=...".
//   bench_tool agent-click RUNS EXE CMDLINE
//       with a password set: clicks Cancel in the agent's countdown and times until
//       the agent shows the scheduler's password prompt, then cancels the prompt and
//       waits for the countdown to come back; prints "click agent: median_ms=M ...".
//   bench_tool settings WELCOME_SECONDS PASSWORD
//       sets the startup countdown's length and the password in the stored settings,
//       which the scheduler must have written before.
//   bench_tool service-running TIMEOUT_MS
//       waits until the service manager reports the service "Vespra" running; exit
//       status 1 when it does not in time.
//   bench_tool /service
//       (installed as vespra.exe beside the service host) the service's scheduler
//       that only waits, until the host ends it (thread message WM_USER + 1): the
//       agent only accepts a scheduler while its service runs, and the one under
//       measurement is started here, not by the service.
//
// Each program is ended afterwards as the service host ends the scheduler (thread
// message WM_USER + 1), else with WM_CLOSE, else terminated. The command line is
// passed whole, as the service host passes " /service". Exit status 1 when a
// program does not start or show its window in time.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "resources/resource.h"
#include "settings/password.h"

namespace {

constexpr DWORD kWindowTimeoutMs = 60000;
constexpr UINT kStopScheduler = WM_USER + 1;

struct Program {
    std::string title;
    std::string exe;
    std::string commandLine;
    // Started on the hidden station; its window is the agent's, on ours.
    bool sessionZero = false;
};

const char kAgentTitle[] = "Vespra";
const char kPromptTitle[] = "Enter Password";

// A window station of our own that is not visible, with its desktop: a program
// started there is in session 0 mode. Made once, kept for the run.
const char *HiddenDesktop() {
    static const char *desktop = [] () -> const char * {
        HWINSTA ours = GetProcessWindowStation();
        HWINSTA hidden = CreateWindowStationA("VespraBench", 0, WINSTA_ALL_ACCESS, nullptr);
        if (!hidden || !SetProcessWindowStation(hidden))
            return nullptr;
        HDESK desk = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        SetProcessWindowStation(ours);
        return desk ? "VespraBench\\Default" : nullptr;
    }();
    return desktop;
}

struct Search {
    const std::string *title;
    DWORD pid;
    HWND found;
    bool visibleOnly;
    // With a parent: a window of any process but the known agents, whose parent that
    // is; pid is then the process found.
    DWORD parent = 0;
};

DWORD ParentOf(DWORD pid) {
    DWORD parent = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 e{};
    e.dwSize = sizeof e;
    for (BOOL more = Process32First(snap, &e); more; more = Process32Next(snap, &e))
        if (e.th32ProcessID == pid)
            parent = e.th32ParentProcessID;
    CloseHandle(snap);
    return parent;
}

BOOL CALLBACK Visit(HWND wnd, LPARAM param) {
    auto *s = reinterpret_cast<Search *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (s->visibleOnly && !IsWindowVisible(wnd))
        return TRUE;
    if (s->parent ? pid == s->parent : pid != s->pid)
        return TRUE;
    char text[256] = {};
    GetWindowTextA(wnd, text, sizeof text);
    if (*s->title != text)
        return TRUE;
    if (s->parent) {
        // Asked once per process: the snapshot is too slow for every poll.
        static std::vector<std::pair<DWORD, DWORD>> others; // (parent asked, process)
        const std::pair<DWORD, DWORD> asked(s->parent, pid);
        if (std::find(others.begin(), others.end(), asked) != others.end())
            return TRUE;
        if (ParentOf(pid) != s->parent) {
            others.push_back(asked);
            return TRUE;
        }
        s->pid = pid;
    }
    s->found = wnd;
    return FALSE;
}

HWND FindWindowOf(const std::string &title, DWORD pid, bool visibleOnly) {
    Search s{&title, pid, nullptr, visibleOnly};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// A window of the agent that `scheduler` started; agent is set to its process.
HWND FindAgentWindow(const std::string &title, DWORD scheduler, DWORD &agent) {
    Search s{&title, 0, nullptr, true, scheduler};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
    if (s.found)
        agent = s.pid;
    return s.found;
}

double Seconds(const LARGE_INTEGER &from, const LARGE_INTEGER &to) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(to.QuadPart - from.QuadPart) / double(f.QuadPart);
}

bool Start(const Program &p, PROCESS_INFORMATION &pi) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string desktop;
    if (p.sessionZero) {
        if (!HiddenDesktop()) {
            std::fprintf(stderr, "bench_tool: cannot make a hidden window station (error %lu)\n",
                         (unsigned long)GetLastError());
            return false;
        }
        desktop = HiddenDesktop();
        si.lpDesktop = &desktop[0];
    }
    std::vector<char> line(p.commandLine.begin(), p.commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(p.exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        std::fprintf(stderr, "bench_tool: cannot start %s (error %lu)\n", p.exe.c_str(),
                     (unsigned long)GetLastError());
        return false;
    }
    return true;
}

// Polls every millisecond: the measured start-ups take a few hundred. For a
// scheduler in session 0 mode, its agent's window; agent is set to its process.
HWND WaitVisible(const Program &p, const PROCESS_INFORMATION &pi, DWORD *agent = nullptr) {
    const DWORD begin = GetTickCount();
    DWORD found = 0;
    for (;;) {
        if (HWND wnd = p.sessionZero ? FindAgentWindow(p.title, pi.dwProcessId, found)
                                     : FindWindowOf(p.title, pi.dwProcessId, true)) {
            if (agent)
                *agent = found;
            return wnd;
        }
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0 ||
            GetTickCount() - begin > kWindowTimeoutMs)
            return nullptr;
        Sleep(1);
    }
}

void Stop(const Program &p, PROCESS_INFORMATION &pi, DWORD agent = 0) {
    // The agent ends with its pipe; it is waited for so that the next start finds
    // none of the last one's windows.
    HANDLE agentProcess = agent ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, agent) : nullptr;
    PostThreadMessageA(pi.dwThreadId, kStopScheduler, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 5000) != WAIT_OBJECT_0) {
        if (HWND wnd = FindWindowOf(p.title, pi.dwProcessId, false))
            PostMessageA(wnd, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 5000) != WAIT_OBJECT_0) {
            TerminateProcess(pi.hProcess, 1);
            WaitForSingleObject(pi.hProcess, 5000);
        }
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (agentProcess) {
        if (WaitForSingleObject(agentProcess, 5000) != WAIT_OBJECT_0) {
            TerminateProcess(agentProcess, 1);
            WaitForSingleObject(agentProcess, 5000);
        }
        CloseHandle(agentProcess);
    }
    // The scheduler asks the installer to stop the service as it ends; let that
    // finish before the next start looks for the single-instance mutex.
    Sleep(300);
}

template <typename T> T Median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int Starts(int runs, const std::vector<Program> &programs) {
    std::vector<std::vector<double>> ms(programs.size());
    for (int r = 0; r < runs; ++r) {
        for (size_t i = 0; i < programs.size(); ++i) {
            PROCESS_INFORMATION pi{};
            LARGE_INTEGER t0, t1;
            QueryPerformanceCounter(&t0);
            if (!Start(programs[i], pi))
                return 1;
            DWORD agent = 0;
            const HWND wnd = WaitVisible(programs[i], pi, &agent);
            QueryPerformanceCounter(&t1);
            Stop(programs[i], pi, agent);
            if (!wnd) {
                std::fprintf(stderr, "bench_tool: %s showed no window \"%s\"\n",
                             programs[i].exe.c_str(), programs[i].title.c_str());
                return 1;
            }
            ms[i].push_back(Seconds(t0, t1) * 1000.0);
        }
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        std::printf("start %s: median_ms=%.1f runs=",
                    programs[i].sessionZero ? "agent" : programs[i].exe.c_str(), Median(ms[i]));
        for (size_t r = 0; r < ms[i].size(); ++r)
            std::printf("%s%.0f", r ? "," : "", ms[i][r]);
        std::printf("\n");
    }
    return 0;
}

int Memory(const Program &p, bool hidden, DWORD settleMs) {
    PROCESS_INFORMATION pi{};
    if (!Start(p, pi))
        return 1;
    DWORD agent = 0;
    HWND wnd = WaitVisible(p, pi, &agent);
    // In session 0 mode the agent is measured: the scheduler waits where nobody sees.
    HANDLE measured = pi.hProcess;
    if (p.sessionZero && wnd) {
        measured = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, agent);
        if (!measured)
            wnd = nullptr;
    }
    const DWORD begin = GetTickCount();
    while (wnd && hidden && IsWindowVisible(wnd)) {
        if (GetTickCount() - begin > kWindowTimeoutMs) {
            wnd = nullptr;
            break;
        }
        Sleep(50);
    }
    if (!wnd) {
        std::fprintf(stderr, "bench_tool: %s did not reach the state to measure\n", p.exe.c_str());
        Stop(p, pi, agent);
        return 1;
    }
    Sleep(settleMs);
    std::vector<SIZE_T> workingSet, privateBytes;
    for (int i = 0; i < 5; ++i) {
        if (i)
            Sleep(1000);
        PROCESS_MEMORY_COUNTERS c{};
        c.cb = sizeof c;
        if (!GetProcessMemoryInfo(measured, &c, sizeof c)) {
            std::fprintf(stderr, "bench_tool: GetProcessMemoryInfo failed (error %lu)\n",
                         (unsigned long)GetLastError());
            Stop(p, pi, agent);
            return 1;
        }
        workingSet.push_back(c.WorkingSetSize);
        privateBytes.push_back(c.PagefileUsage);
    }
    // Still the countdown: a sample of a later state would not be what is asked.
    const bool stillThere = !p.sessionZero || IsWindowVisible(wnd);
    if (measured != pi.hProcess)
        CloseHandle(measured);
    Stop(p, pi, agent);
    if (!stillThere) {
        std::fprintf(stderr, "bench_tool: the countdown ended while it was measured\n");
        return 1;
    }
    std::printf("memory %s: working_set=%llu private=%llu\n", p.sessionZero ? "agent" : p.exe.c_str(),
                (unsigned long long)Median(workingSet), (unsigned long long)Median(privateBytes));
    return 0;
}

// A button of a window, shown and enabled.
HWND Ready(HWND dialog, int id) {
    HWND button = IsWindow(dialog) ? GetDlgItem(dialog, id) : nullptr;
    return button && IsWindowVisible(dialog) && IsWindowVisible(button) && IsWindowEnabled(button)
               ? button
               : nullptr;
}

// The dialog's button pressed as a click there reports it to the dialog.
void Press(HWND dialog, HWND button, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(button));
}

// The agent's password prompt: its title, and the password edit of template 136.
HWND FindPrompt(DWORD agent) {
    HWND prompt = FindWindowOf(kPromptTitle, agent, true);
    HWND edit = prompt ? GetDlgItem(prompt, IDC_ENTERED_PASSWORD) : nullptr;
    return edit && (GetWindowLongA(edit, GWL_STYLE) & ES_PASSWORD) ? prompt : nullptr;
}

template <typename F> bool WaitFor(F done, DWORD timeoutMs) {
    const DWORD begin = GetTickCount();
    while (!done()) {
        if (GetTickCount() - begin > timeoutMs)
            return false;
        Sleep(1);
    }
    return true;
}

// A scheduler in session 0 mode and its agent's countdown, Cancel ready.
struct Session0 {
    PROCESS_INFORMATION pi{};
    DWORD agent = 0;
    HWND countdown = nullptr;
    HWND cancel = nullptr;
    DWORD started = 0;
};

bool StartSession0(const Program &p, Session0 &s) {
    s = Session0();
    if (!Start(p, s.pi))
        return false;
    s.started = GetTickCount();
    s.countdown = WaitVisible(p, s.pi, &s.agent);
    if (s.countdown && WaitFor([&] { return (s.cancel = Ready(s.countdown, IDCANCEL)) != nullptr; }, 10000))
        return true;
    std::fprintf(stderr, "bench_tool: the agent showed no countdown with Cancel\n");
    Stop(p, s.pi, s.agent);
    return false;
}

int Clicks(int runs, const Program &p, DWORD welcomeSeconds) {
    Session0 s;
    if (!StartSession0(p, s))
        return 1;
    std::vector<double> ms;
    int restarts = 0;
    for (int r = 0; r < runs;) {
        // Not too near the countdown's end: a click then might meet its end.
        if (GetTickCount() - s.started > (welcomeSeconds - 10) * 1000) {
            Stop(p, s.pi, s.agent);
            if (++restarts > runs || !StartSession0(p, s))
                return 1;
        }
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        Press(s.countdown, s.cancel, IDCANCEL);
        HWND prompt = nullptr;
        const bool shown = WaitFor([&] { return (prompt = FindPrompt(s.agent)) != nullptr; }, 10000);
        QueryPerformanceCounter(&t1);
        if (!shown) {
            std::fprintf(stderr, "bench_tool: no password prompt in the agent after Cancel\n");
            Stop(p, s.pi, s.agent);
            return 1;
        }
        ms.push_back(Seconds(t0, t1) * 1000.0);
        ++r;
        // The prompt's Cancel: the countdown comes back and goes on.
        HWND button = nullptr;
        const bool back =
            WaitFor([&] { return (button = Ready(prompt, IDCANCEL)) != nullptr; }, 5000) &&
            (Press(prompt, button, IDCANCEL), true) &&
            WaitFor([&] { return !FindPrompt(s.agent) && (s.cancel = Ready(s.countdown, IDCANCEL)); },
                    10000);
        if (!back) {
            std::fprintf(stderr, "bench_tool: the countdown did not come back after the prompt\n");
            Stop(p, s.pi, s.agent);
            return 1;
        }
        // Let the scheduler settle before the next click, as a user would.
        Sleep(100);
    }
    Stop(p, s.pi, s.agent);
    std::printf("click agent: median_ms=%.1f runs=", Median(ms));
    for (size_t r = 0; r < ms.size(); ++r)
        std::printf("%s%.0f", r ? "," : "", ms[r]);
    std::printf(" restarts=%d\n", restarts);
    return 0;
}

// Writes into settings the scheduler wrote: without its "version" it would take
// them for none and write its defaults over them.
int Settings(DWORD welcomeSeconds, const std::string &password) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vespra", 0, KEY_READ | KEY_SET_VALUE, &key) !=
            ERROR_SUCCESS ||
        RegQueryValueExA(key, "version", nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "bench_tool: no settings written by the scheduler yet\n");
        if (key)
            RegCloseKey(key);
        return 1;
    }
    const std::string lock = ScramblePassword(password);
    const bool ok =
        RegSetValueExA(key, "welcometime", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&welcomeSeconds),
                       sizeof welcomeSeconds) == ERROR_SUCCESS &&
        RegSetValueExA(key, "lock", 0, REG_SZ, reinterpret_cast<const BYTE *>(lock.c_str()),
                       DWORD(lock.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!ok)
        std::fprintf(stderr, "bench_tool: cannot write the settings\n");
    return ok ? 0 : 1;
}

int ServiceRunning(DWORD timeoutMs) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, "Vespra", SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS status{};
    const bool running = service && WaitFor([&] {
        return QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
    }, timeoutMs);
    if (!running)
        std::fprintf(stderr, "bench_tool: the service \"Vespra\" is not running (state %lu, error %lu)\n",
                     (unsigned long)status.dwCurrentState, (unsigned long)GetLastError());
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return running ? 0 : 1;
}

int WaitForStop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        if (msg.hwnd == nullptr && msg.message == kStopScheduler)
            return 0;
    return 0;
}

int Usage() {
    std::fputs("usage: bench_tool start RUNS TITLE EXE CMDLINE [TITLE EXE CMDLINE]...\n"
               "       bench_tool memory TITLE shown|hidden SETTLE_MS EXE CMDLINE\n"
               "       bench_tool agent-memory SETTLE_MS EXE CMDLINE\n"
               "       bench_tool agent-start RUNS EXE CMDLINE [TITLE EXE CMDLINE]...\n"
               "       bench_tool agent-click RUNS WELCOME_SECONDS EXE CMDLINE\n"
               "       bench_tool settings WELCOME_SECONDS PASSWORD\n"
               "       bench_tool service-running TIMEOUT_MS\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2)
        return Usage();
    const std::string cmd = argv[1];
    if (cmd == "start") {
        if (argc < 6 || (argc - 3) % 3 != 0)
            return Usage();
        const int runs = std::atoi(argv[2]);
        std::vector<Program> programs;
        for (int i = 3; i + 2 < argc; i += 3)
            programs.push_back({argv[i], argv[i + 1], argv[i + 2]});
        return runs > 0 ? Starts(runs, programs) : Usage();
    }
    if (cmd == "memory") {
        if (argc != 7)
            return Usage();
        const std::string state = argv[3];
        if (state != "shown" && state != "hidden")
            return Usage();
        return Memory({argv[2], argv[5], argv[6]}, state == "hidden",
                      DWORD(std::strtoul(argv[4], nullptr, 10)));
    }
    if (cmd == "agent-memory" && argc == 5) {
        Program p{kAgentTitle, argv[3], argv[4], true};
        return Memory(p, false, DWORD(std::strtoul(argv[2], nullptr, 10)));
    }
    if (cmd == "agent-start" && argc >= 5 && (argc - 5) % 3 == 0) {
        const int runs = std::atoi(argv[2]);
        std::vector<Program> programs{{kAgentTitle, argv[3], argv[4], true}};
        for (int i = 5; i + 2 < argc; i += 3)
            programs.push_back({argv[i], argv[i + 1], argv[i + 2]});
        return runs > 0 ? Starts(runs, programs) : Usage();
    }
    if (cmd == "agent-click" && argc == 6) {
        const int runs = std::atoi(argv[2]);
        const DWORD welcome = DWORD(std::strtoul(argv[3], nullptr, 10));
        return runs > 0 && welcome > 20 ? Clicks(runs, {kAgentTitle, argv[4], argv[5], true}, welcome)
                                        : Usage();
    }
    if (cmd == "/service" && argc == 2)
        return WaitForStop();
    if (cmd == "service-running" && argc == 3)
        return ServiceRunning(DWORD(std::strtoul(argv[2], nullptr, 10)));
    if (cmd == "settings" && argc == 4)
        return Settings(DWORD(std::strtoul(argv[2], nullptr, 10)), argv[3]);
    return Usage();
}

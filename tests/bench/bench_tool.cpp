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
// Each program is ended afterwards as the service host ends the scheduler (thread
// message WM_USER + 1), else with WM_CLOSE, else terminated. The command line is
// passed whole, as the service host passes " /service". Exit status 1 when a
// program does not start or show its window in time.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWindowTimeoutMs = 60000;
constexpr UINT kStopScheduler = WM_USER + 1;

struct Program {
    std::string title;
    std::string exe;
    std::string commandLine;
};

struct Search {
    const std::string *title;
    DWORD pid;
    HWND found;
    bool visibleOnly;
};

BOOL CALLBACK Visit(HWND wnd, LPARAM param) {
    auto *s = reinterpret_cast<Search *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid != s->pid || (s->visibleOnly && !IsWindowVisible(wnd)))
        return TRUE;
    char text[256] = {};
    GetWindowTextA(wnd, text, sizeof text);
    if (*s->title != text)
        return TRUE;
    s->found = wnd;
    return FALSE;
}

HWND FindWindowOf(const std::string &title, DWORD pid, bool visibleOnly) {
    Search s{&title, pid, nullptr, visibleOnly};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
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

// Polls every millisecond: the measured start-ups take a few hundred.
HWND WaitVisible(const Program &p, const PROCESS_INFORMATION &pi) {
    const DWORD begin = GetTickCount();
    for (;;) {
        if (HWND wnd = FindWindowOf(p.title, pi.dwProcessId, true))
            return wnd;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0 ||
            GetTickCount() - begin > kWindowTimeoutMs)
            return nullptr;
        Sleep(1);
    }
}

void Stop(const Program &p, PROCESS_INFORMATION &pi) {
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
            const HWND wnd = WaitVisible(programs[i], pi);
            QueryPerformanceCounter(&t1);
            Stop(programs[i], pi);
            if (!wnd) {
                std::fprintf(stderr, "bench_tool: %s showed no window \"%s\"\n",
                             programs[i].exe.c_str(), programs[i].title.c_str());
                return 1;
            }
            ms[i].push_back(Seconds(t0, t1) * 1000.0);
        }
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        std::printf("start %s: median_ms=%.1f runs=", programs[i].exe.c_str(), Median(ms[i]));
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
    HWND wnd = WaitVisible(p, pi);
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
        Stop(p, pi);
        return 1;
    }
    Sleep(settleMs);
    std::vector<SIZE_T> workingSet, privateBytes;
    for (int i = 0; i < 5; ++i) {
        if (i)
            Sleep(1000);
        PROCESS_MEMORY_COUNTERS c{};
        c.cb = sizeof c;
        if (!GetProcessMemoryInfo(pi.hProcess, &c, sizeof c)) {
            std::fprintf(stderr, "bench_tool: GetProcessMemoryInfo failed (error %lu)\n",
                         (unsigned long)GetLastError());
            Stop(p, pi);
            return 1;
        }
        workingSet.push_back(c.WorkingSetSize);
        privateBytes.push_back(c.PagefileUsage);
    }
    Stop(p, pi);
    std::printf("memory %s: working_set=%llu private=%llu\n", p.exe.c_str(),
                (unsigned long long)Median(workingSet), (unsigned long long)Median(privateBytes));
    return 0;
}

int Usage() {
    std::fputs("usage: bench_tool start RUNS TITLE EXE CMDLINE [TITLE EXE CMDLINE]...\n"
               "       bench_tool memory TITLE shown|hidden SETTLE_MS EXE CMDLINE\n",
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
    return Usage();
}

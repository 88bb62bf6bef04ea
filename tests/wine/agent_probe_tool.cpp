// What a user's desktop shows of session 0 mode, for scripts: which process draws a
// window, which programs of ours run, and the user's keys and clicks on the copies.
//
//   agent_probe_tool procs                      one line for each vespra*.exe: pid,
//                                               parent pid, its top-level windows
//                                               on this desktop, command line
//   agent_probe_tool owner <title> <id> <text> <timeout_ms>
//                                               waits for a shown window whose shown
//                                               control begins with text; prints the
//                                               window's process id, then the text
//   agent_probe_tool type <title> <id> <text> <timeout_ms>   types into that edit
//   agent_probe_tool press <title> <id> <timeout_ms>         clicks that button
//   agent_probe_tool altpress <title> <id> <timeout_ms>      clicks it with Alt held
//                                               down on the keyboard (SendInput)
//   agent_probe_tool kill <pid>                 TerminateProcess
//   agent_probe_tool service                    the Vespra service: type and state
//   agent_probe_tool set-password <text>        stores it as the settings do
//
// Exit status 0 on success, 1 when the window or process is not there or the wait
// ran out, 2 on a usage error. Keys and clicks are posted, never sent.
#include <windows.h>

#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/password.h"
#include "tests/wine/wine_test_support.h"

namespace {

int Usage() {
    std::fputs("usage: agent_probe_tool procs|service|kill <pid>|set-password <text>\n"
               "       agent_probe_tool owner|type <title> <id> <text> <timeout_ms>\n"
               "       agent_probe_tool press|altpress <title> <id> <timeout_ms>\n",
               stderr);
    return 2;
}

// The command line from the process's own parameters: Wine keeps them as Windows
// does, and no call answers it for another process on every version.
std::string CommandLineOf(DWORD pid) {
    using Query = LONG(WINAPI *)(HANDLE, PROCESSINFOCLASS, void *, ULONG, ULONG *);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    std::string out = "?";
    PROCESS_BASIC_INFORMATION basic{};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS params{};
    if (p && query && query(p, ProcessBasicInformation, &basic, sizeof basic, nullptr) == 0 &&
        ReadProcessMemory(p, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
        ReadProcessMemory(p, peb.ProcessParameters, &params, sizeof params, nullptr)) {
        std::wstring wide(params.CommandLine.Length / sizeof(WCHAR), L'\0');
        if (ReadProcessMemory(p, params.CommandLine.Buffer, &wide[0], params.CommandLine.Length, nullptr)) {
            out.assign(wide.size() * 3 + 1, '\0');
            out.resize(size_t(WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), &out[0],
                                                  int(out.size()), nullptr, nullptr)));
        }
    }
    if (p)
        CloseHandle(p);
    return out;
}

int WindowsHere(DWORD pid) {
    struct Count {
        DWORD pid;
        int n;
    } count{pid, 0};
    struct Visit {
        static BOOL CALLBACK Window(HWND hwnd, LPARAM lp) {
            auto *c = reinterpret_cast<Count *>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            c->n += owner == c->pid;
            return TRUE;
        }
    };
    EnumWindows(Visit::Window, reinterpret_cast<LPARAM>(&count));
    return count.n;
}

int Procs() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry)) {
        if (_strnicmp(entry.szExeFile, "vespra", 6) == 0)
            std::printf("%lu %lu %d %s\n", entry.th32ProcessID, entry.th32ParentProcessID,
                        WindowsHere(entry.th32ProcessID), CommandLineOf(entry.th32ProcessID).c_str());
    }
    CloseHandle(snap);
    return 0;
}

// A shown window with this title whose control id is shown and begins with text.
HWND Find(const char *title, int id, const std::string &text, DWORD timeoutMs) {
    for (const DWORD start = GetTickCount();; Sleep(50)) {
        for (HWND wnd : wt::FindTopLevelWindows(title)) {
            HWND ctl = GetDlgItem(wnd, id);
            if (IsWindowVisible(wnd) && ctl && IsWindowVisible(ctl) &&
                wt::GetControlText(wnd, id).compare(0, text.size(), text) == 0)
                return wnd;
        }
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
    }
}

int Service() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager ? OpenServiceA(manager, "Vespra", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS) : nullptr;
    char buffer[8192] = {};
    auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(buffer);
    DWORD needed = 0;
    SERVICE_STATUS status{};
    const bool ok = service && QueryServiceConfigA(service, config, sizeof buffer, &needed) &&
                    QueryServiceStatus(service, &status);
    if (ok)
        std::printf("0x%lx %lu\n", config->dwServiceType, status.dwCurrentState);
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "procs" && argc == 2)
        return Procs();
    if (cmd == "service" && argc == 2)
        return Service();
    if (cmd == "kill" && argc == 3) {
        HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(std::strtoul(argv[2], nullptr, 10)));
        const bool ok = p && TerminateProcess(p, 1);
        if (p)
            CloseHandle(p);
        return ok ? 0 : 1;
    }
    if (cmd == "set-password" && argc == 3) {
        HKEY key = nullptr;
        const std::string stored = ScramblePassword(argv[2]);
        const bool ok =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vespra", 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) == ERROR_SUCCESS &&
            RegSetValueExA(key, "lock", 0, REG_SZ, reinterpret_cast<const BYTE *>(stored.c_str()),
                           DWORD(stored.size() + 1)) == ERROR_SUCCESS;
        if (key)
            RegCloseKey(key);
        return ok ? 0 : 1;
    }
    const bool alt = cmd == "altpress" && argc == 5;
    const bool press = (cmd == "press" || alt) && argc == 5;
    if (!press && !((cmd == "owner" || cmd == "type") && argc == 6))
        return Usage();
    const int id = std::atoi(argv[3]);
    const std::string text = press ? "" : argv[4];
    HWND wnd = Find(argv[2], id, cmd == "owner" ? text : "", DWORD(std::strtoul(argv[argc - 1], nullptr, 10)));
    if (!wnd) {
        std::fprintf(stderr, "agent_probe_tool: no window \"%s\" with control %d shown\n", argv[2], id);
        return 1;
    }
    if (alt) {
        // Alt goes down as a key of the keyboard, which the window's thread has taken in
        // before the click is posted; it comes up once the click has been handled.
        SetForegroundWindow(wnd);
        INPUT key = {};
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = VK_MENU;
        if (SendInput(1, &key, sizeof key) != 1)
            return 1;
        Sleep(500);
        const bool clicked = wt::ClickButton(wnd, id);
        Sleep(500);
        key.ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(1, &key, sizeof key);
        return clicked ? 0 : 1;
    }
    if (press)
        return wt::ClickButton(wnd, id) ? 0 : 1;
    if (cmd == "type") {
        HWND edit = GetDlgItem(wnd, id);
        for (unsigned char c : text)
            if (!PostMessageA(edit, WM_CHAR, c, 1))
                return 1;
        return 0;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    std::printf("%lu\n%s\n", pid, wt::GetControlText(wnd, id).c_str());
    return 0;
}

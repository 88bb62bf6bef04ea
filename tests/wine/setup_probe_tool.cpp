// What the setup end-to-end test (setup_end_to_end.sh) asks of Windows itself, each
// through the real API:
//
//   setup_probe_tool shortcut <file.lnk>     "target=" and "arguments=" lines (IShellLink)
//   setup_probe_tool password <text>         stores text as the password, scrambled as
//                                            an older version did, with no hash ("" clears it)
//   setup_probe_tool run-uninstaller <exe> <timeout_ms>
//                                            runs the uninstaller with /S and waits for
//                                            the copy of itself it hands over to; prints
//                                            "exit=" and that copy's exit code
//   setup_probe_tool dismiss-box <title> <text> <timeout_ms>
//                                            waits for a message box whose text begins
//                                            with text, prints the text, presses OK
//
// Exit status 0 on success, 1 when the thing asked about is missing or a wait ran
// out, 2 on a usage error, 3 when Windows could not be asked.
//
// Questions of whether something is there answer "present" (exit 0) or "absent"
// (exit 1) on the first line, or "error: ..." (exit 3) when Windows could not be
// asked. A script takes only those two answers as an answer, so a probe that
// failed or timed out is never read as "absent":
//
//   setup_probe_tool service                 the service "Vespra"; when present, its
//                                            "path=", "start=", "type=", "state=" lines
//   setup_probe_tool running <name>...       any of these programs (lower case); when
//                                            present, the names of those that run
//   setup_probe_tool key <key>               a key under HKLM ("HKLM\\..." or without)
//   setup_probe_tool value <key> <name>      a value of such a key
//   setup_probe_tool window <title> <timeout_ms>
//                                            a visible top-level window with this
//                                            title, waited for up to timeout_ms
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <objidl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/text.h"
#include "settings/password.h"
#include "tests/wine/wine_test_support.h"

namespace {

const int kMessageBoxText = 0xFFFF; // the static control of a message box
const int kPresent = 0, kAbsent = 1, kError = 3;

int Usage() {
    std::fputs(
        "usage: setup_probe_tool shortcut <file.lnk> | service | running <name>... |\n"
        "       key <key> | value <key> <name> |\n"
        "       window <title> <timeout_ms> | password <text> |\n"
        "       run-uninstaller <exe> <timeout_ms> | dismiss-box <title> <text> <timeout_ms>\n",
        stderr);
    return 2;
}

int Answer(bool present) {
    std::puts(present ? "present" : "absent");
    return present ? kPresent : kAbsent;
}

int Error(const char *what, DWORD code) {
    std::printf("error: %s failed with %lu\n", what, code);
    return kError;
}

void PrintLine(const std::string &name, const std::string &value) {
    std::printf("%s=%s\n", name.c_str(), value.c_str());
}

std::string Narrow(const wchar_t *text) {
    char buffer[2 * MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return buffer;
}

int Shortcut(const char *file) {
    if (FAILED(CoInitialize(nullptr)))
        return 1;
    int rc = 1;
    IShellLinkW *link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void **>(&link)))) {
        IPersistFile *persist = nullptr;
        wchar_t wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, file, -1, wide, MAX_PATH);
        if (SUCCEEDED(
                link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&persist)))) {
            wchar_t target[MAX_PATH] = {};
            wchar_t arguments[MAX_PATH] = {};
            if (SUCCEEDED(persist->Load(wide, STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
                SUCCEEDED(link->GetArguments(arguments, MAX_PATH))) {
                PrintLine("target", Narrow(target));
                PrintLine("arguments", Narrow(arguments));
                rc = 0;
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return rc;
}

int Service() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return Error("OpenSCManager", GetLastError());
    SC_HANDLE service =
        OpenServiceA(manager, "Vespra", SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    int rc;
    if (!service) {
        const DWORD error = GetLastError();
        rc = error == ERROR_SERVICE_DOES_NOT_EXIST ? Answer(false) : Error("OpenService", error);
    } else {
        DWORD needed = 0;
        QueryServiceConfigA(service, nullptr, 0, &needed);
        std::vector<char> buffer(needed + sizeof(QUERY_SERVICE_CONFIGA));
        auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(buffer.data());
        SERVICE_STATUS status{};
        if (QueryServiceConfigA(service, config, DWORD(buffer.size()), &needed) &&
            QueryServiceStatus(service, &status)) {
            rc = Answer(true);
            PrintLine("path", config->lpBinaryPathName ? config->lpBinaryPathName : "");
            PrintLine("start", std::to_string(config->dwStartType));
            PrintLine("type", std::to_string(config->dwServiceType));
            PrintLine("state", std::to_string(status.dwCurrentState));
        } else {
            rc = Error("QueryServiceConfig", GetLastError());
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return rc;
}

// (pid, parent pid, lower-case name) of every process.
struct ProcessEntry {
    DWORD pid;
    DWORD parent;
    std::string name;
};

// Empty only when the snapshot failed: the probe itself always runs.
std::vector<ProcessEntry> Snapshot() {
    std::vector<ProcessEntry> all;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return all;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry))
        all.push_back({entry.th32ProcessID, entry.th32ParentProcessID, ToLower(entry.szExeFile)});
    CloseHandle(snap);
    return all;
}

int Running(char **names, int count) {
    const std::vector<ProcessEntry> all = Snapshot();
    if (all.empty())
        return Error("CreateToolhelp32Snapshot", GetLastError());
    std::vector<std::string> found;
    for (const ProcessEntry &p : all)
        for (int i = 0; i < count; ++i)
            if (p.name == ToLower(names[i]))
                found.push_back(p.name);
    const int rc = Answer(!found.empty());
    for (const std::string &name : found)
        std::printf("%s\n", name.c_str());
    return rc;
}

// The key's path under HKLM; "HKLM\\" in front is allowed, as "reg" writes it.
std::string UnderHklm(std::string key) {
    const std::string root = "hklm\\";
    if (ToLower(key.substr(0, root.size())) == root)
        key.erase(0, root.size());
    return key;
}

int Key(const std::string &key, const char *value) {
    HKEY handle = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, UnderHklm(key).c_str(), 0, KEY_READ, &handle);
    if (rc == ERROR_SUCCESS && value) {
        rc = RegQueryValueExA(handle, value, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(handle);
    } else if (rc == ERROR_SUCCESS) {
        RegCloseKey(handle);
    }
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
        return Answer(rc == ERROR_SUCCESS);
    return Error(value ? "RegQueryValueEx" : "RegOpenKeyEx", DWORD(rc));
}

int Password(const std::string &text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vespra", 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return 1;
    const std::string stored = ScramblePassword(text);
    const LONG rc =
        RegSetValueExA(key, "lock", 0, REG_SZ, reinterpret_cast<const BYTE *>(stored.c_str()),
                       DWORD(stored.size() + 1));
    // The hash an update left would still be the password.
    RegDeleteValueA(key, "lock_hash");
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : 1;
}

// The uninstaller starts a copy of itself from the temporary folder and ends at once
// with 0; the copy's exit code is the answer. The copy is its child: watched for
// while the original runs and for a moment after.
int RunUninstaller(const std::string &exe, DWORD timeoutMs) {
    wt::Process original = wt::StartProcess(exe, "\"" + exe + "\" /S");
    if (!original.Valid()) {
        std::fprintf(stderr, "setup_probe_tool: can't start %s\n", exe.c_str());
        return 1;
    }
    HANDLE copy = nullptr;
    for (DWORD waited = 0; !copy && waited < 10000; waited += 10) {
        const bool ended = original.WaitForExit(10);
        for (const ProcessEntry &p : Snapshot()) {
            if (p.parent == original.Id() && p.pid != original.Id()) {
                copy = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, p.pid);
                if (copy)
                    break;
            }
        }
        if (ended && !copy && waited >= 2000)
            break;
    }
    if (!copy) {
        std::fprintf(stderr, "setup_probe_tool: the uninstaller started no copy (exit %lu)\n",
                     original.ExitCode());
        return 1;
    }
    const bool ended = WaitForSingleObject(copy, timeoutMs) == WAIT_OBJECT_0;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(copy, &code);
    if (!ended)
        TerminateProcess(copy, 1);
    CloseHandle(copy);
    if (!ended) {
        std::fprintf(stderr, "setup_probe_tool: the uninstaller still ran after %lu ms\n",
                     timeoutMs);
        return 1;
    }
    std::printf("exit=%lu\n", code);
    return 0;
}

int DismissBox(const std::string &title, const std::string &want, DWORD timeoutMs) {
    HWND box = nullptr;
    std::string text;
    // Other dialogs may carry the same title: only a message box with this text.
    const auto shown = [&] {
        for (HWND wnd : wt::FindTopLevelWindows(title, "#32770")) {
            text = wt::GetControlText(wnd, kMessageBoxText);
            if (IsWindowVisible(wnd) && text.compare(0, want.size(), want) == 0) {
                box = wnd;
                return true;
            }
        }
        return false;
    };
    if (!wt::WaitUntil(shown, timeoutMs))
        return 1;
    _setmode(_fileno(stdout), _O_BINARY);
    std::printf("%s\n", text.c_str());
    return wt::ClickButton(box, IDOK) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2)
        return Usage();
    const std::string cmd = argv[1];
    if (cmd == "shortcut" && argc == 3)
        return Shortcut(argv[2]);
    if (cmd == "service" && argc == 2)
        return Service();
    if (cmd == "running" && argc >= 3)
        return Running(argv + 2, argc - 2);
    if (cmd == "key" && argc == 3)
        return Key(argv[2], nullptr);
    if (cmd == "value" && argc == 4)
        return Key(argv[2], argv[3]);
    if (cmd == "window" && argc == 4)
        return Answer(wt::WaitForWindow(argv[2], DWORD(std::strtoul(argv[3], nullptr, 10))) !=
                      nullptr);
    if (cmd == "password" && argc == 3)
        return Password(argv[2]);
    if (cmd == "run-uninstaller" && argc == 4)
        return RunUninstaller(argv[2], DWORD(std::strtoul(argv[3], nullptr, 10)));
    if (cmd == "dismiss-box" && argc == 5)
        return DismissBox(argv[2], argv[3], DWORD(std::strtoul(argv[4], nullptr, 10)));
    return Usage();
}

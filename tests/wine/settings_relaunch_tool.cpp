// vespra.exe with a stand-in for the settings write check, which Wine always
// passes: the first start can't write and re-launches itself; the start it
// re-launched records its command line in relaunch_record.txt beside the program
// and ends there.
#include <windows.h>

#include <string>

#include "scheduler/app.h"
#include "system/platform_calls.h"

CVespraApp theApp;

bool CanWriteSettingsKey() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string record = self;
    record = record.substr(0, record.find_last_of('\\') + 1) + "relaunch_record.txt";
    const bool first = GetFileAttributesA(record.c_str()) == INVALID_FILE_ATTRIBUTES;
    HANDLE file = CreateFileA(record.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    const std::string line = std::string(first ? "first: " : "relaunched: ") + GetCommandLineA();
    DWORD written = 0;
    WriteFile(file, line.c_str(), DWORD(line.size()), &written, nullptr);
    CloseHandle(file);
    if (!first)
        ExitProcess(0);
    return false;
}

bool ElevationAlreadyTried() {
    return false;
}

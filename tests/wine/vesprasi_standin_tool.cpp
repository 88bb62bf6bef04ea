// Stands in for the service installer in the tests of the service-control client:
// records the command line it was given and how the start-up code split it, beside
// itself in "vesprasi_record.txt", then signals the event the test waits on.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    char self[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, n < MAX_PATH ? n : 0);
    const size_t slash = path.find_last_of('\\');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);

    FILE *out = fopen((dir + "\\vesprasi_record.txt").c_str(), "wb");
    if (!out)
        return 1;
    fprintf(out, "module=[%s]\n", path.c_str());
    fprintf(out, "cmdline=[%s]\n", GetCommandLineA());
    fprintf(out, "argc=%d\n", argc);
    for (int i = 0; i < argc; ++i)
        fprintf(out, "argv%d=[%s]\n", i, argv[i]);
    fclose(out);

    if (HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, "VesprasiStandinDone")) {
        SetEvent(done);
        CloseHandle(done);
    }
    return 0;
}

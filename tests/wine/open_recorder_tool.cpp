// Stands in for the browser and the mail program: the Wine tests register it as the
// shell's handler of what the About dialog opens, so nothing on the host is started.
// Appends its command line's arguments, one line per start, to open_record.txt
// beside itself.
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/app.h"
#include "tests/wine/wine_test_support.h"

int main() {
    const std::string args = CommandLineTail(GetCommandLineA());
    const std::string path = wt::ExeDir() + "\\open_record.txt";
    if (FILE *f = std::fopen(path.c_str(), "ab")) {
        std::fprintf(f, "%s\n", args.c_str());
        std::fclose(f);
    }
    return 0;
}

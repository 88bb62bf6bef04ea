// vesprasi.exe, a program without windows: one command as its argument, message
// boxes only.
#include "framework/text.h"
#include "installer/installer.h"

// main, not WinMain: the runtime calls either, and the library's application
// framework, which the process walk brings along, has a WinMain of its own.
int main() {
    // The argument as the scheduler's start-up reads its own: the program-name
    // token and the blanks after it skipped, the rest untouched.
    return installer::RunInstaller(CommandLineTail(GetCommandLineA()));
}

// A small driver for the programs' windows, for scripts that cannot call Win32
// themselves (scripts/run.sh). Finds a top-level window by its title and acts on it
// as a user or the service host would:
//
//   window_driver_tool wait-window <title> <timeout_ms>  wait until it is visible
//   window_driver_tool wait-gone <title> <timeout_ms>    wait until none is left
//   window_driver_tool get-text <title> <control id>     print the control's text
//   window_driver_tool click <title> <control id>        click a button
//   window_driver_tool close <title>                     WM_CLOSE to the window
//   window_driver_tool stop <title>                      WM_USER+1 to its thread
//   window_driver_tool wait-text <title> <control id> <text> <timeout_ms>
//                                                        wait until the control's
//                                                        text begins with text, then
//                                                        print it
//
// Exit status 0 on success, 1 when the window or control is not there or the wait
// ran out, 2 on a usage error. Messages are posted, never sent, so a modal loop
// the click opens cannot block the driver.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/wine/wine_test_support.h"

namespace {

constexpr UINT kStopScheduler = WM_USER + 1;

int Usage() {
    std::fputs("usage: window_driver_tool wait-window|wait-gone <title> <timeout_ms>\n"
               "       window_driver_tool get-text|click <title> <control id>\n"
               "       window_driver_tool close|stop <title>\n"
               "       window_driver_tool wait-text <title> <control id> <text> <timeout_ms>\n",
               stderr);
    return 2;
}

int Missing(const char *what, const char *title) {
    std::fprintf(stderr, "window_driver_tool: %s \"%s\" not found\n", what, title);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        return Usage();
    const std::string cmd = argv[1];
    const char *title = argv[2];

    if (cmd == "wait-window" || cmd == "wait-gone") {
        if (argc != 4)
            return Usage();
        const DWORD timeout = DWORD(std::strtoul(argv[3], nullptr, 10));
        const bool done = cmd == "wait-gone" ? wt::WaitForNoWindow(title, timeout)
                                             : wt::WaitForWindow(title, timeout) != nullptr;
        return done ? 0 : 1;
    }

    if (cmd == "wait-text") {
        if (argc != 6)
            return Usage();
        const int id = std::atoi(argv[3]);
        const std::string want = argv[4];
        std::string text;
        const auto shown = [&] {
            for (HWND wnd : wt::FindTopLevelWindows(title)) {
                text = wt::GetControlText(wnd, id);
                if (text.compare(0, want.size(), want) == 0)
                    return true;
            }
            return false;
        };
        if (!wt::WaitUntil(shown, DWORD(std::strtoul(argv[5], nullptr, 10))))
            return 1;
        _setmode(_fileno(stdout), _O_BINARY);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }

    const std::vector<HWND> windows = wt::FindTopLevelWindows(title);
    if (windows.empty())
        return Missing("window", title);
    HWND wnd = windows.front();

    if (cmd == "get-text" || cmd == "click") {
        if (argc != 4)
            return Usage();
        const int id = std::atoi(argv[3]);
        if (!GetDlgItem(wnd, id))
            return Missing("control of window", title);
        if (cmd == "click")
            return wt::ClickButton(wnd, id) ? 0 : 1;
        const std::string text = wt::GetControlText(wnd, id);
        // Byte for byte: no CR added before each LF.
        _setmode(_fileno(stdout), _O_BINARY);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    if (argc != 3)
        return Usage();
    if (cmd == "close")
        return PostMessageA(wnd, WM_CLOSE, 0, 0) ? 0 : 1;
    if (cmd == "stop") {
        // The service host stops the scheduler with a thread message to the
        // thread that owns its dialog.
        const DWORD thread = GetWindowThreadProcessId(wnd, nullptr);
        return thread && wt::PostThreadMsg(thread, kStopScheduler) ? 0 : 1;
    }
    return Usage();
}

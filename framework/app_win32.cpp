// Program entry of the Windows build: the application object does its work in
// InitInstance. A message-filter hook lets PreTranslateMessage see the messages
// that the modal loops of dialogs and message boxes pull, thread messages included.
// Help opens the HTML page for the request beside the program.
#include <string>

#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/help.h"
#include "framework/shell.h"

namespace {
HHOOK g_msgFilter = nullptr;

LRESULT CALLBACK MessageFilter(int code, WPARAM wp, LPARAM lp) {
    if (code == MSGF_DIALOGBOX || code == MSGF_MESSAGEBOX) {
        CWinApp *app = AfxGetApp();
        if (app && app->PreTranslateMessage(reinterpret_cast<MSG *>(lp)))
            return 1;
    }
    return CallNextHookEx(g_msgFilter, code, wp, lp);
}

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}
} // namespace

void CWinApp::WinHelp(DWORD data, UINT cmd) {
    // The page opens in the user's own browser: nothing of ours stays open, so
    // HELP_QUIT (and any other command without a page) has nothing to do.
    const std::string target = HelpTarget(cmd, data, ProgramPath());
    if (!target.empty())
        ShellOpen(target);
}

int AfxWinMain() {
    CWinApp *app = AfxGetApp();
    if (!app)
        return 1;
    app->m_lpCmdLine = CommandLineTail(GetCommandLineA());
    g_msgFilter = SetWindowsHookExA(WH_MSGFILTER, MessageFilter, nullptr, GetCurrentThreadId());
    app->InitInstance();
    if (g_msgFilter)
        UnhookWindowsHookEx(g_msgFilter);
    g_msgFilter = nullptr;
    return app->m_nExitCode;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return AfxWinMain(); }

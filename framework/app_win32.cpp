// Program entry of the Windows build: the application object does its work in
// InitInstance. A message-filter hook lets PreTranslateMessage see the messages
// that the modal loops of dialogs and message boxes pull, thread messages included.
#include <string>

#include "framework/app.h"
#include "framework/dialog.h"

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

std::string HelpFilePath() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n < MAX_PATH ? n : 0);
    size_t dot = p.find_last_of('.');
    if (dot != std::string::npos && p.find_last_of('\\') < dot)
        p.erase(dot);
    return p + ".hlp";
}
} // namespace

void CWinApp::WinHelp(DWORD data, UINT cmd) {
    HWND owner = m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr;
    ::WinHelpA(owner, HelpFilePath().c_str(), cmd, data);
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

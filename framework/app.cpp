#include "framework/app.h"

#include "framework/dialog.h"
#include "framework/text.h"
#include "resources/resource.h"

namespace {
CWinApp *g_app = nullptr;
}

CWinApp::CWinApp() {
    g_app = this;
}
CWinApp::~CWinApp() {
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance() {
    return FALSE;
}
BOOL CWinApp::PreTranslateMessage(MSG *) {
    return FALSE;
}

CWinApp *AfxGetApp() {
    return g_app;
}

int AfxMessageBox(const std::string &text, UINT type) {
    CWinApp *app = AfxGetApp();
    HWND owner = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
    return PlatformMessageBox(owner, text, LoadStr(IDS_VESPRA), type);
}

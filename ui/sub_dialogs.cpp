#include "settings/policy.h"
#include "ui/sub_dialogs.h"

#include "framework/app.h"
#include "framework/shell.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "system/files.h"
#include "system/platform_calls.h"

CAdvancedDlg::CAdvancedDlg(CDialog *parent, BOOL isNT)
    : CDialog(IDD_ADVANCED, parent), m_bIsNT(isNT) {}

void CAdvancedDlg::DoDataExchange(CDataExchange *pDX) {
    DDX_Check(pDX, IDC_KILL_DOS, m_bKillDosApps);
    DDX_Check(pDX, IDC_DISABLE_CPL, m_bDisableCpl);
    DDX_Check(pDX, IDC_DISABLE_REGPGMS, m_bDisableRegPgms);
}

BOOL CAdvancedDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // These two act on Windows 95/98/Me only; on NT they keep the state they were given.
    EnableDlgItem(IDC_DISABLE_CPL, !m_bIsNT && !(m_nManaged & kManagedDisableCpl));
    EnableDlgItem(IDC_DISABLE_REGPGMS, !m_bIsNT && !(m_nManaged & kManagedDisableRegPgms));
    EnableDlgItem(IDC_KILL_DOS, !(m_nManaged & kManagedKillDosApps));
    return TRUE;
}

void CAdvancedDlg::OnOK() {
    CDialog::OnOK();
}

CCheckTimesDlg::CCheckTimesDlg(CDialog *parent) : CDialog(IDD_CHECK_TIMES, parent) {}

void CCheckTimesDlg::DoDataExchange(CDataExchange *pDX) {
    DDX_Check(pDX, IDC_DONT_SHOW_AGAIN, m_bDontShowAgain);
}

BOOL CCheckTimesDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    PlayMessageBeep(MB_ICONQUESTION);
    return TRUE;
}

CAboutDlg::CAboutDlg(CDialog *parent) : CDialog(IDD_ABOUTBOX, parent) {}

BOOL CAboutDlg::OnCommand(UINT id, UINT notifyCode) {
    switch (id) {
    case IDC_WEB_SITE:
        OpenLink(IDS_WEB_SITE_URL);
        return TRUE;
    case IDC_EMAIL:
        OpenLink(IDS_FEEDBACK_URL);
        return TRUE;
    default:
        return CDialog::OnCommand(id, notifyCode);
    }
}

void CAboutDlg::OnDestroy() {
    AfxQuitHelp();
}

void CAboutDlg::OpenLink(UINT stringId) {
    // The browser or mail program must be able to come in front of us.
    SetNotTopmost();
    CWaitCursor wait;
    const std::string link = LoadStr(stringId);
    if (!link.empty())
        ShellOpen(LinkTarget(link, GetProgramPath()));
}

std::string LinkTarget(const std::string &link, const std::string &programPath) {
    // "scheme:..." and "c:\..." are complete; so is a path from the root.
    if (link.empty() || link.find(':') != std::string::npos || link[0] == '\\')
        return link;
    const size_t slash = programPath.find_last_of('\\');
    if (slash == std::string::npos)
        return link;
    return programPath.substr(0, slash + 1) + link;
}

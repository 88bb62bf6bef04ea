// The small dialogs the settings dialog opens: advanced options (template 202), the
// after-midnight question (template 200) and About (template 131). None of them
// stores anything; the settings dialog takes their results.
#pragma once

#include <string>

#include "framework/dialog.h"

class CAdvancedDlg : public CDialog {
public:
    // isNT: the two Windows 95/98/Me options are shown greyed with their state.
    CAdvancedDlg(CDialog *parent, BOOL isNT);

    void DoDataExchange(CDataExchange *pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    BOOL m_bKillDosApps = FALSE;
    BOOL m_bDisableCpl = FALSE;
    BOOL m_bDisableRegPgms = FALSE;
    BOOL m_bIsNT;
    // The options an organisation manages (PolicyItem bits) are shown greyed.
    unsigned m_nManaged = 0;
};

class CCheckTimesDlg : public CDialog {
public:
    explicit CCheckTimesDlg(CDialog *parent);

    void DoDataExchange(CDataExchange *pDX) override;
    BOOL OnInitDialog() override;

    BOOL m_bDontShowAgain = FALSE;
};

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CDialog *parent);

    BOOL OnCommand(UINT id, UINT notifyCode) override;
    void OnDestroy() override;

    // Opens the string's address with the shell: out of the topmost band first, with
    // the wait cursor during the call. A failure shows nothing.
    void OpenLink(UINT stringId);
};

// What the About dialog opens for a string: a URL as it is; a relative path (the
// bundled help) beside the program, whose full path is given.
std::string LinkTarget(const std::string &link, const std::string &programPath);

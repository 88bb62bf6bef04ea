#include "ui/password_dlg.h"

#include "framework/app.h"
#include "framework/datetime.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "settings/password.h"
#include "settings/password_tries.h"

CSetPasswordDlg::CSetPasswordDlg(CDialog *parent) : CDialog(IDD_SET_PASSWORD, parent) {}

void CSetPasswordDlg::DoDataExchange(CDataExchange *pDX) {
    DDX_Text(pDX, IDC_NEW_PASSWORD, m_sNewPassword);
    DDX_Text(pDX, IDC_REENTER_PASSWORD, m_sReenterPassword);
    DDX_Text(pDX, IDC_CURRENT_PASSWORD, m_sCurrentPassword);
}

BOOL CSetPasswordDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    LimitText(IDC_CURRENT_PASSWORD, kMaxPasswordChars);
    LimitText(IDC_NEW_PASSWORD, kMaxPasswordChars);
    LimitText(IDC_REENTER_PASSWORD, kMaxPasswordChars);
    // The password in force is never shown.
    SetDlgItemText(IDC_CURRENT_PASSWORD, "");
    if (!m_currentLock.IsSet()) {
        EnableDlgItem(IDC_CURRENT_LABEL, FALSE);
        EnableDlgItem(IDC_CURRENT_PASSWORD, FALSE);
        SetDlgItemText(IDC_PASSWORD_HINT, LoadStr(IDS_PASSWORD_HINT));
    }
    return TRUE;
}

void CSetPasswordDlg::Refuse(UINT stringId, int editId) {
    ShowMessage(stringId, MB_OK);
    SelectAllText(editId);
    GotoDlgCtrl(editId);
}

void CSetPasswordDlg::OnOK() {
    m_sCurrentPassword = GetDlgItemText(IDC_CURRENT_PASSWORD);
    if (m_currentLock.IsSet() && !m_currentLock.Accepts(m_sCurrentPassword)) {
        Refuse(IDS_WRONG_CURRENT_PASSWORD, IDC_CURRENT_PASSWORD);
        return;
    }
    m_sNewPassword = GetDlgItemText(IDC_NEW_PASSWORD);
    m_sReenterPassword = GetDlgItemText(IDC_REENTER_PASSWORD);
    if (m_sNewPassword != m_sReenterPassword) {
        Refuse(IDS_PASSWORDS_DIFFER, IDC_NEW_PASSWORD);
        return;
    }
    if (!m_sNewPassword.empty() && m_sNewPassword.size() < kMinPasswordChars) {
        Refuse(IDS_PASSWORD_TOO_SHORT, IDC_NEW_PASSWORD);
        return;
    }
    // A password the stores would change or drop must not be accepted and lost.
    if (!m_sNewPassword.empty() && !IsStorablePassword(m_sNewPassword)) {
        Refuse(IDS_PASSWORD_NOT_STORABLE, IDC_NEW_PASSWORD);
        return;
    }
    CDialog::OnOK();
}

void CSetPasswordDlg::OnDestroy() {
    AfxQuitHelp();
}

int CSetPasswordDlg::ShowMessage(UINT stringId, UINT type) {
    return MessageBox(LoadStr(stringId), LoadStr(IDS_VESPRA), type);
}

CEnterPasswordDlg::CEnterPasswordDlg(BOOL bCancelMode, CDialog *parent)
    : CDialog(IDD_ENTER_PASSWORD, parent), m_bCancelMode(bCancelMode) {}

void CEnterPasswordDlg::DoDataExchange(CDataExchange *pDX) {
    DDX_Text(pDX, IDC_ENTERED_PASSWORD, m_sPassword);
}

BOOL CEnterPasswordDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (m_bCancelMode) {
        ShowDlgItem(IDC_SETTINGS_PROMPT, FALSE);
        ShowDlgItem(IDC_CANCEL_PROMPT, TRUE);
    }
    // The scheduler's own timer stands still meanwhile, in either mode: the prompt
    // can't stay long, or a prompt left open would hold the schedule for good.
    if (SetTimer(IDT_ENTER_PASSWORD, 30000) != IDT_ENTER_PASSWORD) {
        AfxMessageBox(LoadStr(IDS_SETTIMER_FAILED), MB_ICONHAND);
        m_sPassword.clear();
        EndDialog(IDOK);
        return TRUE;
    }
    LimitText(IDC_ENTERED_PASSWORD, kMaxPasswordChars);
    return TRUE;
}

void CEnterPasswordDlg::OnTimer(UINT_PTR) {
    EndDialog(IDCANCEL);
}

void CEnterPasswordDlg::OnDestroy() {
    AfxQuitHelp();
}

PasswordAnswer AskPassword(BOOL bCancelMode, const PasswordLock &lock, DWORD &waitSeconds) {
    PasswordTries tries = ReadPasswordTries();
    waitSeconds = PasswordWaitSeconds(tries, DWORD(CTime::GetCurrentTime().GetTime()));
    if (waitSeconds > 0)
        return PasswordAnswer::Waiting;
    CEnterPasswordDlg password(bCancelMode, nullptr);
    password.DoModal();
    if (lock.Accepts(password.m_sPassword)) {
        if (tries.count != 0)
            WritePasswordTries(PasswordTries());
        return PasswordAnswer::Right;
    }
    if (password.m_sPassword.empty())
        return PasswordAnswer::None;
    ++tries.count;
    // The time after the check: the derivation itself takes a while.
    tries.lastWrong = DWORD(CTime::GetCurrentTime().GetTime());
    WritePasswordTries(tries);
    return PasswordAnswer::Wrong;
}

std::string PasswordWaitText(DWORD seconds) {
    return FormatText(LoadStr(IDS_PASSWORD_WAIT), std::to_string(seconds));
}

// The password dialogs: CSetPasswordDlg changes the password inside the settings
// dialog (template 135); CEnterPasswordDlg asks for it before a cancel or before
// the settings (template 136). Neither stores anything; callers compare and keep.
#pragma once

#include <string>

#include "framework/dialog.h"
#include "settings/password.h"

constexpr UINT_PTR IDT_ENTER_PASSWORD = 6809;
constexpr int kMaxPasswordChars = 10;
constexpr size_t kMinPasswordChars = 3;

class CSetPasswordDlg : public CDialog {
public:
    explicit CSetPasswordDlg(CDialog *parent);

    void DoDataExchange(CDataExchange *pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnDestroy() override;

    // A box owned by this dialog, captioned "Vespra".
    int ShowMessage(UINT stringId, UINT type);

    std::string m_sNewPassword;     // the result
    std::string m_sReenterPassword; // the new password typed again
    std::string m_sCurrentPassword; // after OK: what was typed as the current password
    PasswordLock m_currentLock;     // in: the password in force, checked, never shown

private:
    // Shows the message and puts the focus, with the text selected, on the edit.
    void Refuse(UINT stringId, int editId);
};

class CEnterPasswordDlg : public CDialog {
public:
    // bCancelMode: asking before a cancel rather than before the settings. Either
    // closes itself after 30 s.
    CEnterPasswordDlg(BOOL bCancelMode, CDialog *parent);

    void DoDataExchange(CDataExchange *pDX) override;
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

    std::string m_sPassword; // what was typed; empty after Cancel or the time-out
    BOOL m_bCancelMode;
};

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

// What came of asking for the password before a cancel or the settings.
enum class PasswordAnswer {
    Right,
    Wrong,   // something typed, and not the password
    None,    // nothing typed: Cancel, the time-out, OK on an empty box
    Waiting, // the prompt did not open: wrong tries in a row make the next one wait
};
// Opens CEnterPasswordDlg unless the wrong tries in a row (settings/password_tries.h)
// still make the next one wait; waitSeconds then says how long. A right password
// clears the count, a wrong one adds to it. The check itself is lock.Accepts, the
// same whatever the count.
PasswordAnswer AskPassword(BOOL bCancelMode, const PasswordLock &lock, DWORD &waitSeconds);
// The refusal while the next try must wait, string 111 with the seconds.
std::string PasswordWaitText(DWORD seconds);

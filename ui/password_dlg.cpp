#include "ui/password_dlg.h"

// Placeholder until the password dialogs are built: no template yet, so DoModal
// fails and the entered text stays empty (which never matches a set password).
CEnterPasswordDlg::CEnterPasswordDlg(BOOL bCancelMode, CDialog *parent)
    : CDialog(IDD_ENTER_PASSWORD, parent), m_bCancelMode(bCancelMode) {}

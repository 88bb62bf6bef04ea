#include "ui/timed_message_dlg.h"

#include "framework/app.h"
#include "framework/text.h"
#include "resources/resource.h"

CTimedMessageDlg::CTimedMessageDlg(CDialog *parent, UINT messageID, UINT timeout)
    : CDialog(IDD_TIMED_MESSAGE, parent), m_nMessageID(messageID), m_nTimeout(timeout) {}

BOOL CTimedMessageDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_TIMED_TEXT, m_nMessageID ? LoadStr(m_nMessageID) : m_sMessage);
    if (SetTimer(IDT_TIMED_MESSAGE, m_nTimeout) != IDT_TIMED_MESSAGE) {
        AfxMessageBox(LoadStr(IDS_SETTIMER_FAILED), MB_ICONHAND);
        EndDialog(IDOK);
    }
    return TRUE;
}

void CTimedMessageDlg::OnTimer(UINT_PTR) {
    // The timer ends with the window; time running out counts as OK.
    EndDialog(IDOK);
}

void CTimedMessageDlg::OnDestroy() {
    AfxQuitHelp();
}

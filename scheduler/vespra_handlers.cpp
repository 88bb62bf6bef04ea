// Timer and user-facing handlers of the scheduler dialog.
//
// Placeholders until the timer sequence and the handlers are built: the dialog
// shows its startup text and waits; Cancel and the buttons do nothing yet.
#include "scheduler/vespra_dlg.h"

void CVespraDlg::OnTimer(UINT_PTR) {}
void CVespraDlg::OnOK() {}
void CVespraDlg::OnCancel() {}
void CVespraDlg::OnOptions() {}
void CVespraDlg::OnStartupOK() {}
void CVespraDlg::OnDestroy() {}
BOOL CVespraDlg::OnHelpInfo() {
    return TRUE;
}
void CVespraDlg::OnEndSession(BOOL) {}
BOOL CVespraDlg::CanShowHelp() const {
    return TRUE;
}

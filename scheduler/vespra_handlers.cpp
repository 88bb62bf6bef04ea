// User-facing handlers of the scheduler dialog.
//
// Placeholders until the remaining handlers are built: Cancel, Settings, the
// end of a session and help do nothing yet.
#include "scheduler/vespra_dlg.h"

// The centre OK of the warning and the notices: the pending action goes on.
void CVespraDlg::OnOK() {
    Hide();
}

// The startup dialog's OK: the countdown ends at once.
void CVespraDlg::OnStartupOK() {
    EnterWaitingState();
}

void CVespraDlg::OnCancel() {}
void CVespraDlg::OnOptions() {}
void CVespraDlg::OnDestroy() {}
BOOL CVespraDlg::OnHelpInfo() {
    return TRUE;
}
void CVespraDlg::OnEndSession(BOOL) {}
BOOL CVespraDlg::CanShowHelp() const {
    return TRUE;
}

// CFunctionTestDlg: tries each system function of the scheduler by hand, and
// switches the diagnostic log and the timer beeps (template 210).
#pragma once

#include "framework/dialog.h"

class CFunctionTestDlg : public CDialog {
public:
    explicit CFunctionTestDlg(CDialog *parent);

    BOOL OnInitDialog() override;
    // Close: stores the two check boxes. Escape closes without storing.
    void OnOK() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    void OnDestroy() override;

    void OnEnableCpl();
    void OnDisableCpl();
    void OnEnableRegPgms();
    void OnDisableRegPgms();
    void OnKillDosApps();
    void OnKillSharingDlg();
    void OnNormalShutdown();
    void OnNormalRestart();
    void OnForcedShutdown();
    void OnForcedRestart();
};

// CSettingsDlg: the settings dialog (template 129). It edits a private copy of the
// schedule; the caller copies it in before DoModal and out after an OK, and stores
// it. The dialog itself stores only "curr_settings", 1 while it is open.
#pragma once

#include <string>

#include "framework/dialog.h"
#include "settings/schedule_settings.h"

class CSettingsDlg : public CDialog {
public:
    CSettingsDlg(const SettingsDlgData &data, CDialog *parent);

    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *pResult) override;
    void DoDataExchange(CDataExchange *pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnCommand(UINT id, UINT notifyCode) override;
    void OnDestroy() override;

    // The action radio button id became the selected one: labels and enabled rows.
    void OnActionChanged(int id);
    void EnableScheduleControls(BOOL enable);
    void SetTabOrder();
    // Picker day (0 = Sunday) reported a new valid time.
    void OnTimeChange(int day, const SYSTEMTIME &time);
    void OnDefaults();
    void OnSetPassword();
    void OnAdvanced();
    void OnAbout();
    // Greys what the organisation manages (m_nManaged), after anything that enables.
    void DisableManaged();
    // A box owned by this dialog, captioned "Vespra"; returns the button pressed.
    int ShowMessage(UINT stringId, UINT type);

    BOOL m_bShutdown;
    BOOL m_bRestart;
    BOOL m_bChangeTogether = FALSE;
    BOOL m_bAmWarn;
    BOOL m_bKillDosApps;
    BOOL m_bDisableCpl = FALSE;
    BOOL m_bDisableRegPgms = FALSE;
    UINT m_nHour[kDays] = {99, 99, 99, 99, 99, 99, 99};
    UINT m_nInitialHour[kDays] = {99, 99, 99, 99, 99, 99, 99};
    UINT m_nMinute[kDays] = {99, 99, 99, 99, 99, 99, 99};
    PasswordLock m_sPassword;
    BOOL m_bDay[kDays] = {};
    BOOL m_bWelcome = TRUE;
    UINT m_nWelcomeTime = 0;
    UINT m_nLimitHours = 0;
    BOOL m_bLimit = FALSE;
    BOOL m_bShowWarning = TRUE;
    UINT m_nWarningMinutes = 0;
    std::string m_sTimeSep;
    // The zone the times are in when it is not the machine's, else empty.
    std::string m_sTimeZone;
    BOOL m_b24Hour;
    HWND m_hTimePicker[kDays] = {};
    BOOL m_bIsNT;
    // The settings an organisation manages (PolicyItem bits): shown greyed, under
    // one line that says so.
    unsigned m_nManaged = 0;

private:
    BOOL Command(UINT id, UINT notifyCode);
    void ActionChanged(int id);
    void SetPickerTo(int day, UINT hour, UINT minute);
    // True while the dialog itself moves pickers, whose notices are then not the user's.
    bool m_bSettingPickers = false;
};

// The day check boxes, Sunday first.
extern const int kDayBoxIds[kDays];
// The pickers' display format for a separator and clock: the separator quoted so
// that the picker shows it literally.
std::string PickerFormat(const std::string &timeSep, BOOL b24Hour);

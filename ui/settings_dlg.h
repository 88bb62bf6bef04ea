// CSettingsDlg: the settings dialog (template 129). It edits a private copy of the
// schedule; the caller copies it in before and out after DoModal.
#pragma once

#include "framework/dialog.h"
#include "settings/schedule_settings.h"

constexpr UINT IDD_SETTINGS_DIALOG = 129;

class CSettingsDlg : public CDialog, public ScheduleSettings {
public:
    CSettingsDlg(const SettingsDlgData &data, CDialog *parent);

    std::string m_sTimeSep;
    BOOL m_b24Hour;
};

#include "ui/settings_dlg.h"

// Placeholder until the settings dialog is built: it takes its start values and
// has no template yet, so DoModal fails and callers treat that as a cancel.
CSettingsDlg::CSettingsDlg(const SettingsDlgData &data, CDialog *parent)
    : CDialog(IDD_SETTINGS_DIALOG, parent), m_sTimeSep(data.sTimeSep), m_b24Hour(data.b24Hour) {
    m_sPassword = data.sPassword;
    m_bShutdown = data.bShutdown;
    m_bRestart = data.bRestart;
    m_bAmWarn = data.bAmWarn;
    m_bKillDosApps = data.bKillDosApps;
}

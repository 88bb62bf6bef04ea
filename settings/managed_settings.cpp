// CVespraDlg::TakePolicy and FollowPolicy: settings an organisation manages, over
// the settings the stores keep.
#include "scheduler/scheduler.h"
#include "settings/policy.h"
#include "system/event_log.h"
#include "system/log.h"

void CVespraDlg::TakePolicy(const StoredSettings &policy) {
    CopyPolicyItems(m_nManaged, m_ownSettings, *this);
    m_ownSettings = *this;
    m_nManaged = ApplyPolicy(policy, *this);
    m_policy = policy;
}

bool CVespraDlg::FollowPolicy() {
    if (!m_policyWatch || !m_policyWatch->Changed())
        return false;
    StoredSettings policy = ReadPolicyValues();
    if (policy == m_policy)
        return false;
    TakePolicy(policy);
    WriteLog("Settings changed by policy");
    ReportSettingsChanged(SettingsSource::Policy);
    ComputeWarningTimes();
    m_nNextDay = GetNextDay();
    if (!m_bShutdown && !m_bRestart) {
        // Off, as after the settings dialog: nothing left to schedule.
        StopServiceIfServiceMode();
        EndDialog(IDOK);
        return true;
    }
    return false;
}

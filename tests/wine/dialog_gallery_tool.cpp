// Shows one of the program's dialogs, as the program builds it, for
// scripts/screenshots.sh:
//
//   dialog_gallery_tool startup|warning|settings|settings-off|settings-restart|settings-zone|
//                       settings-managed|
//                       set-password|enter-password|enter-password-cancel|
//                       timed-message|check-times|advanced|about|function-test
//
// "startup" and "warning" are the scheduler dialog itself in its startup countdown
// and its warning, each reached through the scheduler's own steps.
//
// The dialog runs until it is closed. Exit status 2 on a usage error.
#include <cstdio>
#include <cstring>

#include "framework/app.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "settings/policy.h"
#include "ui/function_test_dlg.h"
#include "ui/password_dlg.h"
#include "ui/settings_dlg.h"
#include "ui/sub_dialogs.h"
#include "ui/timed_message_dlg.h"

namespace {

// settings-zone: times set in a zone the machine is no longer in; settings-managed:
// the days, the times and the warning set by the organisation.
int ShowSettings(int action, const char *zone = "", unsigned managed = 0) {
    CVespraDlg sched(nullptr, FALSE, FALSE, FALSE);
    sched.m_bShutdown = action == IDC_SHUTDOWN;
    sched.m_bRestart = action == IDC_RESTART;
    sched.m_bLimit = 1;
    sched.m_nManaged = managed;
    CSettingsDlg dlg(sched.GetData(), nullptr);
    sched.CopyToSettingsDlg(dlg);
    if (*zone)
        dlg.m_sTimeZone = zone;
    return dlg.DoModal();
}

// The scheduler dialog: its own initialisation (the settings of the prefix, the
// countdown for the user at the desktop), then its timer stopped so that the
// picture holds still; for the warning, the waiting state and the warning follow.
class GalleryScheduler : public CVespraDlg {
public:
    explicit GalleryScheduler(bool warning)
        : CVespraDlg(nullptr, FALSE, FALSE, FALSE), m_bWarning(warning) {}

    BOOL OnInitDialog() override {
        const BOOL result = CVespraDlg::OnInitDialog();
        m_bUserLoggedOn = TRUE;
        if (m_bWarning) {
            EnterWaitingState();
            ShowWarning();
        } else {
            ShowCountdown(m_nWelcomeTime);
        }
        KillTimer(IDT_SCHEDULER);
        ShowOnTop();
        return result;
    }

private:
    bool m_bWarning;
};

} // namespace

int main(int argc, char **argv) {
    CWinApp app;
    if (argc != 2) {
        std::fputs("usage: dialog_gallery_tool <dialog>\n", stderr);
        return 2;
    }
    const char *name = argv[1];
    if (!std::strcmp(name, "startup") || !std::strcmp(name, "warning")) {
        GalleryScheduler dlg(!std::strcmp(name, "warning"));
        return dlg.DoModal() < 0;
    }
    if (!std::strcmp(name, "settings"))
        return ShowSettings(IDC_SHUTDOWN) < 0;
    if (!std::strcmp(name, "settings-zone"))
        return ShowSettings(IDC_SHUTDOWN, "Pacific Standard Time") < 0;
    if (!std::strcmp(name, "settings-managed"))
        return ShowSettings(IDC_SHUTDOWN, "", kManagedDays | kManagedTimes | kManagedShowWarning |
                                                  kManagedWarningMinutes) < 0;
    if (!std::strcmp(name, "settings-off"))
        return ShowSettings(IDC_OFF) < 0;
    if (!std::strcmp(name, "settings-restart"))
        return ShowSettings(IDC_RESTART) < 0;
    if (!std::strcmp(name, "function-test")) {
        CFunctionTestDlg dlg(nullptr);
        return dlg.DoModal() < 0;
    }
    if (!std::strcmp(name, "set-password")) {
        CSetPasswordDlg dlg(nullptr);
        return dlg.DoModal() < 0;
    }
    if (!std::strcmp(name, "enter-password") || !std::strcmp(name, "enter-password-cancel")) {
        CEnterPasswordDlg dlg(!std::strcmp(name, "enter-password-cancel"), nullptr);
        return dlg.DoModal() < 0;
    }
    if (!std::strcmp(name, "timed-message")) {
        CTimedMessageDlg dlg(nullptr, IDS_WRONG_PASSWORD_CANCEL, 600000);
        return dlg.DoModal() < 0;
    }
    if (!std::strcmp(name, "check-times")) {
        CCheckTimesDlg dlg(nullptr);
        return dlg.DoModal() < 0;
    }
    if (!std::strcmp(name, "advanced")) {
        CAdvancedDlg dlg(nullptr, TRUE);
        dlg.m_bDisableCpl = TRUE;
        return dlg.DoModal() < 0;
    }
    if (!std::strcmp(name, "about")) {
        CAboutDlg dlg(nullptr);
        return dlg.DoModal() < 0;
    }
    std::fprintf(stderr, "dialog_gallery_tool: no dialog \"%s\"\n", name);
    return 2;
}

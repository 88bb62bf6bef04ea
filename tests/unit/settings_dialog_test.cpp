// The settings dialog through the in-memory backend: its pickers, the action rows,
// changing times together, Defaults, the checks of OK, and the round trip from and
// back into the scheduler's record.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "framework/app.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "scheduler/scheduler.h"
#include "settings/policy.h"
#include "system/registry.h"
#include "tests/unit/scheduler_fixture.h"
#include "ui/settings_dlg.h"

namespace {

const char kTwentyThree[] = "23:00";

class SettingsDlgTest : public SchedulerTest {
protected:
    // A dialog as the scheduler hands it over: the defaults, or what edit() makes of them.
    void Open(const std::function<void(CVespraDlg &)> &edit = nullptr) {
        CVespraDlg sched(nullptr, FALSE, FALSE, FALSE);
        if (edit)
            edit(sched);
        dlg = std::make_unique<CSettingsDlg>(sched.GetData(), nullptr);
        sched.CopyToSettingsDlg(*dlg);
        initResult = fake::Open(*dlg);
    }
    bool Enabled(int id) const { return dlg->IsDlgItemEnabled(id); }
    bool PickerEnabled(int d) const { return dlg->IsChildEnabled(dlg->m_hTimePicker[d]); }
    std::string PickerTime(int d) const {
        const SYSTEMTIME &t = fake::Child(dlg->m_hTimePicker[d]).time;
        return StrFormat("%u:%02u", UINT(t.wHour), UINT(t.wMinute));
    }
    std::string MemberTime(int d) const {
        return StrFormat("%u:%02u", dlg->m_nHour[d], dlg->m_nMinute[d]);
    }
    void ChangeTime(int d, int h, int m) {
        fake::ChangePickerTime(*dlg, dlg->m_hTimePicker[d], h, m);
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto &b : fake::State().boxes)
            texts.push_back(b.text);
        return texts;
    }

    std::unique_ptr<CSettingsDlg> dlg;
    BOOL initResult = TRUE;
};

TEST_F(SettingsDlgTest, OpensWithPickersOverTheFramesAndTheDefaults) {
    Open();
    EXPECT_FALSE(initResult); // the focus was set
    EXPECT_EQ(fake::WindowOf(*dlg)->caption, "Vespra Settings");
    EXPECT_EQ(fake::WindowOf(*dlg)->focus, IDC_SHUTDOWN);
    EXPECT_EQ(fake::State().dateControlInits, 1);
    ASSERT_EQ(fake::ChildrenOfClass(*dlg, "SysDateTimePick32").size(), size_t(kDays));
    for (int d = 0; d < kDays; ++d) {
        const fake::Control &p = fake::Child(dlg->m_hTimePicker[d]);
        EXPECT_EQ(p.id, IDC_TIME_PICKER + d);
        EXPECT_EQ(fake::WindowOf(*dlg)->controls.count(p.id), 0u); // no control of the template's
        EXPECT_EQ(p.text, "DateTime");
        EXPECT_EQ(p.style, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | DTS_TIMEFORMAT);
        EXPECT_EQ(p.rect, dlg->GetDlgItemRect(IDC_PICKER_SUNDAY + d));
        EXPECT_EQ(p.format, "h':'mm tt");
        EXPECT_EQ(PickerTime(d), kTwentyThree);
        EXPECT_EQ(p.time.wYear, 1990);
        EXPECT_EQ(p.time.wDay, 1);
        EXPECT_EQ(PickerEnabled(d), d <= 4) << d; // Sunday to Thursday
        EXPECT_EQ(dlg->m_nInitialHour[d], 23u);
    }
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_SHUTDOWN), 1u);
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_CHANGE_TOGETHER), 0u);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WHEN_GROUP), "Shut down this computer on");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WELCOME_TIME), "10");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_LIMIT_HOURS), "9");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WARNING_MINUTES), "5");
    for (int id : {IDC_WELCOME_TIME, IDC_LIMIT_HOURS, IDC_WARNING_MINUTES})
        EXPECT_EQ(fake::Ctl(*dlg, id).limit, 2);
    EXPECT_TRUE(Enabled(IDC_WELCOME_TIME));
    EXPECT_FALSE(Enabled(IDC_LIMIT_HOURS)); // limit use is off
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_settings"), 1u);
    EXPECT_TRUE(fake::State().boxes.empty());

    // Tab order: each picker right behind its day's box.
    std::vector<HWND> expected;
    for (int id : {IDC_SHUTDOWN, IDC_RESTART, IDC_OFF})
        expected.push_back(dlg->GetDlgItem(id));
    for (int d = 0; d < kDays; ++d) {
        expected.push_back(dlg->GetDlgItem(kDayBoxIds[d]));
        expected.push_back(dlg->m_hTimePicker[d]);
    }
    for (int id : {IDC_CHANGE_TOGETHER, IDC_WELCOME, IDC_WELCOME_TIME, IDC_SHOW_WARNING,
                   IDC_WARNING_MINUTES, IDC_LIMIT, IDC_LIMIT_HOURS, IDOK, IDCANCEL,
                   IDC_SET_PASSWORD, IDC_ADVANCED, IDC_DEFAULTS, IDC_ABOUT, ID_HELP})
        expected.push_back(dlg->GetDlgItem(id));
    const std::vector<HWND> &z = fake::ZOrder(*dlg);
    ASSERT_GE(z.size(), expected.size());
    EXPECT_EQ(std::vector<HWND>(z.end() - long(expected.size()), z.end()), expected);
}

TEST_F(SettingsDlgTest, PickerFormatFollowsTheLocale) {
    EXPECT_EQ(PickerFormat(":", TRUE), "H':'mm");
    EXPECT_EQ(PickerFormat(".", FALSE), "h'.'mm tt");
    EXPECT_EQ(PickerFormat("'", TRUE), "H''''mm"); // a quote is doubled inside quotes
    Open([](CVespraDlg &s) {
        s.m_b24Hour = 1;
        s.m_sTimeSep = ".";
    });
    EXPECT_EQ(fake::Child(dlg->m_hTimePicker[3]).format, "H'.'mm");
}

TEST_F(SettingsDlgTest, ActionOffDisablesTheScheduleButKeepsShutDownLabels) {
    Open([](CVespraDlg &s) { s.m_bShutdown = 0; });
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_OFF), 1u);
    EXPECT_EQ(fake::WindowOf(*dlg)->focus, IDC_SHUTDOWN);
    for (int id : {IDC_WHEN_GROUP, IDC_SUNDAY, IDC_SATURDAY, IDC_CHANGE_TOGETHER, IDC_WELCOME,
                   IDC_WELCOME_TIME, IDC_SECONDS_TEXT, IDC_LIMIT, IDC_LIMIT_HOURS, IDC_HOURS_TEXT,
                   IDC_SHOW_WARNING, IDC_WARNING_MINUTES, IDC_MINUTES_TEXT})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int d = 0; d < kDays; ++d)
        EXPECT_FALSE(PickerEnabled(d));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WHEN_GROUP), "Shut down this computer on");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_MINUTES_TEXT), "minutes before shut down");
    EXPECT_TRUE(Enabled(IDOK));
}

TEST_F(SettingsDlgTest, RestartDisablesLimitUseAndShutDownBringsItBack) {
    Open([](CVespraDlg &s) { s.m_bLimit = 1; });
    ASSERT_TRUE(Enabled(IDC_LIMIT_HOURS));
    ASSERT_TRUE(fake::Click(*dlg, IDC_RESTART));
    EXPECT_FALSE(dlg->m_bShutdown);
    EXPECT_TRUE(dlg->m_bRestart);
    for (int id : {IDC_LIMIT, IDC_LIMIT_HOURS, IDC_HOURS_TEXT})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WHEN_GROUP), "Restart this computer on");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_MINUTES_TEXT), "minutes before restart");
    EXPECT_TRUE(PickerEnabled(1));
    EXPECT_FALSE(PickerEnabled(5));

    fake::Click(*dlg, IDC_SHUTDOWN);
    EXPECT_TRUE(Enabled(IDC_LIMIT));
    EXPECT_TRUE(Enabled(IDC_LIMIT_HOURS)); // its box is ticked
    fake::Click(*dlg, IDC_LIMIT);
    fake::Click(*dlg, IDC_RESTART);
    fake::Click(*dlg, IDC_SHUTDOWN);
    EXPECT_FALSE(Enabled(IDC_LIMIT_HOURS)); // and now it is not
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WHEN_GROUP), "Shut down this computer on");

    // Both actions in a hand-edited store: it shows Shut down and keeps to it.
    Open([](CVespraDlg &s) { s.m_bRestart = 1; });
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_SHUTDOWN), 1u);
    EXPECT_FALSE(dlg->m_bRestart);
}

TEST_F(SettingsDlgTest, RowBoxesEnableTheirEditsAndDayBoxesTheirPickers) {
    Open();
    for (auto [box, edit] : {std::pair{IDC_WELCOME, IDC_WELCOME_TIME},
                             {IDC_SHOW_WARNING, IDC_WARNING_MINUTES},
                             {IDC_LIMIT, IDC_LIMIT_HOURS}}) {
        const bool before = Enabled(edit);
        fake::Click(*dlg, box);
        EXPECT_NE(Enabled(edit), before) << box;
    }
    fake::Click(*dlg, IDC_SATURDAY);
    EXPECT_TRUE(PickerEnabled(6));
    fake::Click(*dlg, IDC_MONDAY);
    EXPECT_FALSE(PickerEnabled(1));
}

TEST_F(SettingsDlgTest, ChangingTogetherSpreadsToTickedDaysOnlyAndNeverEchoes) {
    fake::State().pickerSetNotifies = true; // a set time is reported like the user's
    Open();
    ChangeTime(1, 22, 30); // not ticked yet: Monday alone
    EXPECT_EQ(MemberTime(1), "22:30");
    EXPECT_EQ(MemberTime(2), kTwentyThree);

    fake::Click(*dlg, IDC_CHANGE_TOGETHER);
    EXPECT_TRUE(dlg->m_bChangeTogether);
    EXPECT_EQ(MemberTime(2), kTwentyThree); // ticking changes nothing by itself
    dlg->m_nHour[5] = 4;                    // Friday (unticked) keeps its own time
    ChangeTime(1, 22, 45);
    for (int d = 0; d < kDays; ++d) {
        const char *want = d <= 4 ? "22:45" : d == 5 ? "4:00" : kTwentyThree;
        EXPECT_EQ(MemberTime(d), want) << d;
        if (d != 5) {
            EXPECT_EQ(PickerTime(d), d <= 4 ? "22:45" : kTwentyThree) << d;
        }
    }
}

TEST_F(SettingsDlgTest, OnlyValidChangeNoticesFromThePickersCount) {
    Open();
    HWND monday = dlg->m_hTimePicker[1];
    fake::Child(monday).time.wHour = 5;
    EXPECT_TRUE(fake::SendNotify(*dlg, monday, DTN_DATETIMECHANGE, GDT_NONE));
    EXPECT_TRUE(fake::SendNotify(*dlg, monday, DTN_DATETIMECHANGE - 1, GDT_VALID));
    EXPECT_EQ(dlg->m_nHour[1], 23u);
    // Another control's notices are not a time.
    EXPECT_FALSE(fake::SendNotify(*dlg, dlg->GetDlgItem(IDOK), DTN_DATETIMECHANGE, GDT_VALID));
    fake::Child(monday).time.wHour = 25; // out of range: 23:00
    fake::Child(monday).time.wMinute = 10;
    fake::SendNotify(*dlg, monday, DTN_DATETIMECHANGE, GDT_VALID);
    EXPECT_EQ(MemberTime(1), kTwentyThree);
}

TEST_F(SettingsDlgTest, OnlyACheckedActionButtonIsAChoice) {
    // A radio button reports a click when it merely gets the focus, still unchecked.
    const struct {
        BOOL shutdown, restart;
        int focused;
    } cases[] = {{0, 0, IDC_SHUTDOWN}, {0, 0, IDC_RESTART}, {0, 1, IDC_SHUTDOWN}, {1, 0, IDC_OFF}};
    for (const auto &c : cases) {
        Open([&c](CVespraDlg &s) { s.m_bShutdown = c.shutdown, s.m_bRestart = c.restart; });
        const bool days = Enabled(IDC_MONDAY), limit = Enabled(IDC_LIMIT);
        dlg->OnCommand(UINT(c.focused), 0);
        EXPECT_EQ(
            std::tuple(dlg->m_bShutdown, dlg->m_bRestart, Enabled(IDC_MONDAY), Enabled(IDC_LIMIT)),
            std::tuple(c.shutdown, c.restart, days, limit))
            << c.focused;
    }
}

struct MidnightCase {
    const char *name;
    int storedHour, storedMinute; // Tuesday's stored time
    int newHour, newMinute;       // what the user sets on Tuesday
    bool asked;
};

TEST_F(SettingsDlgTest, AfterMidnightCheckFollowsItsExactConditions) {
    const MidnightCase cases[] = {
        {"23:00 to 1:00", 23, 0, 1, 0, true},   {"23:00 to 5:59", 23, 0, 5, 59, true},
        {"23:00 to 6:00", 23, 0, 6, 0, false},  {"1:00 to 1:30", 1, 0, 1, 30, false},
        {"1:00 unchanged", 1, 0, -1, 0, false}, {"1:00 to 22:00 (Monday 1:00)", 1, 0, 22, 0, true},
    };
    for (const MidnightCase &c : cases) {
        fake::ResetAll();
        Open([&](CVespraDlg &s) {
            s.m_nHour[2] = c.storedHour;
            s.m_nMinute[2] = c.storedMinute;
            s.m_nHour[1] = c.storedHour == 1 ? 1 : 23;
        });
        if (c.newHour >= 0)
            ChangeTime(2, c.newHour, c.newMinute);
        fake::RespondToDialog(IDD_CHECK_TIMES, [](CDialog &d) { fake::Click(d, IDOK); });
        fake::Click(*dlg, IDOK);
        const auto &runs = fake::State().modalRuns;
        EXPECT_EQ(std::count(runs.begin(), runs.end(), IDD_CHECK_TIMES), c.asked ? 1 : 0) << c.name;
        EXPECT_TRUE(fake::IsEnded(*dlg)) << c.name;
    }
}

TEST_F(SettingsDlgTest, CheckTimesCancelKeepsTheDialogAndDontShowAgainSticks) {
    Open();
    ChangeTime(2, 1, 0);
    fake::RespondToDialog(IDD_CHECK_TIMES, [](CDialog &d) {
        fake::Click(d, IDC_DONT_SHOW_AGAIN);
        fake::Click(d, IDCANCEL);
    });
    fake::Click(*dlg, IDOK);
    EXPECT_FALSE(fake::IsEnded(*dlg));
    EXPECT_TRUE(dlg->m_bAmWarn); // cancelled: the box was not taken
    EXPECT_EQ(fake::WindowOf(*dlg)->broughtToTop, 1);

    fake::RespondToDialog(IDD_CHECK_TIMES, [](CDialog &d) {
        fake::Click(d, IDC_DONT_SHOW_AGAIN);
        fake::Click(d, IDOK);
    });
    fake::Click(*dlg, IDOK);
    EXPECT_TRUE(fake::IsEnded(*dlg));
    EXPECT_EQ(fake::Result(*dlg), IDOK);
    EXPECT_FALSE(dlg->m_bAmWarn);
}

TEST_F(SettingsDlgTest, OkNeedsADayUnlessTheActionIsOff) {
    Open();
    for (int d = 0; d <= 4; ++d)
        fake::Click(*dlg, kDayBoxIds[d]);
    fake::Click(*dlg, IDOK);
    EXPECT_FALSE(fake::IsEnded(*dlg));
    ASSERT_EQ(fake::State().boxes.size(), 1u);
    EXPECT_EQ(fake::State().boxes[0].text,
              "You must pick at least one day, or set action to 'Off'.");
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION));
    EXPECT_EQ(fake::State().boxes[0].owner, dlg->GetSafeHwnd());
    fake::Click(*dlg, IDC_OFF);
    fake::Click(*dlg, IDOK);
    EXPECT_EQ(fake::Result(*dlg), IDOK);
    EXPECT_FALSE(dlg->m_bShutdown || dlg->m_bRestart);
}

TEST_F(SettingsDlgTest, RangeChecksRefuseAndFocusTheEdit) {
    const struct {
        int edit;
        const char *typed;
        const char *message;
    } cases[] = {
        {IDC_WELCOME_TIME, "0", "Please enter an integer between 1 and 60."},
        {IDC_WELCOME_TIME, "61", "Please enter an integer between 1 and 60."},
        {IDC_LIMIT_HOURS, "14", "Please enter an integer between 1 and 12."},
        {IDC_WARNING_MINUTES, "0", "Please enter an integer between 1 and 60."},
        {IDC_WARNING_MINUTES, "", "Please enter a positive integer."},
        {IDC_LIMIT_HOURS, "a1", "Please enter a positive integer."}, // pasted
    };
    for (const auto &c : cases) {
        fake::ResetAll();
        Open();
        fake::Type(*dlg, c.edit, c.typed);
        fake::Click(*dlg, IDOK);
        EXPECT_FALSE(fake::IsEnded(*dlg)) << c.edit << c.typed;
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.message}) << c.edit << c.typed;
        EXPECT_EQ(fake::WindowOf(*dlg)->focus, c.edit) << c.typed;
    }
    // Over-long text is cut to the two characters the edit holds.
    fake::ResetAll();
    Open();
    fake::Type(*dlg, IDC_WELCOME_TIME, "45678");
    fake::Click(*dlg, IDOK);
    EXPECT_EQ(fake::Result(*dlg), IDOK);
    EXPECT_EQ(dlg->m_nWelcomeTime, 45u);
}

TEST_F(SettingsDlgTest, HandEditedValuesOpenWithTheirMessagesAndResets) {
    Open([](CVespraDlg &s) {
        s.m_nHour[0] = 99;
        s.m_nMinute[3] = 60;
        s.m_nHour[4] = -1; // a negative INI hour
        s.m_nWarningMinutes = 0;
        s.m_nWelcomeTime = 1000;
    });
    const std::string reset = LoadStr(IDS_TIME_OUT_OF_RANGE);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{reset, reset, reset}));
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONEXCLAMATION));
    for (int d : {0, 3, 4}) {
        EXPECT_EQ(MemberTime(d), kTwentyThree);
        EXPECT_EQ(PickerTime(d), kTwentyThree);
    }
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WELCOME_TIME), "1000");
    fake::Click(*dlg, IDOK);
    EXPECT_FALSE(fake::IsEnded(*dlg)); // 1000 seconds is out of range
}

TEST_F(SettingsDlgTest, APickerThatCannotBeMadeLeavesTheRestWorking) {
    fake::State().failChildWindows = 1; // Sunday's
    Open([](CVespraDlg &s) { s.m_nHour[0] = 99; });
    ASSERT_EQ(BoxTexts(), std::vector<std::string>{LoadStr(IDS_PICKER_FAILED)});
    EXPECT_EQ(fake::State().boxes[0].type, UINT(MB_ICONHAND));
    EXPECT_EQ(dlg->m_hTimePicker[0], nullptr);
    EXPECT_EQ(MemberTime(0), kTwentyThree); // nothing invalid goes back
    ASSERT_NE(dlg->m_hTimePicker[1], nullptr);
    fake::Click(*dlg, IDC_CHANGE_TOGETHER);
    ChangeTime(1, 21, 15);
    EXPECT_EQ(MemberTime(0), "21:15");
    fake::Click(*dlg, IDOK);
    EXPECT_EQ(fake::Result(*dlg), IDOK);
}

TEST_F(SettingsDlgTest, DefaultsAsksAndResetsAllButThePassword) {
    Open([](CVespraDlg &s) {
        s.m_sPassword = "secret";
        s.m_bRestart = 1;
        s.m_bShutdown = 0;
        s.m_bDay[5] = 1;
        s.m_nHour[1] = 2;
    });
    fake::AnswerNextMessageBox(IDCANCEL);
    fake::Click(*dlg, IDC_DEFAULTS);
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_RESTART), 1u);
    EXPECT_EQ(MemberTime(1), "2:00");

    fake::Type(*dlg, IDC_WELCOME_TIME, "33");
    fake::Click(*dlg, IDC_DEFAULTS); // no advanced flag: one question only
    EXPECT_EQ(BoxTexts().size(), 2u);
    EXPECT_EQ(fake::State().boxes[1].type, UINT(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_TRUE(dlg->m_bShutdown);
    EXPECT_FALSE(dlg->m_bRestart);
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_SHUTDOWN), 1u);
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_RESTART), 0u);
    EXPECT_EQ(MemberTime(1), kTwentyThree);
    EXPECT_EQ(PickerTime(1), kTwentyThree);
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_FRIDAY), 0u);
    EXPECT_FALSE(PickerEnabled(5));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WELCOME_TIME), "10");
    EXPECT_FALSE(Enabled(IDC_LIMIT_HOURS));
    EXPECT_TRUE(dlg->m_sPassword.Accepts("secret"));

    dlg->m_bKillDosApps = TRUE;
    fake::Click(*dlg, IDC_DEFAULTS);
    ASSERT_EQ(BoxTexts().size(), 4u);
    EXPECT_EQ(BoxTexts()[3], LoadStr(IDS_RESET_ADVANCED));
    EXPECT_FALSE(dlg->m_bKillDosApps);
}

// What an organisation manages is greyed under a line that says so, whatever a click
// enables, and Defaults leaves it as it is.
TEST_F(SettingsDlgTest, ManagedSettingsAreGreyedAndKeptUnderTheirNote) {
    Open();
    EXPECT_FALSE(dlg->IsDlgItemVisible(IDC_MANAGED_NOTE));
    const CRect shutdownAt = dlg->GetDlgItemRect(IDC_SHUTDOWN);

    Open([](CVespraDlg &s) {
        s.m_nManaged = kManagedDays | kManagedTimes | kManagedWelcomeTime | kManagedKillDosApps;
        s.m_nHour[1] = 6;
        s.m_bDay[5] = 1;
    });
    EXPECT_TRUE(dlg->IsDlgItemVisible(IDC_MANAGED_NOTE));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_MANAGED_NOTE), "Some settings are managed by your organization.");
    EXPECT_GT(dlg->GetDlgItemRect(IDC_SHUTDOWN).top, shutdownAt.top);
    EXPECT_LE(dlg->GetDlgItemRect(IDC_MANAGED_NOTE).bottom, dlg->GetDlgItemRect(IDC_SHUTDOWN).top);
    for (int id : {IDC_MONDAY, IDC_CHANGE_TOGETHER, IDC_WELCOME_TIME})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(PickerEnabled(1));
    EXPECT_TRUE(Enabled(IDC_WELCOME));
    EXPECT_TRUE(Enabled(IDC_SHOW_WARNING));

    fake::Click(*dlg, IDC_OFF);
    fake::Click(*dlg, IDC_SHUTDOWN); // enables the whole schedule again
    fake::Click(*dlg, IDC_WELCOME);
    fake::Click(*dlg, IDC_WELCOME);
    EXPECT_FALSE(Enabled(IDC_MONDAY));
    EXPECT_FALSE(PickerEnabled(1));
    EXPECT_FALSE(Enabled(IDC_WELCOME_TIME));

    fake::Type(*dlg, IDC_WARNING_MINUTES, "9");
    dlg->m_bKillDosApps = TRUE;
    fake::AnswerNextMessageBox(IDOK);
    fake::AnswerNextMessageBox(IDOK);
    fake::Click(*dlg, IDC_DEFAULTS);
    EXPECT_EQ(MemberTime(1), "6:00");
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_FRIDAY), 1u);
    EXPECT_EQ(dlg->GetDlgItemText(IDC_WARNING_MINUTES), "5");
    EXPECT_TRUE(dlg->m_bKillDosApps);

    bool killGreyed = false;
    fake::RespondToDialog(IDD_ADVANCED, [&](CDialog &d) {
        killGreyed = !d.IsDlgItemEnabled(IDC_KILL_DOS);
        fake::Click(d, IDCANCEL);
    });
    fake::Click(*dlg, IDC_ADVANCED);
    EXPECT_TRUE(killGreyed);
}

TEST_F(SettingsDlgTest, SubDialogsHandTheirResultsBackAndReturnToTheTop) {
    Open([](CVespraDlg &s) { s.m_sPassword = "old"; });
    fake::RespondToDialog(IDD_SET_PASSWORD, [](CDialog &d) {
        fake::Type(d, IDC_CURRENT_PASSWORD, "old");
        fake::Click(d, IDOK); // both new boxes empty: protection off
    });
    fake::Click(*dlg, IDC_SET_PASSWORD);
    EXPECT_FALSE(dlg->m_sPassword.IsSet());

    fake::RespondToDialog(IDD_ADVANCED, [](CDialog &d) {
        fake::Click(d, IDC_KILL_DOS);
        fake::Click(d, IDOK);
    });
    fake::Click(*dlg, IDC_ADVANCED);
    EXPECT_TRUE(dlg->m_bKillDosApps);
    fake::RespondToDialog(IDD_ADVANCED, [](CDialog &d) {
        fake::Click(d, IDC_KILL_DOS);
        fake::Click(d, IDCANCEL);
    });
    fake::Click(*dlg, IDC_ADVANCED);
    EXPECT_TRUE(dlg->m_bKillDosApps);

    fake::Click(*dlg, IDC_ABOUT); // unscripted: it can't be shown, and nothing follows
    EXPECT_EQ(fake::WindowOf(*dlg)->broughtToTop, 4);
    EXPECT_FALSE(fake::IsEnded(*dlg));
}

TEST_F(SettingsDlgTest, HelpAndDestructionGoThroughTheApplication) {
    CWinApp app;
    Open();
    fake::Click(*dlg, ID_HELP);
    fake::Close(*dlg);
    using Call = std::pair<DWORD, UINT>;
    EXPECT_EQ(fake::State().helpCalls,
              (std::vector<Call>{{0x20000 + 129, HELP_CONTEXT}, {0, HELP_QUIT}}));
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_settings"), 0u);
}

// The scheduler's settings start: what was edited is exactly what comes back and
// is stored; nothing reaches the store before OK.
class SettingsRoundTrip : public SchedulerTest {};

TEST_F(SettingsRoundTrip, EditedSettingsComeBackExactlyAndAreStored) {
    CVespraDlg sched(nullptr, TRUE, FALSE, FALSE);
    bool storedBeforeOk = true;
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [&](CDialog &d) {
        auto &s = static_cast<CSettingsDlg &>(d);
        storedBeforeOk =
            fake::HasValue(kSettingsKey, "restart") && fake::GetDword(kSettingsKey, "restart") == 1;
        fake::Click(s, IDC_RESTART);
        fake::Click(s, IDC_SATURDAY);
        fake::ChangePickerTime(s, s.m_hTimePicker[6], 9, 45);
        fake::Click(s, IDC_WELCOME);
        fake::Type(s, IDC_WARNING_MINUTES, "15");
        fake::Click(s, IDOK);
    });
    fake::AnswerNextMessageBox(IDNO); // "Start Vespra now with these settings?"
    fake::Open(sched);
    EXPECT_FALSE(storedBeforeOk);
    EXPECT_EQ(sched.m_bShutdown, 0);
    EXPECT_EQ(sched.m_bRestart, 1);
    EXPECT_EQ(sched.m_bDay[6], 1);
    EXPECT_EQ(sched.m_nHour[6], 9);
    EXPECT_EQ(sched.m_nMinute[6], 45);
    EXPECT_EQ(sched.m_bWelcome, 0);
    EXPECT_EQ(sched.m_nWarningMinutes, 15u);
    EXPECT_EQ(sched.m_nWelcomeTime, 10u);
    EXPECT_EQ(fake::GetString(kSettingsKey, "times"), "23:00 23:00 23:00 23:00 23:00 23:00 9:45");
    EXPECT_EQ(fake::GetString(kSettingsKey, "days"), "1 1 1 1 1 0 1");
    EXPECT_EQ(fake::GetDword(kSettingsKey, "restart"), 1u);
    EXPECT_EQ(fake::GetDword(kSettingsKey, "curr_settings"), 0u);
    ASSERT_FALSE(fake::State().boxes.empty());
    EXPECT_EQ(fake::State().boxes.back().text, LoadStr(IDS_START_NOW));
}

TEST_F(SettingsRoundTrip, APasswordIsAskedFirstAndCancelStoresNothing) {
    CVespraDlg sched(nullptr, TRUE, FALSE, FALSE);
    sched.m_sPassword = "abc";
    sched.WriteRegistry();
    const std::string timesBefore = fake::GetString(kSettingsKey, "times");
    sched.m_sPassword = PasswordLock();
    fake::RespondToDialog(IDD_ENTER_PASSWORD, [](CDialog &d) {
        fake::Type(d, IDC_ENTERED_PASSWORD, "abc");
        fake::Click(d, IDOK);
    });
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) {
        fake::Click(d, IDC_OFF);
        fake::Click(d, IDCANCEL);
    });
    fake::Open(sched);
    EXPECT_EQ(fake::State().modalRuns,
              (std::vector<UINT>{IDD_VESPRA_DIALOG, IDD_ENTER_PASSWORD, IDD_SETTINGS_DIALOG}));
    EXPECT_EQ(fake::GetDword(kSettingsKey, "status"), 1u); // still Shut down
    EXPECT_EQ(fake::GetString(kSettingsKey, "times"), timesBefore);
    EXPECT_EQ(sched.m_bShutdown, 1);
}

TEST_F(SettingsRoundTrip, AltHeldAtOkWritesTheIniFileInstead) {
    // GetIniPath lower-cases the path: a folder whose path is lower case.
    const std::string dir = "/tmp/vespra-settings-alt-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    fake::Files().programPath = dir + "\\vespra.exe";
    CVespraDlg sched(nullptr, TRUE, FALSE, FALSE);
    fake::RespondToDialog(IDD_SETTINGS_DIALOG, [](CDialog &d) {
        fake::Click(d, IDC_FRIDAY);
        fake::State().altDown = true;
        fake::Click(d, IDOK);
    });
    fake::Open(sched);
    EXPECT_NE(fake::ReadFile(dir + "/vespra.ini").find("days=1,1,1,1,1,1,0"), std::string::npos);
    EXPECT_EQ(fake::GetString(kSettingsKey, "days"), "1 1 1 1 1 0 0"); // the defaults only
    ASSERT_FALSE(fake::State().boxes.empty());
    EXPECT_EQ(fake::State().boxes.back().text.rfind("Settings for network clients", 0), 0u);
    std::filesystem::remove_all(dir);
}

} // namespace

#include "ui/settings_dlg.h"

#include <vector>

#include "framework/app.h"
#include "framework/text.h"
#include "resources/resource.h"
#include "settings/policy.h"
#include "settings/run_state.h"
#include "system/platform.h"
#include "ui/password_dlg.h"
#include "ui/sub_dialogs.h"

const int kDayBoxIds[kDays] = {IDC_SUNDAY,   IDC_MONDAY, IDC_TUESDAY, IDC_WEDNESDAY,
                               IDC_THURSDAY, IDC_FRIDAY, IDC_SATURDAY};

namespace {
constexpr UINT kDefaultHour = 23;
constexpr int kTimeEditChars = 2;
// Dialog units above the others for the line that says settings are managed.
constexpr int kManagedNoteRoom = 14;
constexpr UINT kBnClicked = 0;

// A picker's value: only the hour and the minute count.
SYSTEMTIME PickerTime(UINT hour, UINT minute) {
    SYSTEMTIME t = {};
    t.wYear = 1990;
    t.wMonth = 1;
    t.wDayOfWeek = 1;
    t.wDay = 1;
    t.wHour = WORD(hour);
    t.wMinute = WORD(minute);
    t.wSecond = 1;
    t.wMilliseconds = 1;
    return t;
}

std::string QuotedLiteral(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}
} // namespace

std::string PickerFormat(const std::string &timeSep, BOOL b24Hour) {
    return b24Hour ? "H" + QuotedLiteral(timeSep) + "mm" : "h" + QuotedLiteral(timeSep) + "mm tt";
}

CSettingsDlg::CSettingsDlg(const SettingsDlgData &data, CDialog *parent)
    : CDialog(IDD_SETTINGS_DIALOG, parent), m_bShutdown(data.bShutdown), m_bRestart(data.bRestart),
      m_bAmWarn(data.bAmWarn), m_bKillDosApps(data.bKillDosApps), m_sPassword(data.sPassword),
      m_sTimeSep(data.sTimeSep), m_b24Hour(data.b24Hour), m_bIsNT(IsWindowsNT()) {}

void CSettingsDlg::DoDataExchange(CDataExchange *pDX) {
    for (int d = 0; d < kDays; ++d)
        DDX_Check(pDX, kDayBoxIds[d], m_bDay[d]);
    DDX_Check(pDX, IDC_WELCOME, m_bWelcome);
    DDX_Text(pDX, IDC_WELCOME_TIME, m_nWelcomeTime);
    DDV_MinMaxUInt(pDX, m_nWelcomeTime, 1, 60);
    DDX_Text(pDX, IDC_LIMIT_HOURS, m_nLimitHours);
    DDV_MinMaxUInt(pDX, m_nLimitHours, 1, 12);
    DDX_Check(pDX, IDC_LIMIT, m_bLimit);
    DDX_Check(pDX, IDC_SHOW_WARNING, m_bShowWarning);
    DDX_Text(pDX, IDC_WARNING_MINUTES, m_nWarningMinutes);
    DDV_MinMaxUInt(pDX, m_nWarningMinutes, 1, 60);
}

BOOL CSettingsDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    InitDateTimeControls();

    const std::string format = PickerFormat(m_sTimeSep, m_b24Hour);
    for (int d = 0; d < kDays; ++d) {
        if (!GetDlgItem(IDC_PICKER_SUNDAY + d))
            break;
        const CRect place = GetDlgItemRect(IDC_PICKER_SUNDAY + d);
        const bool outOfRange = m_nHour[d] >= 24 || m_nMinute[d] >= 60;
        if (outOfRange) {
            m_nHour[d] = kDefaultHour;
            m_nMinute[d] = 0;
        }
        m_nInitialHour[d] = m_nHour[d];
        m_hTimePicker[d] =
            CreateChildWindow("SysDateTimePick32", "DateTime",
                              WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | DTS_TIMEFORMAT,
                              place, IDC_TIME_PICKER + d);
        if (!m_hTimePicker[d]) {
            // Without its picker the day keeps a valid time, so nothing invalid is stored.
            ShowMessage(IDS_PICKER_FAILED, MB_ICONHAND);
            continue;
        }
        SetPickerFormat(m_hTimePicker[d], format);
        if (outOfRange)
            ShowMessage(IDS_TIME_OUT_OF_RANGE, MB_ICONEXCLAMATION);
        SetPickerTo(d, m_nHour[d], m_nMinute[d]);
    }

    LimitText(IDC_WELCOME_TIME, kTimeEditChars);
    LimitText(IDC_LIMIT_HOURS, kTimeEditChars);
    LimitText(IDC_WARNING_MINUTES, kTimeEditChars);

    // A hand-edited record may hold both actions; the dialog shows Shut down, and OK
    // stores what it shows.
    if (m_bShutdown)
        m_bRestart = FALSE;
    const int action = m_bShutdown ? IDC_SHUTDOWN : m_bRestart ? IDC_RESTART : IDC_OFF;
    for (int id : {IDC_SHUTDOWN, IDC_RESTART, IDC_OFF})
        CheckDlgButton(id, id == action ? 1 : 0);
    OnActionChanged(action);
    CheckDlgButton(IDC_CHANGE_TOGETHER, 0);
    if (!m_sTimeZone.empty()) {
        SetDlgItemText(IDC_ZONE_NOTE, FormatText(LoadStr(IDS_TIMES_IN_ZONE), m_sTimeZone));
        ShowDlgItem(IDC_ZONE_NOTE, TRUE);
    }

    const BOOL on = action != IDC_OFF;
    EnableDlgItem(IDC_WELCOME_TIME, on && m_bWelcome);
    for (int d = 0; d < kDays; ++d)
        EnableChild(m_hTimePicker[d], on && m_bDay[d]);

    if (m_nManaged) {
        MakeRoomAtTop(kManagedNoteRoom, IDC_MANAGED_NOTE);
        SetDlgItemText(IDC_MANAGED_NOTE, LoadStr(IDS_MANAGED));
        ShowDlgItem(IDC_MANAGED_NOTE, TRUE);
        DisableManaged();
    }

    SetTabOrder();
    GotoDlgCtrl(IDC_SHUTDOWN);
    WriteStatusValue("curr_settings", 1);
    return FALSE;
}

void CSettingsDlg::SetPickerTo(int day, UINT hour, UINT minute) {
    if (!m_hTimePicker[day])
        return;
    m_bSettingPickers = true;
    SetPickerTime(m_hTimePicker[day], PickerTime(hour, minute));
    m_bSettingPickers = false;
}

void CSettingsDlg::SetTabOrder() {
    std::vector<HWND> order;
    for (int id : {IDC_SHUTDOWN, IDC_RESTART, IDC_OFF})
        order.push_back(GetDlgItem(id));
    for (int d = 0; d < kDays; ++d) {
        order.push_back(GetDlgItem(kDayBoxIds[d]));
        order.push_back(m_hTimePicker[d]);
    }
    for (int id : {IDC_CHANGE_TOGETHER, IDC_WELCOME, IDC_WELCOME_TIME, IDC_SHOW_WARNING,
                   IDC_WARNING_MINUTES, IDC_LIMIT, IDC_LIMIT_HOURS, IDOK, IDCANCEL,
                   IDC_SET_PASSWORD, IDC_ADVANCED, IDC_DEFAULTS, IDC_ABOUT, ID_HELP})
        order.push_back(GetDlgItem(id));
    HWND previous = nullptr;
    for (HWND wnd : order) {
        if (!wnd)
            continue;
        PlaceChildBehind(wnd, previous);
        previous = wnd;
    }
}

void CSettingsDlg::OnActionChanged(int id) {
    ActionChanged(id);
    DisableManaged();
}

void CSettingsDlg::ActionChanged(int id) {
    const auto follow = [this](int edit, int box) { EnableDlgItem(edit, IsDlgButtonChecked(box)); };
    switch (id) {
    case IDC_SHUTDOWN:
        EnableScheduleControls(TRUE);
        SetDlgItemText(IDC_WHEN_GROUP, LoadStr(IDS_SHUTDOWN_ON));
        SetDlgItemText(IDC_MINUTES_TEXT, LoadStr(IDS_MINUTES_BEFORE_SHUTDOWN));
        follow(IDC_LIMIT_HOURS, IDC_LIMIT);
        follow(IDC_WELCOME_TIME, IDC_WELCOME);
        follow(IDC_WARNING_MINUTES, IDC_SHOW_WARNING);
        break;
    case IDC_RESTART:
        EnableScheduleControls(TRUE);
        // Limit use does not apply to restarts.
        EnableDlgItem(IDC_LIMIT, FALSE);
        EnableDlgItem(IDC_LIMIT_HOURS, FALSE);
        EnableDlgItem(IDC_HOURS_TEXT, FALSE);
        SetDlgItemText(IDC_WHEN_GROUP, LoadStr(IDS_RESTART_ON));
        SetDlgItemText(IDC_MINUTES_TEXT, LoadStr(IDS_MINUTES_BEFORE_RESTART));
        follow(IDC_WELCOME_TIME, IDC_WELCOME);
        follow(IDC_WARNING_MINUTES, IDC_SHOW_WARNING);
        break;
    case IDC_OFF:
        EnableScheduleControls(FALSE);
        SetDlgItemText(IDC_WHEN_GROUP, LoadStr(IDS_SHUTDOWN_ON));
        SetDlgItemText(IDC_MINUTES_TEXT, LoadStr(IDS_MINUTES_BEFORE_SHUTDOWN));
        break;
    default:
        break;
    }
}

void CSettingsDlg::EnableScheduleControls(BOOL enable) {
    EnableDlgItem(IDC_WHEN_GROUP, enable);
    for (int box : kDayBoxIds)
        EnableDlgItem(box, enable);
    for (int id :
         {IDC_CHANGE_TOGETHER, IDC_WELCOME, IDC_WELCOME_TIME, IDC_SECONDS_TEXT, IDC_LIMIT,
          IDC_LIMIT_HOURS, IDC_HOURS_TEXT, IDC_SHOW_WARNING, IDC_WARNING_MINUTES, IDC_MINUTES_TEXT})
        EnableDlgItem(id, enable);
    for (int d = 0; d < kDays; ++d)
        EnableChild(m_hTimePicker[d], enable && IsDlgButtonChecked(kDayBoxIds[d]));
}

// Whatever a command enabled, what the organisation manages stays greyed.
BOOL CSettingsDlg::OnCommand(UINT id, UINT notifyCode) {
    const BOOL handled = Command(id, notifyCode);
    DisableManaged();
    return handled;
}

void CSettingsDlg::DisableManaged() {
    static const struct {
        unsigned item;
        int id;
    } kManagedControls[] = {
        {kManagedAction, IDC_SHUTDOWN},         {kManagedAction, IDC_RESTART},
        {kManagedAction, IDC_OFF},              {kManagedTimes, IDC_CHANGE_TOGETHER},
        {kManagedWelcome, IDC_WELCOME},         {kManagedWelcomeTime, IDC_WELCOME_TIME},
        {kManagedShowWarning, IDC_SHOW_WARNING}, {kManagedWarningMinutes, IDC_WARNING_MINUTES},
        {kManagedLimit, IDC_LIMIT},             {kManagedLimitHours, IDC_LIMIT_HOURS},
    };
    for (const auto &c : kManagedControls)
        if (m_nManaged & c.item)
            EnableDlgItem(c.id, FALSE);
    for (int d = 0; d < kDays; ++d) {
        if (m_nManaged & kManagedDays)
            EnableDlgItem(kDayBoxIds[d], FALSE);
        if (m_nManaged & kManagedTimes)
            EnableChild(m_hTimePicker[d], FALSE);
    }
}

BOOL CSettingsDlg::Command(UINT id, UINT notifyCode) {
    if (notifyCode != kBnClicked)
        return CDialog::OnCommand(id, notifyCode);
    for (int d = 0; d < kDays; ++d)
        if (int(id) == kDayBoxIds[d]) {
            EnableChild(m_hTimePicker[d], IsDlgButtonChecked(kDayBoxIds[d]));
            return TRUE;
        }
    switch (id) {
    case IDC_SHUTDOWN:
    case IDC_RESTART:
    case IDC_OFF:
        // An automatic radio button also reports a click when it merely gets the
        // focus, unchecked (1014 does as the dialog opens on another action): only a
        // checked one is the user's choice.
        if (IsDlgButtonChecked(int(id))) {
            m_bShutdown = id == IDC_SHUTDOWN;
            m_bRestart = id == IDC_RESTART;
            OnActionChanged(int(id));
        }
        return TRUE;
    case IDC_CHANGE_TOGETHER:
        m_bChangeTogether = IsDlgButtonChecked(IDC_CHANGE_TOGETHER) ? TRUE : FALSE;
        return TRUE;
    case IDC_WELCOME:
        EnableDlgItem(IDC_WELCOME_TIME, IsDlgButtonChecked(IDC_WELCOME));
        return TRUE;
    case IDC_SHOW_WARNING:
        EnableDlgItem(IDC_WARNING_MINUTES, IsDlgButtonChecked(IDC_SHOW_WARNING));
        return TRUE;
    case IDC_LIMIT:
        EnableDlgItem(IDC_LIMIT_HOURS, IsDlgButtonChecked(IDC_LIMIT));
        return TRUE;
    case IDC_SET_PASSWORD:
        OnSetPassword();
        return TRUE;
    case IDC_ADVANCED:
        OnAdvanced();
        return TRUE;
    case IDC_DEFAULTS:
        OnDefaults();
        return TRUE;
    case IDC_ABOUT:
        OnAbout();
        return TRUE;
    default:
        return CDialog::OnCommand(id, notifyCode);
    }
}

BOOL CSettingsDlg::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *pResult) {
    const auto *header = reinterpret_cast<const NMHDR *>(lParam);
    // The picker's id less the first picker's is its day.
    const UINT_PTR day = (header ? header->idFrom : UINT_PTR(wParam)) - UINT_PTR(IDC_TIME_PICKER);
    if (!header || day >= UINT_PTR(kDays) || !m_hTimePicker[day] ||
        header->hwndFrom != m_hTimePicker[day])
        return CDialog::OnNotify(wParam, lParam, pResult);
    if (header->code == DTN_DATETIMECHANGE && !m_bSettingPickers) {
        const auto *change = reinterpret_cast<const NMDATETIMECHANGE *>(lParam);
        if (change->dwFlags == GDT_VALID)
            OnTimeChange(int(day), change->st);
    }
    *pResult = 0;
    return TRUE;
}

void CSettingsDlg::OnTimeChange(int day, const SYSTEMTIME &time) {
    UINT hour = time.wHour, minute = time.wMinute;
    if (hour > 23 || minute > 59) {
        hour = kDefaultHour;
        minute = 0;
    }
    m_nHour[day] = hour;
    m_nMinute[day] = minute;
    if (!m_bChangeTogether)
        return;
    for (int other = 0; other < kDays; ++other) {
        if (other == day || !IsDlgButtonChecked(kDayBoxIds[other]))
            continue;
        SetPickerTo(other, hour, minute);
        m_nHour[other] = hour;
        m_nMinute[other] = minute;
    }
}

void CSettingsDlg::OnDefaults() {
    if (ShowMessage(IDS_RESET_ALL, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
        return;
    // What the organisation manages keeps its value.
    const auto unmanaged = [this](unsigned item) { return !(m_nManaged & item); };
    if (unmanaged(kManagedAction)) {
        m_bShutdown = TRUE;
        m_bRestart = FALSE;
        CheckDlgButton(IDC_SHUTDOWN, 1);
        CheckDlgButton(IDC_OFF, 0);
        CheckDlgButton(IDC_RESTART, 0);
        OnActionChanged(IDC_SHUTDOWN);
    }
    const bool on = !IsDlgButtonChecked(IDC_OFF);

    for (int d = 0; d < kDays; ++d) {
        if (unmanaged(kManagedTimes)) {
            m_nHour[d] = kDefaultHour;
            m_nMinute[d] = 0;
            SetPickerTo(d, kDefaultHour, 0);
        }
        if (unmanaged(kManagedDays)) {
            m_bDay[d] = d <= 4 ? TRUE : FALSE; // Sunday to Thursday
            CheckDlgButton(kDayBoxIds[d], m_bDay[d] ? 1 : 0);
        }
        EnableChild(m_hTimePicker[d], on && IsDlgButtonChecked(kDayBoxIds[d]));
    }
    m_bChangeTogether = FALSE;
    CheckDlgButton(IDC_CHANGE_TOGETHER, 0);

    const auto reset = [&](unsigned item, BOOL &flag, BOOL value, int box) {
        if (unmanaged(item)) {
            flag = value;
            CheckDlgButton(box, value ? 1 : 0);
        }
    };
    reset(kManagedWelcome, m_bWelcome, TRUE, IDC_WELCOME);
    reset(kManagedShowWarning, m_bShowWarning, TRUE, IDC_SHOW_WARNING);
    reset(kManagedLimit, m_bLimit, FALSE, IDC_LIMIT);
    const auto number = [&](unsigned item, UINT &field, UINT value, int edit, int box) {
        if (unmanaged(item)) {
            field = value;
            SetDlgItemText(edit, StrFormat("%u", value));
        }
        // Limit use does not apply to restarts.
        EnableDlgItem(edit, on && IsDlgButtonChecked(box) &&
                                !(box == IDC_LIMIT && IsDlgButtonChecked(IDC_RESTART)));
    };
    number(kManagedWelcomeTime, m_nWelcomeTime, 10, IDC_WELCOME_TIME, IDC_WELCOME);
    number(kManagedLimitHours, m_nLimitHours, 9, IDC_LIMIT_HOURS, IDC_LIMIT);
    number(kManagedWarningMinutes, m_nWarningMinutes, 5, IDC_WARNING_MINUTES, IDC_SHOW_WARNING);
    m_bAmWarn = TRUE;

    if ((m_bKillDosApps || m_bDisableCpl || m_bDisableRegPgms) &&
        ShowMessage(IDS_RESET_ADVANCED, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK) {
        if (unmanaged(kManagedKillDosApps))
            m_bKillDosApps = FALSE;
        if (unmanaged(kManagedDisableCpl))
            m_bDisableCpl = FALSE;
        if (unmanaged(kManagedDisableRegPgms))
            m_bDisableRegPgms = FALSE;
    }
    // The password is never reset here.
}

void CSettingsDlg::OnOK() {
    bool anyDay = false;
    for (int box : kDayBoxIds)
        anyDay = anyDay || IsDlgButtonChecked(box);
    if (!IsDlgButtonChecked(IDC_OFF) && !anyDay) {
        ShowMessage(IDS_PICK_A_DAY, MB_ICONEXCLAMATION);
        return;
    }
    if (m_bAmWarn) {
        bool changed = false, early = false;
        for (int d = 0; d < kDays; ++d) {
            changed = changed || m_nHour[d] != m_nInitialHour[d];
            early = early || m_nHour[d] <= 5;
        }
        if (changed && early) {
            CCheckTimesDlg check(nullptr);
            const int result = check.DoModal();
            BringToTop();
            if (result == IDCANCEL)
                return;
            if (check.m_bDontShowAgain)
                m_bAmWarn = FALSE;
        }
    }
    CDialog::OnOK();
}

void CSettingsDlg::OnSetPassword() {
    CSetPasswordDlg dlg(nullptr);
    dlg.m_currentLock = m_sPassword;
    if (dlg.DoModal() == IDOK)
        m_sPassword = dlg.m_sNewPassword;
    BringToTop();
}

void CSettingsDlg::OnAdvanced() {
    CAdvancedDlg dlg(this, m_bIsNT);
    dlg.m_bKillDosApps = m_bKillDosApps;
    dlg.m_bDisableCpl = m_bDisableCpl;
    dlg.m_bDisableRegPgms = m_bDisableRegPgms;
    dlg.m_nManaged = m_nManaged;
    if (dlg.DoModal() == IDOK) {
        m_bKillDosApps = dlg.m_bKillDosApps;
        m_bDisableCpl = dlg.m_bDisableCpl;
        m_bDisableRegPgms = dlg.m_bDisableRegPgms;
    }
    BringToTop();
}

void CSettingsDlg::OnAbout() {
    CAboutDlg dlg(nullptr);
    dlg.DoModal();
    BringToTop();
}

void CSettingsDlg::OnDestroy() {
    WriteStatusValue("curr_settings", 0);
    AfxQuitHelp();
}

int CSettingsDlg::ShowMessage(UINT stringId, UINT type) {
    return MessageBox(LoadStr(stringId), LoadStr(IDS_VESPRA), type);
}

// The settings user interface on real windows: every template as the dialog manager
// builds it, the settings dialog of a "/settings" start with its date-time pickers
// in the user's locale, a time set in a picker that lands in the registry, a password
// set there that is stored only as its hash, the About dialog's links and the help
// pages through the shell, and the self-closing message.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "scheduler/app.h"
#include "scheduler/scheduler.h"
#include "settings/password.h"
#include "security/password_crypto.h"
#include "settings/run_state.h"
#include "tests/wine/platform_wine_util.h"
#include "tests/wine/wine_test_support.h"
#include "ui/settings_dlg.h"
#include "ui/sub_dialogs.h"
#include "ui/timed_message_dlg.h"

namespace {

const char kSettingsTitle[] = "Vespra Settings";
const char kDialogClass[] = "#32770";
constexpr DWORD kWaitMs = 30000;

// WM_GETTEXT, which (unlike GetWindowText) is sent across processes too.
std::string WindowText(HWND hwnd) {
    char text[256] = {};
    SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// The date-time pickers of a dialog, by control id: Sunday first.
std::vector<HWND> Pickers(HWND dialog) {
    std::vector<HWND> found;
    struct Collect {
        static BOOL CALLBACK Child(HWND child, LPARAM lp) {
            char cls[64] = {};
            GetClassNameA(child, cls, sizeof cls);
            if (lstrcmpiA(cls, DATETIMEPICK_CLASSA) == 0)
                reinterpret_cast<std::vector<HWND> *>(lp)->push_back(child);
            return TRUE;
        }
    };
    EnumChildWindows(dialog, Collect::Child, reinterpret_cast<LPARAM>(&found));
    std::sort(found.begin(), found.end(),
              [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
    return found;
}

// Runs modal() on this thread while watch() drives its windows from another.
BOOL CALLBACK CloseOwnDialog(HWND hwnd, LPARAM answer) {
    DWORD pid = 0;
    char name[16] = {};
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() && GetClassNameA(hwnd, name, sizeof name) &&
        strcmp(name, kDialogClass) == 0 && IsWindowVisible(hwnd))
        PostMessageA(hwnd, WM_COMMAND, WPARAM(answer), 0);
    return TRUE;
}

// Runs the modal call while `watch` drives it from another thread. Whatever the
// watcher missed (a dialog not found in time on a loaded machine), the modal call
// ends: after a grace the dialogs still open are answered Cancel, No, then OK, so a
// failed test fails instead of hanging.
void WhileModal(const std::function<void()> &modal, const std::function<void()> &watch) {
    std::atomic<bool> done{false};
    wt::Thread watcher([&] {
        watch();
        const int answers[] = {IDCANCEL, IDNO, IDOK};
        for (int round = 0; !done && round < 600; ++round) {
            Sleep(100);
            if (round >= 50 && round % 10 == 0)
                EnumWindows(CloseOwnDialog, answers[(round / 10) % 3]);
        }
    });
    modal();
    done = true;
    watcher.join();
}

HWND WaitForOwnDialog(const char *title) {
    return wt::WaitForWindow(title, kWaitMs, kDialogClass, GetCurrentProcessId());
}

// A key from the keyboard, to the dialog brought to the foreground.
void PressKey(HWND dialog, WORD vk) {
    SetForegroundWindow(dialog);
    INPUT keys[2] = {};
    for (INPUT &key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = vk;
        key.ki.wScan = WORD(MapVirtualKeyA(vk, 0));
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

// The user's time format, set as the control panel would, and put back afterwards.
class LocaleTimeFormat {
public:
    explicit LocaleTimeFormat(const char *format) : m_old(Get(LOCALE_STIMEFORMAT)) {
        m_ok = SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, format);
    }
    ~LocaleTimeFormat() { SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, m_old.c_str()); }
    bool Ok() const { return m_ok; }

private:
    static std::string Get(LCTYPE item) {
        char buf[80] = {};
        GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buf, sizeof buf);
        return buf;
    }
    std::string m_old;
    bool m_ok = false;
};

std::string RegistryString(const char *name) {
    char value[256] = {};
    DWORD size = sizeof value - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vespra", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size);
        RegCloseKey(key);
    }
    return value;
}

// ---- Templates as the dialog manager makes them.

struct TemplateCase {
    UINT id;
    const char *caption;
    std::vector<int> controls;
};

INT_PTR CALLBACK PlainProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

TEST(Templates, EachIsBuiltWithItsCaptionStyleAndControls) {
    const TemplateCase cases[] = {
        {IDD_SETTINGS_DIALOG,
         "Vespra Settings",
         {1014, 1017, 1015, 1018, 1010, 1046, 1003, 1047, 1004, 1048, 1006, 1049,
          1007, 1050, 1008, 1051, 1009, 1052, 1053, 1013, 1011, 1019, 1033, 1016,
          1058, 1031, 1012, 1020, 1,    2,    1029, 4,    1030, 3,    57670}},
        {IDD_SET_PASSWORD, "Set Password", {1022, 1021, 1023, 1025, 1026, 1027, 1028, 1, 2}},
        {IDD_ENTER_PASSWORD, "Enter Password", {1030, 1043, 1024, 1, 2}},
        {IDD_TIMED_MESSAGE, "Vespra", {1044, 1}},
        {IDD_CHECK_TIMES, "Check Times", {1, 2, 1054}},
        {IDD_ADVANCED, "Advanced Settings", {1034, 1035, 1057, 1, 2, 57670}},
        {IDD_ABOUTBOX, "About Vespra", {1035, 1036, 1}},
    };
    for (const TemplateCase &c : cases) {
        HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(c.id), nullptr,
                                      PlainProc, 0);
        ASSERT_NE(dlg, nullptr) << c.id;
        EXPECT_EQ(WindowText(dlg), c.caption) << c.id;
        const LONG style = GetWindowLongA(dlg, GWL_STYLE);
        EXPECT_NE(style & WS_CAPTION, 0) << c.id;
        EXPECT_EQ(style & WS_SYSMENU, 0) << c.id;
        EXPECT_NE(GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0) << c.id;
        for (int id : c.controls)
            EXPECT_NE(GetDlgItem(dlg, id), nullptr) << c.id << " control " << id;
        DestroyWindow(dlg);
    }
}

TEST(Templates, ArtworkIsInTheProgramAndShownByTheDialogs) {
    // Icon 130 is the program's own icon: the first icon group of vespra.exe.
    HMODULE exe = LoadLibraryExA(wt::VespraExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(IDI_VESPRA), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(IDI_CHECK_TIMES), RT_GROUP_ICON), nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(IDB_ABOUT), RT_BITMAP), nullptr);
    FreeLibrary(exe);

    HWND about = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX),
                                    nullptr, PlainProc, 0);
    ASSERT_NE(about, nullptr);
    HWND picture = GetWindow(about, GW_CHILD); // the first control is the bitmap
    EXPECT_NE(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    DestroyWindow(about);
    HWND prompt = CreateDialogParamA(GetModuleHandleA(nullptr),
                                     MAKEINTRESOURCEA(IDD_ENTER_PASSWORD), nullptr, PlainProc, 0);
    ASSERT_NE(prompt, nullptr);
    EXPECT_NE(SendMessageA(GetWindow(prompt, GW_CHILD), STM_GETICON, 0, 0), 0);
    DestroyWindow(prompt);
}

// ---- The settings dialog of a "/settings" start.

class SettingsStart : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(wt::DeleteSettingsKey()); }
    void TearDown() override { wt::DeleteSettingsKey(); }
};

TEST_F(SettingsStart, ShowsSevenPickersInTheDefaultLocale) {
    wt::Process proc = wt::StartProcess(wt::VespraExePath(), " /settings");
    ASSERT_TRUE(proc.Valid());
    HWND dlg = wt::WaitForWindow(kSettingsTitle, kWaitMs, kDialogClass, proc.Id());
    ASSERT_NE(dlg, nullptr) << "no \"Vespra Settings\" within " << kWaitMs << " ms";
    const std::vector<HWND> pickers = Pickers(dlg);
    std::vector<std::string> texts;
    for (HWND p : pickers)
        texts.push_back(WindowText(p));
    const std::string group = wt::GetControlText(dlg, IDC_WHEN_GROUP);
    const bool shutDownChecked = IsDlgButtonChecked(dlg, IDC_SHUTDOWN) == BST_CHECKED;
    wt::ClickButton(dlg, IDCANCEL);
    EXPECT_TRUE(proc.WaitForExit(15000)) << "Cancel did not end the settings start";

    EXPECT_EQ(texts, std::vector<std::string>(7, "11:00 PM"));
    EXPECT_EQ(group, "Shut down this computer on");
    EXPECT_TRUE(shutDownChecked);
    EXPECT_EQ(RegistryString("times"), "23:00 23:00 23:00 23:00 23:00 23:00 23:00");
}

// A start of its own, so before the test below: the scheduler it runs in this process
// keeps its mutex, and any later start here would be a second instance.
TEST_F(SettingsStart, APasswordSetInTheDialogIsStoredOnlyAsItsHash) {
    wt::Process proc = wt::StartProcess(wt::VespraExePath(), " /settings");
    HWND dlg = wt::WaitForWindow(kSettingsTitle, kWaitMs, kDialogClass, proc.Id());
    ASSERT_TRUE(dlg && wt::ClickButton(dlg, IDC_SET_PASSWORD));
    HWND pw = wt::WaitForWindow("Set Password", kWaitMs, kDialogClass, proc.Id());
    ASSERT_NE(pw, nullptr);
    for (int id : {IDC_NEW_PASSWORD, IDC_REENTER_PASSWORD})
        SendMessageA(GetDlgItem(pw, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Bedtime9"));
    wt::ClickButton(pw, IDOK);
    ASSERT_TRUE(wt::WaitForNoWindow("Set Password", kWaitMs, kDialogClass, proc.Id()));
    wt::ClickButton(dlg, IDOK);
    HWND box = wt::WaitForWindow("Vespra", kWaitMs, kDialogClass, proc.Id()); // start now?
    ASSERT_TRUE(box && PostMessageA(box, WM_COMMAND, IDNO, 0) && proc.WaitForExit(15000));

    // "lock" empty: the password can only have come from a valid REG_BINARY "lock_hash".
    EXPECT_EQ(RegistryString("lock"), "");
    CVespraDlg reader(nullptr, FALSE, FALSE, FALSE);
    ASSERT_TRUE(reader.ReadRegistry());
    const std::string record = reader.m_sPassword.Record();
    ASSERT_TRUE(IsValidPasswordRecord(record));
    // The key is bcrypt's PBKDF2 of the password with the record's salt and count.
    std::string derived;
    ASSERT_TRUE(DerivePasswordKey("Bedtime9", record.substr(6, kPasswordSaltSize),
                                  kPasswordIterations, kPasswordKeySize, derived));
    EXPECT_EQ(record.substr(6 + kPasswordSaltSize), derived);
    EXPECT_FALSE(reader.m_sPassword.Accepts("bedtime9"));
}

// Four wrong passwords, each in a "/settings" start of its own: the fifth start
// opens no prompt and says how long to wait. The count outlives the processes.
TEST_F(SettingsStart, WrongPasswordsMakeTheNextStartWait) {
    {
        CVespraDlg writer(nullptr, FALSE, FALSE, FALSE);
        writer.m_sPassword = "Bedtime9";
        ASSERT_TRUE(writer.WriteRegistry());
    }
    for (int i = 0; i < 4; ++i) {
        if (i == 3)
            Sleep(2100); // the fourth may come 2 s after the third, and then waits 4 s
        wt::Process proc = wt::StartProcess(wt::VespraExePath(), " /settings");
        HWND prompt = wt::WaitForWindow("Enter Password", kWaitMs, kDialogClass, proc.Id());
        ASSERT_NE(prompt, nullptr) << i;
        SendMessageA(GetDlgItem(prompt, IDC_ENTERED_PASSWORD), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>("guess"));
        wt::ClickButton(prompt, IDOK);
        HWND box = wt::WaitForWindow("Vespra", kWaitMs, kDialogClass, proc.Id());
        ASSERT_NE(box, nullptr) << i;
        EXPECT_EQ("Wrong password; can't access settings.", pw::ReadMessageBox(box).text);
        ASSERT_TRUE(PostMessageA(box, WM_COMMAND, IDOK, 0) && proc.WaitForExit(15000)) << i;
    }
    EXPECT_EQ(4u, ReadStatusValue("lock_wrong"));
    wt::Process proc = wt::StartProcess(wt::VespraExePath(), " /settings");
    HWND box = wt::WaitForWindow("Vespra", kWaitMs, kDialogClass, proc.Id());
    ASSERT_NE(box, nullptr);
    const std::string text = pw::ReadMessageBox(box).text;
    EXPECT_EQ(nullptr, wt::WaitForWindow("Enter Password", 0, kDialogClass, proc.Id()));
    ASSERT_TRUE(PostMessageA(box, WM_COMMAND, IDOK, 0) && proc.WaitForExit(15000));
    const std::string head = "Too many wrong passwords; please try again in ";
    ASSERT_EQ(0u, text.rfind(head, 0)) << text;
    const int seconds = atoi(text.c_str() + head.size());
    EXPECT_TRUE(seconds >= 1 && seconds <= 4) << text;
    EXPECT_EQ(head + std::to_string(seconds) + " seconds.", text);
}

TEST_F(SettingsStart, APickerSetTo2230LandsInTheRegistryUnderA24HourClock) {
    LocaleTimeFormat clock24("HH:mm:ss");
    ASSERT_TRUE(clock24.Ok());
    std::vector<std::string> texts;
    bool pickerFollowsItsBox = false, focusOnShutDown = false, fridayGreyed = false;
    CVespraApp app;
    app.m_lpCmdLine = "/settings";
    WhileModal(
        [&] { app.InitInstance(); },
        [&] {
            HWND dlg = WaitForOwnDialog(kSettingsTitle);
            if (!dlg)
                return;
            const std::vector<HWND> pickers = Pickers(dlg);
            for (HWND p : pickers)
                texts.push_back(WindowText(p));
            if (pickers.size() != 7)
                return;
            // Friday and Saturday are off by default: their pickers are greyed.
            fridayGreyed = !IsWindowEnabled(pickers[5]) && IsWindowEnabled(pickers[4]);
            // Tab order: Monday's picker right after Monday's box.
            pickerFollowsItsBox = GetWindow(GetDlgItem(dlg, IDC_MONDAY), GW_HWNDNEXT) == pickers[1];
            GUITHREADINFO gui = {};
            gui.cbSize = sizeof gui;
            GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gui);
            focusOnShutDown = gui.hwndFocus == GetDlgItem(dlg, IDC_SHUTDOWN);
            SYSTEMTIME t = {};
            SendMessageA(pickers[1], DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t));
            t.wHour = 22;
            t.wMinute = 30;
            SendMessageA(pickers[1], DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t));
            NMDATETIMECHANGE nm = {};
            nm.nmhdr.hwndFrom = pickers[1];
            nm.nmhdr.idFrom = UINT_PTR(GetDlgCtrlID(pickers[1]));
            nm.nmhdr.code = DTN_DATETIMECHANGE;
            nm.dwFlags = GDT_VALID;
            nm.st = t;
            SendMessageA(dlg, WM_NOTIFY, nm.nmhdr.idFrom, reinterpret_cast<LPARAM>(&nm));
            wt::ClickButton(dlg, IDOK);
            // "Start Vespra now with these settings?": No.
            HWND box = WaitForOwnDialog("Vespra");
            if (box)
                PostMessageA(box, WM_COMMAND, IDNO, 0);
        });
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[0], "23:00");
    EXPECT_EQ(texts[6], "23:00");
    EXPECT_TRUE(pickerFollowsItsBox);
    EXPECT_TRUE(fridayGreyed);
    EXPECT_TRUE(focusOnShutDown);
    EXPECT_EQ(RegistryString("times"), "23:00 22:30 23:00 23:00 23:00 23:00 23:00");
    EXPECT_EQ(RegistryString("version"), "4.0");
}

// Opened with action Off, the focus goes to the unchecked Shut down button, which on
// Windows then reports a click (Wine's does not: the test sends it). That is no
// choice. Enter then reaches OK, which the dialog manager finds by its id.
TEST(SettingsIds, EnterIsOkAndTheFocusedActionButtonChoosesNothing) {
    CVespraDlg sched(nullptr, TRUE, FALSE, TRUE);
    sched.m_bShutdown = FALSE;
    CSettingsDlg settings(sched.GetData(), nullptr);
    sched.CopyToSettingsDlg(settings);
    std::string okText;
    int pickersAlone = 0, result = 0; // pickers whose id no other child has
    WhileModal(
        [&] { result = settings.DoModal(); },
        [&] {
            HWND dlg = WaitForOwnDialog(kSettingsTitle);
            if (!dlg)
                return;
            okText = WindowText(GetDlgItem(dlg, IDOK));
            std::vector<int> ids;
            for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                ids.push_back(GetDlgCtrlID(c));
            for (HWND p : Pickers(dlg))
                pickersAlone += std::count(ids.begin(), ids.end(), GetDlgCtrlID(p)) == 1;
            HWND shutDown = GetDlgItem(dlg, IDC_SHUTDOWN);
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_SHUTDOWN, BN_CLICKED), LPARAM(shutDown));
            PressKey(dlg, VK_RETURN);
            if (!wt::WaitForNoWindow(kSettingsTitle, 10000, kDialogClass, GetCurrentProcessId()))
                PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
        });
    EXPECT_EQ(okText, "OK");
    EXPECT_EQ(pickersAlone, 7);
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(settings.m_bShutdown || settings.m_bRestart);
}

// ---- The About dialog's links and the help pages, through the shell to a recorder.

// Points the shell's handlers for mailto: and for .html files at the recorder, in
// the machine's classes and in the user's (which come first where both exist), so no
// browser or mail program is ever started, and puts the old ones back afterwards.
// The help pages are the build's copies beside this program.
class ShellToRecorder : public ::testing::Test {
protected:
    void SetUp() override {
        m_record = wt::ExeDir() + "\\open_record.txt";
        DeleteFileA(m_record.c_str());
        const std::string command = "\"" + wt::ToolPath("open_recorder_tool.exe") + "\" \"%1\"";
        m_oldHtml = Default(HKEY_CLASSES_ROOT, ".html");
        SetDefault(HKEY_CLASSES_ROOT, ".html", kProgId);
        SetDefault(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\shell\\open\\command", command);
        m_oldUserHtml = Default(HKEY_CURRENT_USER, "Software\\Classes\\.html");
        SetDefault(HKEY_CURRENT_USER, "Software\\Classes\\.html", kProgId);
        SetDefault(HKEY_CURRENT_USER,
                   std::string("Software\\Classes\\") + kProgId + "\\shell\\open\\command",
                   command);
        m_oldMailto = Default(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command");
        SetDefault(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", command);
    }
    void TearDown() override {
        SetDefault(HKEY_CLASSES_ROOT, ".html", m_oldHtml);
        SetDefault(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", m_oldMailto);
        if (m_oldUserHtml.empty())
            RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Classes\\.html");
        else
            SetDefault(HKEY_CURRENT_USER, "Software\\Classes\\.html", m_oldUserHtml);
        for (const char *key : {"\\shell\\open\\command", "\\shell\\open", "\\shell", ""}) {
            RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string(kProgId) + key).c_str());
            RegDeleteKeyA(HKEY_CURRENT_USER,
                          (std::string("Software\\Classes\\") + kProgId + key).c_str());
        }
        DeleteFileA(m_record.c_str());
    }
    static std::string Default(HKEY root, const std::string &key) {
        char value[512] = {};
        LONG size = sizeof value;
        if (RegQueryValueA(root, key.c_str(), value, &size) != ERROR_SUCCESS)
            return "";
        return value;
    }
    static void SetDefault(HKEY root, const std::string &key, const std::string &value) {
        RegSetValueA(root, key.c_str(), REG_SZ, value.c_str(), DWORD(value.size()));
    }
    std::string RecordWithin(DWORD ms, size_t lines) {
        for (DWORD waited = 0;; waited += 100) {
            std::string r = wt::ReadWholeFile(m_record);
            if (size_t(std::count(r.begin(), r.end(), '\n')) >= lines || waited >= ms)
                return r;
            Sleep(100);
        }
    }
    static std::string Lower(std::string text) {
        if (!text.empty())
            CharLowerA(&text[0]);
        return text;
    }
    static constexpr const char *kProgId = "VespraTest.Recorder";
    std::string m_record, m_oldHtml, m_oldUserHtml, m_oldMailto;
};

class AboutLinks : public ShellToRecorder {};

TEST_F(AboutLinks, WebSiteAndEmailOpenThroughTheShellAndTheDialogLeavesTheTop) {
    CAboutDlg about(nullptr);
    bool leftTopmostBand = false;
    std::string record;
    WhileModal([&] { about.DoModal(); },
               [&] {
                   HWND dlg = WaitForOwnDialog("About Vespra");
                   if (!dlg)
                       return;
                   SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
                   SendMessageA(dlg, WM_COMMAND, IDC_WEB_SITE, 0);
                   leftTopmostBand = (GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0;
                   SendMessageA(dlg, WM_COMMAND, IDC_EMAIL, 0);
                   record = RecordWithin(20000, 2);
                   PostMessageA(dlg, WM_COMMAND, IDOK, 0);
               });
    EXPECT_TRUE(leftTopmostBand);
    EXPECT_NE(Lower(record).find("help\\index.html"), std::string::npos) << record;
    EXPECT_NE(record.find("mailto:vespra@example.org?subject=Vespra 4.0 beta 5 feedback"),
              std::string::npos)
        << record;
}

// F1 in the settings dialog, and the Advanced Settings' Help button, each open their
// page beside the program with the shell's .html handler. The settings dialog runs as
// a "/settings" start next to a running scheduler shows it: no main window, so the
// application lets every help request through.
class HelpPages : public ShellToRecorder {};

TEST_F(HelpPages, F1AndTheHelpButtonOpenTheirPagesBesideTheProgram) {
    const std::string pages = wt::ExeDir() + "\\help\\";
    ASSERT_NE(GetFileAttributesA((pages + "settings.html").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the build puts the help pages beside the test programs";
    CVespraApp app;
    CVespraDlg sched(nullptr, TRUE, FALSE, TRUE);
    CSettingsDlg settings(sched.GetData(), nullptr);
    sched.CopyToSettingsDlg(settings);
    std::string afterF1, afterButton;
    WhileModal([&] { settings.DoModal(); },
               [&] {
                   HWND dlg = WaitForOwnDialog(kSettingsTitle);
                   if (!dlg)
                       return;
                   // The system turns F1 into WM_HELP for the focused window, which
                   // hands it on to its dialog.
                   PressKey(dlg, VK_F1);
                   afterF1 = RecordWithin(20000, 1);
                   wt::ClickButton(dlg, IDC_ADVANCED);
                   if (HWND advanced = WaitForOwnDialog("Advanced Settings")) {
                       wt::ClickButton(advanced, ID_HELP);
                       afterButton = RecordWithin(20000, 2);
                       wt::ClickButton(advanced, IDCANCEL);
                       wt::WaitForNoWindow("Advanced Settings", kWaitMs, kDialogClass,
                                           GetCurrentProcessId());
                   }
                   wt::ClickButton(dlg, IDCANCEL);
               });
    // The recorder gets the page's full path (quoted, as "%1" in its command).
    EXPECT_EQ(Lower(afterF1), Lower("\"" + pages + "settings.html\"\n"));
    EXPECT_EQ(Lower(afterButton),
              Lower("\"" + pages + "settings.html\"\n\"" + pages + "advanced.html\"\n"));
}

// ---- The self-closing message on a real timer.

TEST(TimedMessage, ClosesItselfAsOk) {
    CTimedMessageDlg dlg(nullptr, IDS_WRONG_PASSWORD_CANCEL, 300);
    std::string text;
    const DWORD start = GetTickCount();
    WhileModal([&] { EXPECT_EQ(dlg.DoModal(), IDOK); },
               [&] {
                   if (HWND w = WaitForOwnDialog("Vespra"))
                       text = wt::GetControlText(w, IDC_TIMED_TEXT);
               });
    EXPECT_GE(GetTickCount() - start, 250u);
    EXPECT_EQ(text, "Wrong password; can't cancel.");
}

} // namespace

// The resource script the Windows build compiles is the one the tests read: check
// the scheduler dialog's template and the string table against what users see.
#include <gtest/gtest.h>

#include "framework/text.h"
#include "resources/resource.h"
#include "tests/support/rc_reader.h"

namespace {

const RcControl *Find(const RcDialog &d, int id) {
    for (const RcControl &c : d.controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

TEST(Resources, SchedulerDialogTemplate) {
    const RcData &rc = ProgramResources();
    ASSERT_TRUE(rc.dialogs.count(IDD_VESPRA_DIALOG));
    const RcDialog &d = rc.dialogs.at(IDD_VESPRA_DIALOG);
    EXPECT_EQ(d.caption, "Vespra");
    EXPECT_EQ(d.fontName, "MS Sans Serif");
    EXPECT_EQ(d.fontSize, 8);
    EXPECT_NE(d.style.find("WS_CAPTION"), std::string::npos);
    EXPECT_NE(d.style.find("DS_MODALFRAME"), std::string::npos);
    EXPECT_NE(d.style.find("WS_POPUP"), std::string::npos);
    EXPECT_EQ(d.style.find("WS_SYSMENU"), std::string::npos);
    EXPECT_NE(d.exStyle.find("WS_EX_TOOLWINDOW"), std::string::npos);

    struct Expected {
        int id;
        const char *kind;
        const char *text;
        bool visible;
    };
    const Expected expected[] = {
        {1001, "LTEXT", nullptr, true},
        {1002, "DEFPUSHBUTTON", "OK", true},
        {1005, "PUSHBUTTON", "&Settings...", true},
        {2, "PUSHBUTTON", "Cancel", true},
        {1, "DEFPUSHBUTTON", "OK", false},
        {1016, "LTEXT", nullptr, false},
    };
    ASSERT_EQ(d.controls.size(), std::size(expected));
    for (const Expected &e : expected) {
        const RcControl *c = Find(d, e.id);
        ASSERT_NE(c, nullptr) << e.id;
        EXPECT_EQ(c->kind, e.kind) << e.id;
        if (e.text) {
            EXPECT_EQ(c->text, e.text) << e.id;
        }
        EXPECT_EQ(c->visible, e.visible) << e.id;
    }
}

TEST(Resources, StringsAreExactlyTheUsersTexts) {
    EXPECT_EQ(LoadStr(IDS_COUNTDOWN),
              "This computer is scheduled to shut down %1.\n\n%2 seconds left to cancel.");
    EXPECT_EQ(LoadStr(IDS_VESPRA), "Vespra");
    EXPECT_EQ(LoadStr(IDS_PSAPI_LOAD_FAILED),
              "Internal Error:\n\nLoadLibrary(\"PSAPI.DLL\") failed");
    EXPECT_EQ(LoadStr(IDS_PENDING), "Sorry! This computer is going to shut down soon, and this "
                                    "function is not available when shut down is pending.");
    EXPECT_EQ(LoadStr(IDS_NETWORK_SAVED),
              "Settings for network clients have been saved in:\n%1\n\nClick Help for more "
              "information about using Vespra on a network.");
    EXPECT_EQ(LoadStr(IDS_SETTINGS_VERSION), "4.0");
    EXPECT_EQ(LoadStr(IDS_SHARING), "Sharing");
    EXPECT_EQ(LoadStr(9999), "");
}

TEST(Resources, EveryStringIdHasItsText) {
    const RcData &rc = ProgramResources();
    int checked = 0;
    for (const auto &[name, value] : rc.symbols) {
        if (name.rfind("IDS_", 0) != 0)
            continue;
        ++checked;
        auto it = rc.strings.find(int(value));
        ASSERT_NE(it, rc.strings.end()) << name;
        EXPECT_FALSE(it->second.empty()) << name;
    }
    EXPECT_GT(checked, 60);
}

TEST(Resources, RestartFormsMirrorTheirShutdownForms) {
    for (auto [shutdown, restart] : {std::pair{IDS_WARNING, IDS_WARNING_RESTART},
                                     {IDS_COUNTDOWN, IDS_COUNTDOWN_RESTART},
                                     {IDS_SCHEDULED, IDS_SCHEDULED_RESTART},
                                     {IDS_FORCING, IDS_FORCING_RESTART},
                                     {IDS_PENDING, IDS_PENDING_RESTART}}) {
        std::string s = LoadStr(shutdown), r = LoadStr(restart);
        EXPECT_NE(r.find("restart"), std::string::npos) << r;
        // The same placeholders, so the same arguments fill both.
        EXPECT_EQ(s.find("%1") != std::string::npos, r.find("%1") != std::string::npos);
        EXPECT_EQ(s.find("%2") != std::string::npos, r.find("%2") != std::string::npos);
    }
}

TEST(Resources, ReaderHandlesEscapesAndSymbols) {
    RcData rc =
        ParseRc("STRINGTABLE\nBEGIN\n  IDS_A, \"a\"\"b\\\\c\\td\"\n  7 \"x\\ny\"\nEND\n"
                "9 DIALOGEX 0, 0, 10, 10\nSTYLE WS_POPUP\nCAPTION \"T\"\nFONT 8, \"F\"\n"
                "BEGIN\n CONTROL \"c\", IDC_X, \"Button\", BS_AUTOCHECKBOX | "
                "WS_TABSTOP, 1, 2, 3, 4\n EDITTEXT IDC_X, 1, 2, 3, 4, NOT WS_VISIBLE\nEND\n",
                "#define IDS_A 5\n#define IDC_X 42\n");
    EXPECT_EQ(rc.strings.at(5), "a\"b\\c\td");
    EXPECT_EQ(rc.strings.at(7), "x\ny");
    ASSERT_EQ(rc.dialogs.at(9).controls.size(), 2u);
    EXPECT_EQ(rc.dialogs.at(9).controls[0].className, "Button");
    EXPECT_EQ(rc.dialogs.at(9).controls[0].cx, 3);
    EXPECT_FALSE(rc.dialogs.at(9).controls[1].visible);
}

} // namespace

namespace {

// The settings user interface's templates: size and caption, the conventions of
// every dialog, and the styles the code relies on.
TEST(Resources, SettingsInterfaceTemplates) {
    const struct {
        int id;
        const char *caption;
        int cx, cy;
        size_t controls;
    } templates[] = {
        {IDD_SETTINGS_DIALOG, "Vespra Settings", 238, 241, 38},
        {IDD_SET_PASSWORD, "Set Password", 206, 132, 11},
        {IDD_ENTER_PASSWORD, "Enter Password", 159, 76, 7},
        {IDD_TIMED_MESSAGE, "Vespra", 186, 71, 2},
        {IDD_CHECK_TIMES, "Check Times", 233, 127, 7},
        {IDD_ADVANCED, "Advanced Settings", 219, 108, 7},
        {IDD_ABOUTBOX, "About Vespra", 181, 105, 7},
    };
    const RcData &rc = ProgramResources();
    for (const auto &t : templates) {
        ASSERT_TRUE(rc.dialogs.count(t.id)) << t.id;
        const RcDialog &d = rc.dialogs.at(t.id);
        EXPECT_EQ(d.caption, t.caption);
        EXPECT_EQ(d.cx, t.cx) << t.id;
        EXPECT_EQ(d.cy, t.cy) << t.id;
        EXPECT_EQ(d.controls.size(), t.controls) << t.id;
        EXPECT_EQ(d.fontName, "MS Sans Serif");
        EXPECT_EQ(d.fontSize, 8);
        EXPECT_NE(d.style.find("WS_CAPTION"), std::string::npos) << t.id;
        EXPECT_EQ(d.style.find("WS_SYSMENU"), std::string::npos) << t.id;
        EXPECT_NE(d.exStyle.find("WS_EX_TOOLWINDOW"), std::string::npos) << t.id;
    }

    const RcDialog &s = rc.dialogs.at(IDD_SETTINGS_DIALOG);
    for (int day = 0; day < 7; ++day) {
        const RcControl *frame = Find(s, IDC_PICKER_SUNDAY + day);
        ASSERT_NE(frame, nullptr);
        EXPECT_FALSE(frame->visible);
        EXPECT_EQ(frame->x, 80);
        EXPECT_EQ(frame->y, 32 + 17 * day);
        EXPECT_EQ(frame->cx, 50);
        EXPECT_EQ(frame->cy, 15);
    }
    for (int edit : {IDC_WELCOME_TIME, IDC_LIMIT_HOURS, IDC_WARNING_MINUTES})
        EXPECT_NE(Find(s, edit)->style.find("ES_NUMBER"), std::string::npos) << edit;
    EXPECT_EQ(Find(s, IDC_SUNDAY)->text, "S&unday at");
    EXPECT_EQ(Find(s, IDC_DEFAULTS)->text, "Def&aults...");
    EXPECT_EQ(Find(s, ID_HELP)->y, 221);
    // The zone's note: shown only when needed, under the times, inside their group.
    const RcControl *note = Find(s, IDC_ZONE_NOTE), *group = Find(s, IDC_WHEN_GROUP);
    EXPECT_FALSE(note->visible);
    EXPECT_GE(note->y, Find(s, IDC_CHANGE_TOGETHER)->y + Find(s, IDC_CHANGE_TOGETHER)->cy);
    EXPECT_LE(note->y + note->cy, group->y + group->cy);
    EXPECT_LE(group->y + group->cy, Find(s, IDC_WELCOME)->y);
    EXPECT_TRUE(Find(s, IDOK)->isDefault);

    const RcDialog &set = rc.dialogs.at(IDD_SET_PASSWORD);
    for (int edit : {IDC_CURRENT_PASSWORD, IDC_NEW_PASSWORD, IDC_REENTER_PASSWORD})
        EXPECT_NE(Find(set, edit)->style.find("ES_PASSWORD"), std::string::npos) << edit;
    const RcDialog &enter = rc.dialogs.at(IDD_ENTER_PASSWORD);
    EXPECT_FALSE(Find(enter, IDC_CANCEL_PROMPT)->visible);
    EXPECT_TRUE(Find(enter, IDC_SETTINGS_PROMPT)->visible);
    EXPECT_NE(Find(enter, IDC_ENTERED_PASSWORD)->style.find("ES_PASSWORD"), std::string::npos);
    EXPECT_EQ(Find(rc.dialogs.at(IDD_ADVANCED), IDC_KILL_DOS)->text,
              "&Kill DOS programs at shut down/restart");
    EXPECT_EQ(Find(rc.dialogs.at(IDD_CHECK_TIMES), IDC_DONT_SHOW_AGAIN)->text,
              "&Don't show this again");
    // The About dialog's address texts are the strings its buttons open.
    EXPECT_EQ(LoadStr(IDS_FEEDBACK_URL),
              "mailto:vespra@example.org?subject=Vespra 4.0 beta 5 feedback");
    EXPECT_EQ(LoadStr(IDS_WEB_SITE_URL), "help\\index.html");
}

} // namespace

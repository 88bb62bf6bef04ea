// The mirror's messages: what travels to the agent for a dialog and its changes, and
// which of the agent's messages the scheduler refuses.
#include <gtest/gtest.h>

#include "framework/mirror.h"

namespace {

MirrorDialog Countdown() {
    MirrorDialog d;
    d.templateId = 102;
    d.shown = true;
    d.focus = 1002;
    MirrorControl text;
    text.id = 1001;
    text.text = "10 seconds left to cancel.";
    MirrorControl ok;
    ok.id = 1;
    ok.visible = false;
    MirrorControl cancel;
    cancel.id = 2;
    MirrorControl picker;
    picker.id = 1080;
    picker.runtime = true;
    picker.className = "SysDateTimePick32";
    picker.time = "23:0";
    d.controls = {text, ok, cancel, picker};
    return d;
}

TEST(Mirror, MessagesSurviveEncodingAndMalformedOnesAreRefused) {
    const MirrorMessage m{'E', {"3", "1018", std::string("a:b\0c", 5), ""}};
    MirrorMessage back;
    ASSERT_TRUE(DecodeMirror(EncodeMirror(m), back));
    EXPECT_EQ(back.type, 'E');
    EXPECT_EQ(back.fields, m.fields);
    for (const char *bad : {"", "E5:abc", "E:", "Ex:a", "E99999999:a", "E3:abc2"})
        EXPECT_FALSE(DecodeMirror(bad, back)) << bad;
}

TEST(Mirror, ACopyGetsEverythingOnceAndThenOnlyWhatChanged) {
    const MirrorDialog before = Countdown();
    const auto full = MirrorChanges(7, nullptr, before);
    ASSERT_EQ(full.size(), 6u); // open, four controls, the window
    EXPECT_EQ(full.front().type, 'O');
    EXPECT_EQ(full.back().type, 'W');
    MirrorControl read;
    ASSERT_TRUE(ReadMirrorControl(full[4], read));
    EXPECT_EQ(read, before.controls[3]);

    MirrorDialog after = before;
    after.controls[0].text = "9 seconds left to cancel.";
    const auto changes = MirrorChanges(7, &before, after);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].type, 'S');
    EXPECT_EQ(changes[0].fields[2], "9 seconds left to cancel.");
    after.shown = false;
    EXPECT_EQ(MirrorChanges(7, &before, after).back().type, 'W');
}

TEST(Mirror, TheAgentCanDoOnlyWhatTheRealDialogAllows) {
    const std::map<int, MirrorDialog> open = {{7, Countdown()}};
    struct Case {
        MirrorMessage m;
        MirrorInput::Kind kind;
        bool alt = false;
    };
    const Case cases[] = {
        {{'K', {"7", "2", "0", "0"}}, MirrorInput::Command},
        {{'K', {"7", "1", "0", "1"}}, MirrorInput::Command, true}, // Alt + Enter, OK hidden
        {{'K', {"7", "1002", "0", "0"}}, MirrorInput::Refused},  // not in the dialog
        {{'K', {"8", "2", "0", "0"}}, MirrorInput::Refused},     // no such dialog open
        {{'K', {"7", "2", "768", "0"}}, MirrorInput::Refused},   // only clicks
        {{'K', {"7", "1", "0"}}, MirrorInput::Refused},          // an older agent: no Alt
        {{'K', {"7", "1", "0", "2"}}, MirrorInput::Refused},
        {{'K', {"7", "1", "0", ""}}, MirrorInput::Refused},
        {{'K', {"7", "1", "0", "1", "1"}}, MirrorInput::Refused},
        {{'E', {"7", "1001", "x", "1"}}, MirrorInput::Refused},  // Alt only with a command
        {{'E', {"7", "1001", "x"}}, MirrorInput::Text},
        {{'E', {"7", "1", "x"}}, MirrorInput::Refused},      // hidden
        {{'E', {"7", "1001", std::string(2000, 'x')}}, MirrorInput::Refused},
        {{'B', {"7", "2", "1"}}, MirrorInput::Check},
        {{'B', {"7", "2", "5"}}, MirrorInput::Refused},
        {{'D', {"7", "1080", "22:30"}}, MirrorInput::Time},
        {{'D', {"7", "1080", "24:00"}}, MirrorInput::Refused},
        {{'D', {"7", "1001", "22:30"}}, MirrorInput::Refused}, // not a picker
        {{'F', {"7"}}, MirrorInput::Help},
        {{'R', {"4", "6"}}, MirrorInput::Answer},
        {{'Z', {"7", "2", "0"}}, MirrorInput::Refused},      // unknown type
        {{'K', {"7", "2"}}, MirrorInput::Refused},           // a field short
    };
    for (const Case &c : cases) {
        const MirrorInput in = CheckMirrorInput(c.m, open);
        EXPECT_EQ(in.kind, c.kind) << c.m.type << " " << (c.m.fields.size() > 1 ? c.m.fields[1] : "")
                                   << " of " << c.m.fields.size();
        EXPECT_EQ(in.alt, c.alt) << c.m.type << " " << c.m.fields.size();
    }
}

} // namespace

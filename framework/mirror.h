// The mirror of our dialogs in another session. A scheduler that runs where nobody
// can see it (session 0) keeps its real dialogs, hidden, as the truth; an agent in
// the user's session draws a copy of each from the same template and sends back what
// the user does there. This header holds the portable part: the state of a dialog as
// the copy needs it, the messages between the two ends, and the checks the
// scheduler's end makes on what comes back.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/win32_types.h"

// What a copy shows of one control.
struct MirrorControl {
    int id = 0;
    std::string text;
    bool visible = true;
    bool enabled = true;
    int check = 0;
    // A child made at run time (a date-time picker): its class, style, format and
    // rectangle in dialog units x 4 travel too, since the template lacks it.
    bool runtime = false;
    std::string className;
    DWORD style = 0;
    std::string format;
    CRect rect;
    // A picker's time, "h:m", or empty.
    std::string time;

    bool operator==(const MirrorControl &o) const;
    bool operator!=(const MirrorControl &o) const { return !(*this == o); }
};

// What a copy shows of one dialog.
struct MirrorDialog {
    UINT templateId = 0;
    int parentKey = 0;
    std::string title;
    bool shown = false;
    bool topmost = false;
    int focus = 0;
    std::vector<MirrorControl> controls;
};

// Message types. Scheduler to agent:
//   'O' open a copy (key, template, parent)      'C' close it (key)
//   'W' window state (key, shown, topmost, focus, title)
//   'S' a control's state (key, then the control's fields)
//   'M' a message box (sequence, type, caption, text)
//   'X' the polite shut-down request as the user (flags)
//   'Y' a bundle: each field one whole message of the above, applied in order
//   'H' open a help page or address as the user (target)
//   'G' start the settings program as the user (one field, ignored)
// Agent to scheduler:
//   'E' an edit's text (key, id, text)           'B' a button's check (key, id, check)
//   'D' a picker's time (key, id, "h:m")         'F' help asked for (key)
//   'K' a command (key, id, notification, Alt)   'R' a message box's answer (sequence, result)
// A command carries whether Alt was down in the user's session ("1" or "0"): Alt + OK
// of the settings writes the INI file, and session 0's own keyboard is nobody's.
struct MirrorMessage {
    char type = 0;
    std::vector<std::string> fields;
};

// Each field as its length, a colon and its bytes, after the type byte: any text
// travels unchanged. Decoding refuses anything malformed.
std::string EncodeMirror(const MirrorMessage &m);
bool DecodeMirror(const std::string &bytes, MirrorMessage &m);

// The messages that bring a copy from `before` to `now` (a full copy when `before`
// is null).
std::vector<MirrorMessage> MirrorChanges(int key, const MirrorDialog *before,
                                         const MirrorDialog &now);
// Applies an 'S' message's fields to a control; false when they are malformed.
bool ReadMirrorControl(const MirrorMessage &m, MirrorControl &c);

// What the scheduler's end makes of a message from the agent: the dialog and control
// it is for, checked against what is open. Anything else is refused: an unknown
// type, a dialog or control that is not open, a text longer than an edit can hold.
struct MirrorInput {
    enum Kind { Refused, Text, Check, Time, Command, Help, Answer } kind = Refused;
    int key = 0;
    int id = 0;
    std::string text;
    int number = 0;
    int hour = 0, minute = 0;
    bool alt = false; // a command's: Alt was down
};
MirrorInput CheckMirrorInput(const MirrorMessage &m, const std::map<int, MirrorDialog> &open);

// The hook the dialog backend calls when a mirror is in place: the scheduler's end
// sends, the agent's end is not a mirror.
class DialogMirror {
public:
    virtual ~DialogMirror() = default;
    // A dialog was made, may have changed, or is going.
    virtual void Opened(CDialog &dlg) = 0;
    virtual void Changed() = 0;
    virtual void Closed(CDialog &dlg) = 0;
    // A message box shown in the user's session; false when it can't be.
    virtual bool MessageBox(const std::string &text, const std::string &caption, UINT type,
                            int &result) = 0;
    // The shell's open, done as the user; false when it can't be.
    virtual bool ShellOpen(const std::string &target) = 0;
    // What the framework knows only when it is asked: a picker's format and the
    // control given the focus.
    virtual void PickerFormat(CDialog &, HWND, const std::string &) {}
    virtual void Focus(CDialog &, int) {}
    // Whether Alt was down with the last command the user gave in the copy: what
    // IsAltKeyDown answers while a mirror is in place.
    virtual bool AltDown() const { return false; }
};

void SetDialogMirror(DialogMirror *mirror);
DialogMirror *GetDialogMirror();

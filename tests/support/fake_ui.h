// The in-memory stand-in for windows, dialogs, message boxes and the clock.
// A test opens a dialog, reads its controls, fires its timers, clicks its buttons,
// and answers nested dialogs and message boxes with scripted responses.
#pragma once

#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/dialog.h"

namespace fake {

struct Control {
    int id = 0;
    std::string kind;
    std::string text;
    bool visible = true;
    bool enabled = true;
    UINT checked = 0;
    int limit = 0;
    CRect rect;
};

struct Window {
    CDialog *dialog = nullptr;
    UINT templateId = 0;
    std::string caption;
    std::map<int, Control> controls;
    std::map<UINT_PTR, UINT> timers; // id -> interval in ms
    bool visible = false;
    bool topmost = false;
    int x = 0, y = 0;
    int focus = 0;
    int redraws = 0;
    bool ended = false;
    int result = 0;
};

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// What a scripted nested dialog does once its OnInitDialog has run.
using Responder = std::function<void(CDialog &)>;

struct Ui {
    std::vector<MessageBoxCall> boxes;
    std::deque<int> boxAnswers;                       // next answers; IDOK when empty
    std::map<UINT, std::deque<Responder>> responders; // by template id
    std::vector<UINT> modalRuns;                      // template ids, in DoModal order
    std::vector<std::pair<DWORD, UINT>> helpCalls;    // WinHelp data, command
    bool altDown = false;
    bool failTimers = false; // SetTimer returns 0
};

// The stand-in's state; Reset() gives a fresh one.
Ui &State();
void Reset();

// Windows.
Window *WindowOf(const CDialog &dlg);
Control &Ctl(const CDialog &dlg, int id);
// Runs the dialog's initialisation and leaves it open for the test to drive.
// Returns OnInitDialog's result.
BOOL Open(CDialog &dlg);
// Ends an open dialog as Windows would after EndDialog (WM_DESTROY).
void Close(CDialog &dlg);
bool IsEnded(const CDialog &dlg);
int Result(const CDialog &dlg);

// Input.
// Clicks a button: only a visible and enabled one reacts. Returns whether it did.
bool Click(CDialog &dlg, int id);
void Type(CDialog &dlg, int id, const std::string &text);
// Fires one tick of a running timer; false when it is not running.
bool FireTimer(CDialog &dlg, UINT_PTR id);
// Posts a thread message to the application, as PostThreadMessage would.
void PostThreadMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Scripting.
void AnswerNextMessageBox(int answer);
void RespondToDialog(UINT templateId, Responder responder);

// The clock.
void SetNow(time_t now);
time_t Now();
void AdvanceClock(long seconds);

} // namespace fake

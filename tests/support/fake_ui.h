// The in-memory stand-in for windows, dialogs, message boxes and the clock.
// A test opens a dialog, reads its controls, fires its timers, clicks its buttons,
// and answers nested dialogs and message boxes with scripted responses.
#pragma once

#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
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
    bool selectedAll = false; // the whole text selected (typing clears it)
    CRect rect;
    // Child windows made at run time.
    DWORD style = 0;
    std::string format; // a picker's display format
    SYSTEMTIME time{};  // a picker's time
    bool timeSet = false;
};

struct Window {
    CDialog *dialog = nullptr;
    UINT templateId = 0;
    std::string caption;
    std::map<int, Control> controls;
    std::vector<std::unique_ptr<Control>> children; // made with CreateChildWindow
    std::vector<HWND> zorder;                       // children, top first
    int broughtToTop = 0;                           // BringToTop calls
    std::map<UINT_PTR, UINT> timers;                // id -> interval in ms
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
    DWORD timeLimitMs; // the process's box time limit when it was shown; 0: none
};

// An answer for AnswerNextMessageBox: nobody answers the box.
constexpr int kLeftAlone = 0;

// What a scripted nested dialog does once its OnInitDialog has run.
using Responder = std::function<void(CDialog &)>;

struct Ui {
    std::vector<MessageBoxCall> boxes;
    std::deque<int> boxAnswers;                       // next answers; IDOK when empty
    std::map<UINT, std::deque<Responder>> responders; // by template id
    std::vector<UINT> modalRuns;                      // template ids, in DoModal order
    std::vector<std::pair<DWORD, UINT>> helpCalls;    // WinHelp data, command
    bool altDown = false;
    bool failTimers = false;  // SetTimer returns 0
    int failChildWindows = 0; // the next n CreateChildWindow calls fail
    int dateControlInits = 0; // InitDateTimeControls calls
    int waitCursors = 0;      // CWaitCursor objects alive
    struct ShellCall {
        std::string file;
        int waitCursors; // at the time of the call
    };
    std::vector<ShellCall> shellOpens;
    bool shellFails = false;
    // Pickers that also report a time set by the program, as some versions do.
    bool pickerSetNotifies = false;
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

// A control's or child window's model by its handle.
Control &Child(HWND wnd);
// The window's children by handle in Z (and tab) order, top first.
const std::vector<HWND> &ZOrder(const CDialog &dlg);
// The children made at run time with this class name, in creation order.
std::vector<HWND> ChildrenOfClass(const CDialog &dlg, const std::string &className);

// Input.
// Clicks a button: only a visible and enabled one reacts. Returns whether it did.
bool Click(CDialog &dlg, int id);
void Type(CDialog &dlg, int id, const std::string &text);
// The user sets a picker to hour:minute; the picker notifies its dialog with
// DTN_DATETIMECHANGE and GDT_VALID. Returns whether OnNotify handled it.
BOOL ChangePickerTime(CDialog &dlg, HWND picker, int hour, int minute);
// Any notification from a child (code and dwFlags of an NMDATETIMECHANGE).
BOOL SendNotify(CDialog &dlg, HWND from, UINT code, DWORD flags = 0);
// Fires one tick of a running timer; false when it is not running.
bool FireTimer(CDialog &dlg, UINT_PTR id);
// Posts a thread message to the application, as PostThreadMessage would.
void PostThreadMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Scripting.
void AnswerNextMessageBox(int answer);
void RespondToDialog(UINT templateId, Responder responder);

// The clock, the counter of real time beside it, and the counter of awake time.
// Setting the clock is a clock change: the counters stay. Time that passes awake
// moves all three; a sleep (Suspend) moves the clock and the real-time counter.
void SetNow(time_t now);
time_t Now();
void AdvanceClock(long seconds);
void Suspend(long seconds);
void SetCounterMs(uint64_t ms);
// Windows is off for `seconds` and starts again: both counters begin anew.
void BootWindows(long seconds);
// Windows before 7 has no counter of awake time.
void SetAwakeCounterKnown(bool known);

} // namespace fake

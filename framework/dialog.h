// CDialog: a modal dialog made from a template, talking to its controls by id.
// The Windows build drives a real HWND (dialog_win32.cpp); the native build drives
// an in-memory model of the template (tests/support), so one class runs in both.
#pragma once

#include <string>

#include "framework/win32_types.h"

struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CRect &o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

class CDialog;

// Data exchange between members and controls, with range checks.
class CDataExchange {
public:
    CDataExchange(CDialog *dlg, BOOL saveAndValidate)
        : m_pDlgWnd(dlg), m_bSaveAndValidate(saveAndValidate) {}
    // Marks the exchange as failed after a message was shown; focus goes to the control.
    void Fail();

    CDialog *m_pDlgWnd;
    BOOL m_bSaveAndValidate;
    BOOL m_bFailed = FALSE;
    int m_idLastControl = 0;
};

void DDX_Text(CDataExchange *pDX, int id, std::string &value);
void DDX_Text(CDataExchange *pDX, int id, UINT &value);
void DDX_Check(CDataExchange *pDX, int id, BOOL &value);
void DDV_MaxChars(CDataExchange *pDX, const std::string &value, int maxChars);
void DDV_MinMaxUInt(CDataExchange *pDX, UINT value, UINT minVal, UINT maxVal);

class CDialog {
public:
    CDialog(UINT templateId, CDialog *parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog &) = delete;
    CDialog &operator=(const CDialog &) = delete;

    UINT GetTemplateId() const { return m_nTemplateId; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Runs the dialog modally; returns the code given to EndDialog.
    int DoModal();
    void EndDialog(int result);

    // Handlers, dispatched from the window's messages.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // A button or menu command; the default sends IDOK and IDCANCEL to OnOK and OnCancel.
    virtual BOOL OnCommand(UINT id, UINT notifyCode);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnDestroy();
    // WM_HELP (F1): the default asks for the dialog's topic, as its Help button does.
    virtual BOOL OnHelpInfo();
    // WM_ENDSESSION: wParam, the session ends; lParam, its ENDSESSION_* flags.
    virtual void OnEndSession(BOOL ending, LPARAM flags);
    virtual void DoDataExchange(CDataExchange *pDX);
    // WM_NOTIFY from a child: wParam is its id, lParam its NMHDR. Returning TRUE
    // marks it handled; *pResult then becomes the message's result (DWLP_MSGRESULT).
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *pResult);

    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Controls by id.
    void SetDlgItemText(int id, const std::string &text);
    std::string GetDlgItemText(int id) const;
    void ShowDlgItem(int id, BOOL show);
    BOOL IsDlgItemVisible(int id) const;
    void EnableDlgItem(int id, BOOL enable);
    BOOL IsDlgItemEnabled(int id) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void GotoDlgCtrl(int id);
    void LimitText(int id, int maxChars);
    // Selects the whole text of an edit box.
    void SelectAllText(int id);
    // The control's window; nullptr when the template has none with this id.
    HWND GetDlgItem(int id) const;
    // A control's rectangle in the dialog's client coordinates, and moving it there.
    CRect GetDlgItemRect(int id) const;
    void MoveDlgItem(int id, const CRect &rect);
    // Every child but keepId's moves down by dlu dialog units, and the window grows by
    // as much: room for a line above the others.
    void MakeRoomAtTop(int dlu, int keepId);

    // The window as a whole.
    void SetWindowText(const std::string &text);
    // Off-screen: not topmost, moved to 10000, 10000 and hidden.
    void Hide();
    // Centred and topmost, shown.
    void ShowOnTop();
    void RedrawNow();
    BOOL IsWindowVisible() const;
    // The Z order, without moving or sizing: to the top of its band, and out of the
    // topmost band.
    void BringToTop();
    void SetNotTopmost();
    // Into the topmost band, without moving, sizing or showing it.
    void SetTopmost();

    // Child windows made at run time, such as date-time pickers over a placeholder.
    // nullptr when the window can't be created.
    HWND CreateChildWindow(const char *className, const char *text, DWORD style, const CRect &rect,
                           int id);
    void EnableChild(HWND child, BOOL enable);
    BOOL IsChildEnabled(HWND child) const;
    // Puts child directly behind previous in the Z order (and so the tab order); with
    // previous nullptr at the bottom. Neither moves nor sizes it.
    void PlaceChildBehind(HWND child, HWND previous);
    // Date-time pickers: the display format, and a valid time to show.
    void SetPickerFormat(HWND picker, const std::string &format);
    void SetPickerTime(HWND picker, const SYSTEMTIME &time);

    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
    BOOL KillTimer(UINT_PTR id);

    // A message box owned by this dialog.
    int MessageBox(const std::string &text, const std::string &caption, UINT type);

protected:
    UINT m_nTemplateId;
    CDialog *m_pParent;
    HWND m_hWnd = nullptr;

    friend struct DialogBackend;
};

// A message box owned by the given window (or none); the platform seam under every box.
// Under a time limit (below) a box left alone closes itself with UnansweredResult.
int PlatformMessageBox(HWND owner, const std::string &text, const std::string &caption, UINT type);

// The longest any message box of this process waits for an answer, in milliseconds;
// 0, the default, is no limit. A program that must not be held up by a box nobody
// answers sets it once.
void SetMessageBoxTimeLimit(DWORD ms);
DWORD MessageBoxTimeLimit();
// The answer that changes nothing, for a box of this type: OK where that is the only
// button, else Cancel, No or Ignore.
int UnansweredResult(UINT type);

// Whether the Alt key is down now (GetKeyState(VK_MENU) negative); while a dialog
// mirror is in place, whether it was down with the user's last command there.
BOOL IsAltKeyDown();

// Registers the date-time picker class (InitCommonControlsEx with ICC_DATE_CLASSES).
BOOL InitDateTimeControls();

// The hourglass while it lives; the previous cursor comes back when it ends.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor &) = delete;
    CWaitCursor &operator=(const CWaitCursor &) = delete;

private:
    void *m_hPrevious = nullptr;
};

// The help command a dialog's Help button gives: the application's help with the
// context 0x20000 plus the template id.
constexpr DWORD kHelpContextBase = 0x20000;
// Closes the help window opened for the program (HELP_QUIT), as dialogs do when
// they are destroyed.
void AfxQuitHelp();

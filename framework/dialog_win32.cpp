// The Win32 backend of CDialog: a real dialog box from the template, with `this`
// kept under DWLP_USER and messages dispatched to the virtual handlers.
#include "framework/dialog.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/app.h"
#include "framework/late_bound_win32.h"
#include "framework/mirror.h"

struct DialogBackend {
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
        try {
            return Dispatch(hwnd, msg, wp, lp);
        } catch (...) {
            // Nothing may unwind through the window manager.
            return FALSE;
        }
    }

    // A dialog box shows itself after WM_INITDIALOG, with no handler of ours between:
    // the copy must hear of that as of any other change.
    static bool ShownOrHidden(LPARAM lp) {
        const UINT flags = reinterpret_cast<const WINDOWPOS *>(lp)->flags;
        return (flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) != 0;
    }

    static INT_PTR Dispatch(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_INITDIALOG) {
            auto *dlg = reinterpret_cast<CDialog *>(lp);
            SetWindowLongPtrA(hwnd, DWLP_USER, lp);
            dlg->m_hWnd = hwnd;
            const BOOL result = dlg->OnInitDialog();
            if (DialogMirror *mirror = GetDialogMirror())
                mirror->Opened(*dlg);
            return result;
        }
        auto *dlg = reinterpret_cast<CDialog *>(GetWindowLongPtrA(hwnd, DWLP_USER));
        if (!dlg)
            return FALSE;
        const INT_PTR result = Handle(dlg, hwnd, msg, wp, lp);
        // What a handler changed shows in the user's session too.
        if (DialogMirror *mirror = GetDialogMirror()) {
            if (msg == WM_DESTROY)
                mirror->Closed(*dlg);
            else if (msg == WM_COMMAND || msg == WM_TIMER || msg == WM_NOTIFY || msg == WM_HELP ||
                     msg == WM_ENDSESSION || (msg == WM_WINDOWPOSCHANGED && ShownOrHidden(lp)))
                mirror->Changed();
        }
        return result;
    }

    static INT_PTR Handle(CDialog *dlg, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        switch (msg) {
        case WM_COMMAND:
            return dlg->OnCommand(LOWORD(wp), HIWORD(wp));
        case WM_TIMER:
            dlg->OnTimer(wp);
            return TRUE;
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (!dlg->OnNotify(wp, lp, &result))
                return FALSE;
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case WM_HELP:
            return dlg->OnHelpInfo();
        case WM_ENDSESSION:
            dlg->OnEndSession(wp ? TRUE : FALSE, lp);
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_DESTROY:
            dlg->OnDestroy();
            return FALSE;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd, DWLP_USER, 0);
            dlg->m_hWnd = nullptr;
            return FALSE;
        default:
            return FALSE;
        }
    }
};

int CDialog::DoModal() {
    HWND owner = m_pParent ? m_pParent->GetSafeHwnd() : nullptr;
    INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId), owner,
                                DialogBackend::Proc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return int(r);
}

void CDialog::EndDialog(int result) {
    if (m_hWnd)
        ::EndDialog(m_hWnd, result);
}

void CDialog::SetDlgItemText(int id, const std::string &text) {
    ::SetDlgItemTextA(m_hWnd, id, text.c_str());
}

std::string CDialog::GetDlgItemText(int id) const {
    HWND ctl = ::GetDlgItem(m_hWnd, id);
    int len = ctl ? GetWindowTextLengthA(ctl) : 0;
    std::string text(size_t(len) + 1, '\0');
    int got = len > 0 ? ::GetWindowTextA(ctl, &text[0], len + 1) : 0;
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

void CDialog::ShowDlgItem(int id, BOOL show) {
    ::ShowWindow(::GetDlgItem(m_hWnd, id), show ? SW_SHOW : SW_HIDE);
}

BOOL CDialog::IsDlgItemVisible(int id) const {
    HWND ctl = ::GetDlgItem(m_hWnd, id);
    return ctl && (GetWindowLongA(ctl, GWL_STYLE) & WS_VISIBLE) ? TRUE : FALSE;
}

void CDialog::EnableDlgItem(int id, BOOL enable) {
    ::EnableWindow(::GetDlgItem(m_hWnd, id), enable);
}

BOOL CDialog::IsDlgItemEnabled(int id) const {
    HWND ctl = ::GetDlgItem(m_hWnd, id);
    return ctl && ::IsWindowEnabled(ctl) ? TRUE : FALSE;
}

void CDialog::CheckDlgButton(int id, UINT check) {
    ::CheckDlgButton(m_hWnd, id, check);
}
UINT CDialog::IsDlgButtonChecked(int id) const {
    return ::IsDlgButtonChecked(m_hWnd, id);
}

void CDialog::GotoDlgCtrl(int id) {
    if (HWND ctl = ::GetDlgItem(m_hWnd, id))
        ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ctl), TRUE);
    if (DialogMirror *mirror = GetDialogMirror())
        mirror->Focus(*this, id);
}

void CDialog::LimitText(int id, int maxChars) {
    ::SendDlgItemMessageA(m_hWnd, id, EM_LIMITTEXT, WPARAM(maxChars), 0);
}

void CDialog::SelectAllText(int id) {
    ::SendDlgItemMessageA(m_hWnd, id, EM_SETSEL, 0, -1);
}

HWND CDialog::GetDlgItem(int id) const {
    return m_hWnd ? ::GetDlgItem(m_hWnd, id) : nullptr;
}

CRect CDialog::GetDlgItemRect(int id) const {
    RECT r = {};
    HWND ctl = ::GetDlgItem(m_hWnd, id);
    if (ctl) {
        ::GetWindowRect(ctl, &r);
        ::MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT *>(&r), 2);
    }
    return CRect{int(r.left), int(r.top), int(r.right), int(r.bottom)};
}

void CDialog::MoveDlgItem(int id, const CRect &rect) {
    ::MoveWindow(::GetDlgItem(m_hWnd, id), rect.left, rect.top, rect.Width(), rect.Height(), TRUE);
}

void CDialog::MakeRoomAtTop(int dlu, int keepId) {
    RECT room = {0, 0, 0, dlu};
    ::MapDialogRect(m_hWnd, &room);
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::GetDlgCtrlID(child) == keepId)
            continue;
        RECT r = {};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT *>(&r), 2);
        ::SetWindowPos(child, nullptr, r.left, r.top + room.bottom, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT w = {};
    ::GetWindowRect(m_hWnd, &w);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, w.right - w.left, w.bottom - w.top + room.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::SetWindowText(const std::string &text) {
    ::SetWindowTextA(m_hWnd, text.c_str());
}

void CDialog::Hide() {
    ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 10000, 10000, 0, 0, SWP_NOSIZE | SWP_HIDEWINDOW);
}

void CDialog::ShowOnTop() {
    // Centre on the owner when it is visible, else on the work area.
    RECT area = {};
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner))
        ::GetWindowRect(owner, &area);
    else
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT me = {};
    ::GetWindowRect(m_hWnd, &me);
    int w = me.right - me.left, h = me.bottom - me.top;
    int x = area.left + ((area.right - area.left) - w) / 2;
    int y = area.top + ((area.bottom - area.top) - h) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
}

void CDialog::RedrawNow() {
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

BOOL CDialog::IsWindowVisible() const {
    return m_hWnd && ::IsWindowVisible(m_hWnd);
}

void CDialog::BringToTop() {
    ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CDialog::SetTopmost() {
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CDialog::SetNotTopmost() {
    ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

HWND CDialog::CreateChildWindow(const char *className, const char *text, DWORD style,
                                const CRect &rect, int id) {
    HWND child = ::CreateWindowExA(0, className, text, style, rect.left, rect.top, rect.Width(),
                                   rect.Height(), m_hWnd, reinterpret_cast<HMENU>(INT_PTR(id)),
                                   GetModuleHandleA(nullptr), nullptr);
    // In the dialog's own font, like the controls of the template.
    if (child)
        ::SendMessageA(child, WM_SETFONT, ::SendMessageA(m_hWnd, WM_GETFONT, 0, 0), FALSE);
    return child;
}

void CDialog::EnableChild(HWND child, BOOL enable) {
    if (child)
        ::EnableWindow(child, enable);
}

BOOL CDialog::IsChildEnabled(HWND child) const {
    return child && ::IsWindowEnabled(child) ? TRUE : FALSE;
}

void CDialog::PlaceChildBehind(HWND child, HWND previous) {
    if (child)
        ::SetWindowPos(child, previous ? previous : HWND_BOTTOM, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CDialog::SetPickerFormat(HWND picker, const std::string &format) {
    ::SendMessageA(picker, DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>(format.c_str()));
    if (DialogMirror *mirror = GetDialogMirror())
        mirror->PickerFormat(*this, picker, format);
}

void CDialog::SetPickerTime(HWND picker, const SYSTEMTIME &time) {
    ::SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT elapseMs) {
    return ::SetTimer(m_hWnd, id, elapseMs, nullptr);
}

BOOL CDialog::KillTimer(UINT_PTR id) {
    return ::KillTimer(m_hWnd, id);
}

int CDialog::MessageBox(const std::string &text, const std::string &caption, UINT type) {
    return PlatformMessageBox(m_hWnd, text, caption, type);
}

namespace {
// The box of TimedMessageBox, found when its time is up: a dialog of this thread that
// was not there before it, with its caption. One at a time; a box within a box's
// time keeps the outer one's state aside.
struct TimedBox {
    std::vector<HWND> before;
    std::string caption;
    int answer = IDOK;
    HWND box = nullptr;
    bool timedOut = false;
};
TimedBox *g_timedBox = nullptr;

BOOL CALLBACK ListThreadWindow(HWND hwnd, LPARAM list) noexcept {
    try {
        reinterpret_cast<std::vector<HWND> *>(list)->push_back(hwnd);
        return TRUE;
    } catch (...) {
        return FALSE; // no exception crosses a Win32 callback
    }
}

BOOL CALLBACK FindTimedBox(HWND hwnd, LPARAM) noexcept {
    TimedBox &t = *g_timedBox;
    char name[16] = {}, title[256] = {};
    if (std::find(t.before.begin(), t.before.end(), hwnd) != t.before.end() ||
        !::GetClassNameA(hwnd, name, sizeof name) || std::strcmp(name, "#32770") != 0)
        return TRUE;
    ::GetWindowTextA(hwnd, title, sizeof title);
    if (t.caption != title)
        return TRUE;
    t.box = hwnd;
    return FALSE;
}

void CALLBACK TimedBoxExpired(HWND, UINT, UINT_PTR, DWORD) noexcept {
    if (!g_timedBox || g_timedBox->timedOut)
        return;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindTimedBox, 0);
    if (g_timedBox->box) {
        g_timedBox->timedOut = true;
        ::EndDialog(g_timedBox->box, g_timedBox->answer);
    }
}

// MessageBoxA that ends by itself after limitMs with the answer that changes nothing.
// A thread timer does it, from inside the box's own modal loop; user32's own timed box
// is not documented, and Wine ignores its time-out.
int TimedMessageBox(HWND owner, const std::string &text, const std::string &caption, UINT type,
                    DWORD limitMs) {
    TimedBox t;
    t.caption = caption;
    t.answer = UnansweredResult(type);
    ::EnumThreadWindows(::GetCurrentThreadId(), ListThreadWindow, reinterpret_cast<LPARAM>(&t.before));
    TimedBox *outer = g_timedBox;
    g_timedBox = &t;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, limitMs, TimedBoxExpired);
    const int result = ::MessageBoxA(owner, text.c_str(), caption.c_str(), type);
    if (timer)
        ::KillTimer(nullptr, timer);
    g_timedBox = outer;
    return t.timedOut ? t.answer : result;
}
} // namespace

int PlatformMessageBox(HWND owner, const std::string &text, const std::string &caption, UINT type) {
    int result = 0;
    if (DialogMirror *mirror = GetDialogMirror())
        if (mirror->MessageBox(text, caption, type, result))
            return result;
    if (const DWORD limit = MessageBoxTimeLimit())
        return TimedMessageBox(owner, text, caption, type, limit);
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

BOOL IsAltKeyDown() {
    // Behind a mirror the user's keyboard is in another session: the agent told.
    if (const DialogMirror *mirror = GetDialogMirror())
        return mirror->AltDown() ? TRUE : FALSE;
    return ::GetKeyState(VK_MENU) < 0 ? TRUE : FALSE;
}

BOOL InitDateTimeControls() {
    const auto init = VESPRA_LATE_BOUND("comctl32.dll", InitCommonControlsEx);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_DATE_CLASSES};
    return init ? init(&icc) : FALSE;
}

CWaitCursor::CWaitCursor() : m_hPrevious(::SetCursor(::LoadCursorA(nullptr, IDC_WAIT))) {}

CWaitCursor::~CWaitCursor() {
    ::SetCursor(static_cast<HCURSOR>(m_hPrevious));
}

#include "framework/mirror_win32.h"

#include <commctrl.h>

#include <cstdlib>

namespace {
constexpr const char *kPickerClass = "SysDateTimePick32";

// Rectangles travel in quarter dialog units, so the copy lands in the same place
// whatever the two sessions' fonts and scaling.
POINT UnitsOf(HWND dlg) {
    RECT r = {0, 0, 1600, 1600};
    ::MapDialogRect(dlg, &r);
    return POINT{r.right > 0 ? r.right : 1600, r.bottom > 0 ? r.bottom : 1600};
}

std::string ClassOf(HWND w) {
    char name[64] = {};
    ::GetClassNameA(w, name, sizeof name);
    return name;
}

std::string TextOf(HWND w) {
    const int len = ::GetWindowTextLengthA(w);
    std::string text(size_t(len > 0 ? len : 0) + 1, '\0');
    const int got = len > 0 ? ::GetWindowTextA(w, &text[0], len + 1) : 0;
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

bool IsButton(const std::string &cls) {
    return lstrcmpiA(cls.c_str(), "Button") == 0;
}
} // namespace

MirrorDialog SnapshotDialog(HWND dlg, UINT templateId, int parentKey,
                            const std::map<HWND, std::string> &formats, int focus) {
    MirrorDialog d;
    d.templateId = templateId;
    d.parentKey = parentKey;
    d.title = TextOf(dlg);
    RECT wr = {};
    ::GetWindowRect(dlg, &wr);
    // Hidden is off-screen as well as invisible: Hide moves the window away.
    d.shown = (::GetWindowLongA(dlg, GWL_STYLE) & WS_VISIBLE) && wr.left < 10000;
    d.topmost = (::GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    d.focus = focus;
    const POINT units = UnitsOf(dlg);
    for (HWND w = ::GetWindow(dlg, GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
        MirrorControl c;
        c.id = ::GetDlgCtrlID(w);
        const DWORD style = DWORD(::GetWindowLongA(w, GWL_STYLE));
        c.visible = (style & WS_VISIBLE) != 0;
        c.enabled = ::IsWindowEnabled(w) != FALSE;
        const std::string cls = ClassOf(w);
        if (lstrcmpiA(cls.c_str(), kPickerClass) == 0) {
            c.runtime = true;
            c.className = kPickerClass;
            c.style = style;
            const auto f = formats.find(w);
            if (f != formats.end())
                c.format = f->second;
            RECT r = {};
            ::GetWindowRect(w, &r);
            ::MapWindowPoints(HWND_DESKTOP, dlg, reinterpret_cast<POINT *>(&r), 2);
            c.rect = CRect{int(r.left * 1600 / units.x), int(r.top * 1600 / units.y),
                           int(r.right * 1600 / units.x), int(r.bottom * 1600 / units.y)};
            SYSTEMTIME st = {};
            if (::SendMessageA(w, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID)
                c.time = std::to_string(st.wHour) + ":" + std::to_string(st.wMinute);
        } else if (!(lstrcmpiA(cls.c_str(), "Edit") == 0 && (style & ES_PASSWORD))) {
            // A password box's text never leaves the scheduler.
            c.text = TextOf(w);
        }
        if (IsButton(cls))
            c.check = int(::SendMessageA(w, BM_GETCHECK, 0, 0));
        d.controls.push_back(c);
    }
    return d;
}

void ApplyMirrorInput(HWND dlg, const MirrorInput &in) {
    HWND ctl = ::GetDlgItem(dlg, in.id);
    switch (in.kind) {
    case MirrorInput::Text:
        // The edit itself tells the dialog (EN_CHANGE).
        ::SetWindowTextA(ctl, in.text.c_str());
        break;
    case MirrorInput::Check:
        ::SendMessageA(ctl, BM_SETCHECK, WPARAM(in.number), 0);
        break;
    case MirrorInput::Time: {
        SYSTEMTIME st = {};
        ::SendMessageA(ctl, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
        st.wHour = WORD(in.hour);
        st.wMinute = WORD(in.minute);
        st.wSecond = 0;
        st.wMilliseconds = 0;
        ::SendMessageA(ctl, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
        NMDATETIMECHANGE change = {};
        change.nmhdr.hwndFrom = ctl;
        change.nmhdr.idFrom = UINT_PTR(in.id);
        change.nmhdr.code = DTN_DATETIMECHANGE;
        change.dwFlags = GDT_VALID;
        change.st = st;
        ::SendMessageA(dlg, WM_NOTIFY, WPARAM(in.id), reinterpret_cast<LPARAM>(&change));
        break;
    }
    case MirrorInput::Command:
        ::SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(in.id, in.number), reinterpret_cast<LPARAM>(ctl));
        break;
    case MirrorInput::Help: {
        HELPINFO info = {};
        info.cbSize = sizeof info;
        info.iContextType = HELPINFO_WINDOW;
        info.hItemHandle = dlg;
        ::SendMessageA(dlg, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        break;
    }
    default:
        break;
    }
}

HWND CreateMirrorCopy(UINT templateId, HWND owner, DLGPROC proc) {
    HWND copy = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                                     owner, proc, 0);
    if (copy)
        ::ShowWindow(copy, SW_HIDE);
    return copy;
}

void ApplyMirrorControl(HWND copy, const MirrorControl &c) {
    HWND w = ::GetDlgItem(copy, c.id);
    if (!w && c.runtime && lstrcmpiA(c.className.c_str(), kPickerClass) == 0) {
        const POINT units = UnitsOf(copy);
        const RECT r = {LONG(c.rect.left * units.x / 1600), LONG(c.rect.top * units.y / 1600),
                        LONG(c.rect.right * units.x / 1600), LONG(c.rect.bottom * units.y / 1600)};
        w = ::CreateWindowExA(0, kPickerClass, "", c.style & ~WS_VISIBLE, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, copy,
                              reinterpret_cast<HMENU>(INT_PTR(c.id)), ::GetModuleHandleA(nullptr),
                              nullptr);
        if (w)
            ::SendMessageA(w, WM_SETFONT, ::SendMessageA(copy, WM_GETFONT, 0, 0), FALSE);
    }
    if (!w)
        return;
    if (c.runtime) {
        if (!c.format.empty())
            ::SendMessageA(w, DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>(c.format.c_str()));
        // "H:M", as the copy's owner sends it.
        const char *text = c.time.c_str();
        char *colon = nullptr, *end = nullptr;
        const long h = std::strtol(text, &colon, 10);
        const long m = colon != text && *colon == ':' ? std::strtol(colon + 1, &end, 10) : 0;
        if (end && end != colon + 1) {
            SYSTEMTIME st = {};
            ::SendMessageA(w, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
            if (st.wYear == 0)
                ::GetLocalTime(&st);
            st.wHour = WORD(h);
            st.wMinute = WORD(m);
            st.wSecond = st.wMilliseconds = 0;
            ::SendMessageA(w, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
        }
    } else if (!(::GetWindowLongA(w, GWL_STYLE) & ES_PASSWORD) ||
               lstrcmpiA(ClassOf(w).c_str(), "Edit") != 0) {
        // Setting the same text again would move the caret of the edit being typed in.
        if (TextOf(w) != c.text)
            ::SetWindowTextA(w, c.text.c_str());
    }
    if (IsButton(ClassOf(w)))
        ::SendMessageA(w, BM_SETCHECK, WPARAM(c.check), 0);
    ::EnableWindow(w, c.enabled);
    ::ShowWindow(w, c.visible ? SW_SHOWNA : SW_HIDE);
}

void ApplyMirrorWindow(HWND copy, bool shown, bool topmost, int focus, const std::string &title) {
    ::SetWindowTextA(copy, title.c_str());
    if (!shown) {
        ::ShowWindow(copy, SW_HIDE);
        return;
    }
    const bool wasShown = ::IsWindowVisible(copy) != FALSE;
    if (!wasShown) {
        // Centred on the work area, as the scheduler shows its own.
        RECT area = {}, me = {};
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        ::GetWindowRect(copy, &me);
        const int w = me.right - me.left, h = me.bottom - me.top;
        ::SetWindowPos(copy, nullptr, area.left + ((area.right - area.left) - w) / 2,
                       area.top + ((area.bottom - area.top) - h) / 2, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::SetWindowPos(copy, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    if (!wasShown)
        ::SetForegroundWindow(copy);
    if (HWND ctl = focus ? ::GetDlgItem(copy, focus) : nullptr)
        ::SendMessageA(copy, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ctl), TRUE);
}

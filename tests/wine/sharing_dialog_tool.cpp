// Shows a window titled "Sharing" for the Wine tests of the Sharing-dialog closer.
// Modes (first argument):
//   yes       a dialog ("#32770") with buttons No (7) and Yes (6)
//   nobutton  a dialog with the No button only
//   notdialog a window of its own class with a Yes button (6) one level down,
//             inside a static control (5)
// Exit code: the id of the button clicked (6 or 7), or 0 when a minute passes.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const UINT_PTR kGiveUpTimer = 1;
const UINT kGiveUpMs = 60000;

// An in-memory dialog template: DLGTEMPLATE, then one DLGITEMTEMPLATE per button.
class Template {
public:
    Template(const char *title, WORD items) {
        Dword(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME);
        Dword(0);
        m_w.push_back(items);
        Rect(10, 10, 160, 60);
        m_w.push_back(0); // no menu
        m_w.push_back(0); // the standard dialog class
        Text(title);
    }
    void Button(WORD id, const char *text, short x) {
        if (m_w.size() % 2)
            m_w.push_back(0); // items start on a DWORD boundary
        Dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
        Dword(0);
        Rect(x, 30, 50, 14);
        m_w.push_back(id);
        m_w.push_back(0xFFFF);
        m_w.push_back(0x0080); // button
        Text(text);
        m_w.push_back(0); // no creation data
    }
    const DLGTEMPLATE *Get() const { return reinterpret_cast<const DLGTEMPLATE *>(m_w.data()); }

private:
    void Dword(DWORD d) {
        m_w.push_back(LOWORD(d));
        m_w.push_back(HIWORD(d));
    }
    void Rect(short x, short y, short cx, short cy) {
        for (short v : {x, y, cx, cy})
            m_w.push_back(WORD(v));
    }
    void Text(const char *s) {
        for (; *s; ++s)
            m_w.push_back(WORD(static_cast<unsigned char>(*s)));
        m_w.push_back(0);
    }
    std::vector<WORD> m_w;
};

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        SetTimer(dlg, kGiveUpTimer, kGiveUpMs, nullptr);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDYES || LOWORD(wp) == IDNO)
            EndDialog(dlg, LOWORD(wp));
        return TRUE;
    case WM_TIMER:
        EndDialog(dlg, 0);
        return TRUE;
    }
    return FALSE;
}

int g_clicked = 0;

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        DestroyWindow(wnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

// A static control passes its child's clicks on to the top-level window.
WNDPROC g_staticProc = nullptr;
LRESULT CALLBACK ForwardingStatic(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) == IDYES) {
        g_clicked = IDYES;
        DestroyWindow(GetParent(wnd));
        return 0;
    }
    return CallWindowProcA(g_staticProc, wnd, msg, wp, lp);
}

int RunOtherWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VespraNotADialog";
    RegisterClassA(&wc);
    // Shown only when complete: the test starts as soon as the window is visible.
    HWND wnd = CreateWindowA("VespraNotADialog", "Sharing", WS_OVERLAPPEDWINDOW, 10, 10, 300, 120,
                             nullptr, nullptr, wc.hInstance, nullptr);
    HWND box = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 280, 80, wnd,
                             reinterpret_cast<HMENU>(5), wc.hInstance, nullptr);
    g_staticProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ForwardingStatic)));
    CreateWindowA("BUTTON", "&Yes", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, box,
                  reinterpret_cast<HMENU>(IDYES), wc.hInstance, nullptr);
    SetTimer(wnd, kGiveUpTimer, kGiveUpMs, nullptr);
    ShowWindow(wnd, SW_SHOW);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return g_clicked;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "yes";
    if (mode == "notdialog")
        return RunOtherWindow();
    Template t("Sharing", mode == "nobutton" ? 1 : 2);
    t.Button(IDNO, "&No", 10);
    if (mode != "nobutton")
        t.Button(IDYES, "&Yes", 70);
    return int(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Get(), nullptr, DialogProc, 0));
}

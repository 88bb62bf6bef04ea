// The in-memory backend of CDialog and CWinApp.
#include <algorithm>
#include <memory>

#include "framework/shell.h"
#include "framework/text.h"
#include "tests/support/fake_ui.h"
#include "tests/support/rc_reader.h"

struct DialogBackend {
    static void Attach(CDialog &dlg, HWND hwnd) { dlg.m_hWnd = hwnd; }
};

namespace fake {

namespace {
Ui g_ui;
time_t g_now = 0;
uint64_t g_counterMs = 0;
uint64_t g_awakeMs = 0;
bool g_awakeKnown = true;
std::vector<std::unique_ptr<Window>> g_windows;

Window *Make(CDialog &dlg) {
    auto w = std::make_unique<Window>();
    w->dialog = &dlg;
    w->templateId = dlg.GetTemplateId();
    const RcData &rc = ProgramResources();
    auto it = rc.dialogs.find(int(dlg.GetTemplateId()));
    if (it != rc.dialogs.end()) {
        w->caption = it->second.caption;
        for (const RcControl &c : it->second.controls) {
            Control ctl;
            ctl.id = c.id;
            ctl.kind = c.kind + (c.className.empty() ? "" : ":" + c.className);
            ctl.text = c.text;
            ctl.visible = c.visible;
            ctl.enabled = c.enabled;
            ctl.rect = CRect{c.x, c.y, c.x + c.cx, c.y + c.cy};
            const bool first = !w->controls.count(c.id);
            w->controls[c.id] = ctl;
            if (first)
                w->zorder.push_back(&w->controls[c.id]);
        }
    }
    Window *raw = w.get();
    g_windows.push_back(std::move(w));
    return raw;
}
} // namespace

Ui &State() {
    return g_ui;
}

void Reset() {
    g_ui = Ui();
    g_windows.clear();
    g_awakeKnown = true;
    SetMessageBoxTimeLimit(0);
}

Window *WindowOf(const CDialog &dlg) {
    return static_cast<Window *>(dlg.GetSafeHwnd());
}

namespace {
// As Windows looks a control up by id: the first child in Z order that has it.
Control *Find(const CDialog &dlg, int id) {
    if (Window *w = WindowOf(dlg))
        for (HWND c : w->zorder)
            if (Child(c).id == id)
                return &Child(c);
    return nullptr;
}
} // namespace

Control &Ctl(const CDialog &dlg, int id) {
    static Control missing;
    Control *c = Find(dlg, id);
    return c ? *c : missing = Control();
}

bool IsEnded(const CDialog &dlg) {
    Window *w = WindowOf(dlg);
    return w && w->ended;
}

int Result(const CDialog &dlg) {
    Window *w = WindowOf(dlg);
    return w ? w->result : 0;
}

bool Click(CDialog &dlg, int id) {
    Window *w = WindowOf(dlg);
    if (!w || w->ended)
        return false;
    Control *c = Find(dlg, id);
    if (!c || !c->visible || !c->enabled)
        return false;
    if (c->kind == "AUTOCHECKBOX")
        c->checked = c->checked ? 0 : 1;
    if (c->kind == "AUTORADIOBUTTON") {
        // Each of the program's dialogs has at most one group of radio buttons.
        for (auto &[otherId, other] : w->controls)
            if (other.kind == "AUTORADIOBUTTON")
                other.checked = otherId == id ? 1 : 0;
    }
    dlg.OnCommand(UINT(id), 0);
    return true;
}

void Type(CDialog &dlg, int id, const std::string &text) {
    Control &c = Ctl(dlg, id);
    c.text = c.limit > 0 && int(text.size()) > c.limit ? text.substr(0, size_t(c.limit)) : text;
    c.selectedAll = false;
}

Control &Child(HWND wnd) {
    static Control missing;
    if (!wnd)
        return missing = Control();
    return *static_cast<Control *>(wnd);
}

const std::vector<HWND> &ZOrder(const CDialog &dlg) {
    static const std::vector<HWND> none;
    Window *w = WindowOf(dlg);
    return w ? w->zorder : none;
}

std::vector<HWND> ChildrenOfClass(const CDialog &dlg, const std::string &className) {
    std::vector<HWND> found;
    if (Window *w = WindowOf(dlg))
        for (auto &c : w->children)
            if (c->kind == className)
                found.push_back(c.get());
    return found;
}

BOOL SendNotify(CDialog &dlg, HWND from, UINT code, DWORD flags) {
    Window *w = WindowOf(dlg);
    if (!w || w->ended)
        return FALSE;
    NMDATETIMECHANGE nm{};
    nm.nmhdr.hwndFrom = from;
    nm.nmhdr.idFrom = UINT_PTR(Child(from).id);
    nm.nmhdr.code = code;
    nm.dwFlags = flags;
    nm.st = Child(from).time;
    LRESULT result = 0;
    return dlg.OnNotify(WPARAM(nm.nmhdr.idFrom), reinterpret_cast<LPARAM>(&nm), &result);
}

BOOL ChangePickerTime(CDialog &dlg, HWND picker, int hour, int minute) {
    Control &c = Child(picker);
    c.time.wHour = WORD(hour);
    c.time.wMinute = WORD(minute);
    c.timeSet = true;
    return SendNotify(dlg, picker, DTN_DATETIMECHANGE, GDT_VALID);
}

bool FireTimer(CDialog &dlg, UINT_PTR id) {
    Window *w = WindowOf(dlg);
    if (!w || w->ended || !w->timers.count(id))
        return false;
    dlg.OnTimer(id);
    return true;
}

void PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{nullptr, message, wParam, lParam};
    if (CWinApp *app = AfxGetApp())
        app->PreTranslateMessage(&msg);
}

void AnswerNextMessageBox(int answer) {
    g_ui.boxAnswers.push_back(answer);
}

void RespondToDialog(UINT templateId, Responder responder) {
    g_ui.responders[templateId].push_back(std::move(responder));
}

void SetNow(time_t now) {
    g_now = now;
}
time_t Now() {
    return g_now;
}
void AdvanceClock(long seconds) {
    g_now += seconds;
    g_counterMs += uint64_t(seconds) * 1000;
    g_awakeMs += uint64_t(seconds) * 1000;
}
void Suspend(long seconds) {
    g_now += seconds;
    g_counterMs += uint64_t(seconds) * 1000;
}
void SetCounterMs(uint64_t ms) {
    // Time the counter moves by here was awake; a sleep goes through Suspend.
    g_awakeMs += ms - g_counterMs;
    g_counterMs = ms;
}
void BootWindows(long seconds) {
    g_now += seconds;
    g_counterMs = 0;
    g_awakeMs = 0;
}
void SetAwakeCounterKnown(bool known) {
    g_awakeKnown = known;
}

BOOL Open(CDialog &dlg) {
    Window *w = Make(dlg);
    DialogBackend::Attach(dlg, w);
    g_ui.modalRuns.push_back(dlg.GetTemplateId());
    return dlg.OnInitDialog();
}

void Close(CDialog &dlg) {
    Window *w = WindowOf(dlg);
    if (!w)
        return;
    dlg.OnDestroy();
    w->timers.clear();
    w->visible = false;
}

} // namespace fake

using namespace fake;

time_t ClockNow() {
    return fake::Now();
}

uint64_t MonotonicMs() {
    return g_counterMs;
}

bool AwakeMs(uint64_t &ms) {
    ms = g_awakeMs;
    return g_awakeKnown;
}

std::string LoadStr(UINT id) {
    const RcData &rc = ProgramResources();
    auto it = rc.strings.find(int(id));
    return it == rc.strings.end() ? std::string() : it->second;
}

int CDialog::DoModal() {
    BOOL focusDefault = fake::Open(*this);
    (void)focusDefault;
    Window *w = WindowOf(*this);
    if (!w->ended) {
        auto &queue = g_ui.responders[m_nTemplateId];
        if (!queue.empty()) {
            Responder r = std::move(queue.front());
            queue.pop_front();
            r(*this);
        }
    }
    if (!w->ended) {
        // Nobody scripted an answer: the dialog can't be left open in a modal call.
        w->ended = true;
        w->result = -1;
    }
    fake::Close(*this);
    return w->result;
}

void CDialog::EndDialog(int result) {
    Window *w = WindowOf(*this);
    if (!w || w->ended)
        return;
    w->ended = true;
    w->result = result;
}

void CDialog::SetDlgItemText(int id, const std::string &text) {
    Ctl(*this, id).text = text;
}
std::string CDialog::GetDlgItemText(int id) const {
    return Ctl(*this, id).text;
}
void CDialog::ShowDlgItem(int id, BOOL show) {
    Ctl(*this, id).visible = show != FALSE;
}
BOOL CDialog::IsDlgItemVisible(int id) const {
    return Ctl(*this, id).visible;
}
void CDialog::EnableDlgItem(int id, BOOL enable) {
    Ctl(*this, id).enabled = enable != FALSE;
}
BOOL CDialog::IsDlgItemEnabled(int id) const {
    return Ctl(*this, id).enabled;
}
void CDialog::CheckDlgButton(int id, UINT check) {
    Ctl(*this, id).checked = check;
}
UINT CDialog::IsDlgButtonChecked(int id) const {
    return Ctl(*this, id).checked;
}
void CDialog::GotoDlgCtrl(int id) {
    if (Window *w = WindowOf(*this))
        w->focus = id;
}
void CDialog::LimitText(int id, int maxChars) {
    Ctl(*this, id).limit = maxChars;
}
void CDialog::SelectAllText(int id) {
    Ctl(*this, id).selectedAll = true;
}
HWND CDialog::GetDlgItem(int id) const {
    return fake::Find(*this, id);
}
CRect CDialog::GetDlgItemRect(int id) const {
    return Ctl(*this, id).rect;
}
void CDialog::MoveDlgItem(int id, const CRect &rect) {
    Ctl(*this, id).rect = rect;
}

void CDialog::MakeRoomAtTop(int dlu, int keepId) {
    if (Window *w = WindowOf(*this))
        for (HWND wnd : w->zorder) {
            Control &c = *static_cast<Control *>(wnd);
            if (c.id != keepId) {
                c.rect.top += dlu;
                c.rect.bottom += dlu;
            }
        }
}

void CDialog::SetWindowText(const std::string &text) {
    if (Window *w = WindowOf(*this))
        w->caption = text;
}

void CDialog::Hide() {
    if (Window *w = WindowOf(*this)) {
        w->visible = false;
        w->topmost = false;
        w->x = w->y = 10000;
    }
}

void CDialog::ShowOnTop() {
    if (Window *w = WindowOf(*this)) {
        w->visible = true;
        w->topmost = true;
        w->x = w->y = 0;
    }
}

void CDialog::RedrawNow() {
    if (Window *w = WindowOf(*this))
        ++w->redraws;
}

BOOL CDialog::IsWindowVisible() const {
    Window *w = WindowOf(*this);
    return w && w->visible;
}

void CDialog::BringToTop() {
    if (Window *w = WindowOf(*this))
        ++w->broughtToTop;
}

void CDialog::SetTopmost() {
    if (Window *w = WindowOf(*this))
        w->topmost = true;
}

void CDialog::SetNotTopmost() {
    if (Window *w = WindowOf(*this))
        w->topmost = false;
}

HWND CDialog::CreateChildWindow(const char *className, const char *text, DWORD style,
                                const CRect &rect, int id) {
    Window *w = WindowOf(*this);
    if (!w)
        return nullptr;
    if (g_ui.failChildWindows > 0) {
        --g_ui.failChildWindows;
        return nullptr;
    }
    auto c = std::make_unique<Control>();
    c->id = id;
    c->kind = className;
    c->text = text;
    c->style = style;
    c->visible = (style & WS_VISIBLE) != 0;
    c->rect = rect;
    Control *raw = c.get();
    w->children.push_back(std::move(c));
    w->zorder.push_back(raw);
    return raw;
}

void CDialog::EnableChild(HWND child, BOOL enable) {
    if (child)
        Child(child).enabled = enable != FALSE;
}

BOOL CDialog::IsChildEnabled(HWND child) const {
    return child && Child(child).enabled;
}

void CDialog::PlaceChildBehind(HWND child, HWND previous) {
    Window *w = WindowOf(*this);
    if (!w || !child)
        return;
    auto &z = w->zorder;
    z.erase(std::remove(z.begin(), z.end(), child), z.end());
    auto at = std::find(z.begin(), z.end(), previous);
    z.insert(previous && at != z.end() ? at + 1 : z.end(), child);
}

void CDialog::SetPickerFormat(HWND picker, const std::string &format) {
    Child(picker).format = format;
}

void CDialog::SetPickerTime(HWND picker, const SYSTEMTIME &time) {
    Child(picker).time = time;
    Child(picker).timeSet = true;
    if (g_ui.pickerSetNotifies)
        SendNotify(*this, picker, DTN_DATETIMECHANGE, GDT_VALID);
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT elapseMs) {
    Window *w = WindowOf(*this);
    if (!w || g_ui.failTimers)
        return 0;
    w->timers[id] = elapseMs;
    return id;
}

BOOL CDialog::KillTimer(UINT_PTR id) {
    Window *w = WindowOf(*this);
    return w && w->timers.erase(id) ? TRUE : FALSE;
}

int CDialog::MessageBox(const std::string &text, const std::string &caption, UINT type) {
    return PlatformMessageBox(m_hWnd, text, caption, type);
}

int PlatformMessageBox(HWND owner, const std::string &text, const std::string &caption, UINT type) {
    g_ui.boxes.push_back(MessageBoxCall{owner, text, caption, type, MessageBoxTimeLimit()});
    if (g_ui.boxAnswers.empty())
        return IDOK;
    int answer = g_ui.boxAnswers.front();
    g_ui.boxAnswers.pop_front();
    if (answer == kLeftAlone)
        // As Windows does: a box under a time limit closes itself; one without waits
        // for ever, which a modal call in a test can't.
        return MessageBoxTimeLimit() ? UnansweredResult(type) : -1;
    return answer;
}

BOOL IsAltKeyDown() {
    return g_ui.altDown;
}

BOOL InitDateTimeControls() {
    ++g_ui.dateControlInits;
    return TRUE;
}

CWaitCursor::CWaitCursor() : m_hPrevious(&g_ui) {
    ++g_ui.waitCursors;
}
CWaitCursor::~CWaitCursor() {
    if (m_hPrevious) // the one that was counted
        --g_ui.waitCursors;
}

BOOL ShellOpen(const std::string &file) {
    g_ui.shellOpens.push_back({file, g_ui.waitCursors});
    return g_ui.shellFails ? FALSE : TRUE;
}

void CWinApp::WinHelp(DWORD data, UINT cmd) {
    g_ui.helpCalls.emplace_back(data, cmd);
}

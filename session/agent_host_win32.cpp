// The scheduler's end of session 0 mode: the mirror of its dialogs sent to the agent
// over a pipe to each user's agent, what the primary user does there put back into
// the real (hidden) dialogs, message boxes answered there, and an agent kept running
// in each session with an active user.
#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/mirror.h"
#include "framework/mirror_win32.h"
#include "session/agent.h"
#include "system/log.h"
#include "session/pipe_channel.h"
#include "session/sessions.h"
#include "session/session_watch.h"

namespace {

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

class AgentMirror : public DialogMirror {
public:
    AgentMirror() : m_watch(ProgramPath()) { m_watch.SetAgentHost(PipeFor, OnAgentStarting, this); }

    SessionWatch &Watch() { return m_watch; }
    // The agent of the user whose input counts is connected, and that user's session
    // is not locked: the user sees our dialogs.
    bool Showing() {
        Link *link = InputLink();
        return link && link->pipe.Connected() && !m_watch.Seats().empty() &&
               !m_watch.Seats()[0].state.locked;
    }

    // After each tick: each pipe keeps the agent the watch runs now in its session,
    // and no other process; the pipes of sessions no longer there close.
    void FollowAgents() {
        for (auto it = m_links.begin(); it != m_links.end();) {
            Link &link = *it->second;
            const SessionWatch::Seat *seat = SeatOf(link.session);
            // A pipe whose handler is under way (a modal loop inside it) goes later.
            if (!seat && !link.busy) {
                it = m_links.erase(it);
                continue;
            }
            const DWORD pid = seat && seat->agent.process ? seat->agent.processId : 0;
            if (pid != link.expected) {
                link.expected = pid;
                link.pipe.ExpectClient(pid, link.session);
            }
            ++it;
        }
    }

    // The console user's agent makes the polite request as that user.
    BOOL SendExit(UINT flags) {
        Link *link = InputLink();
        return link && m_watch.ConsoleUserThere() && link->pipe.Connected() &&
               Send(*link, 'X', {std::to_string(flags)});
    }
    // The settings are started as the user whose input counts.
    BOOL SendStartSettings() {
        Link *link = InputLink();
        return link && link->pipe.Connected() && Send(*link, 'G', {"settings"});
    }

    void Opened(CDialog &dlg) override {
        Entry e;
        e.dlg = &dlg;
        HWND owner = ::GetWindow(dlg.GetSafeHwnd(), GW_OWNER);
        for (const auto &[key, other] : m_open)
            if (other.dlg->GetSafeHwnd() == owner)
                e.parentKey = key;
        m_open[m_nextKey++] = e;
        Changed();
    }

    // Every agent mirrors the same dialogs: one that holds a dialog as last sent gets
    // the changes, any other (new, or a send failed) the whole of it.
    void Changed() override {
        for (auto &[key, e] : m_open) {
            MirrorDialog now =
                SnapshotDialog(e.dlg->GetSafeHwnd(), e.dlg->GetTemplateId(), e.parentKey, m_formats, e.focus);
            for (auto &[session, link] : m_links) {
                if (!link->pipe.Connected()) {
                    link->synced.erase(key);
                    continue;
                }
                // One write for all of a dialog's changes: the agent wakes once for them.
                MirrorMessage bundle{'Y', {}};
                const bool synced = link->synced.count(key) != 0;
                for (const MirrorMessage &m : MirrorChanges(key, synced ? &e.last : nullptr, now))
                    bundle.fields.push_back(EncodeMirror(m));
                if (bundle.fields.empty() || link->pipe.Send(EncodeMirror(bundle)))
                    link->synced.insert(key);
                else
                    link->synced.erase(key);
            }
            e.last = std::move(now);
        }
    }

    void Closed(CDialog &dlg) override {
        for (auto it = m_open.begin(); it != m_open.end(); ++it) {
            if (it->second.dlg != &dlg)
                continue;
            for (auto &[session, link] : m_links)
                if (link->synced.erase(it->first))
                    Send(*link, 'C', {std::to_string(it->first)});
            m_open.erase(it);
            break;
        }
        for (auto it = m_formats.begin(); it != m_formats.end();)
            it = ::IsChild(dlg.GetSafeHwnd(), it->first) ? m_formats.erase(it) : std::next(it);
    }

    // Waits for the user's answer in the agent, as a message box waits for its own,
    // with the timers and the pipe running meanwhile. A box asked while no agent is
    // there is shown when one comes back. Under the process's box time limit it ends
    // by itself, agent or none.
    bool MessageBox(const std::string &text, const std::string &caption, UINT type, int &result) override {
        const int seq = ++m_boxSeq;
        m_boxes[seq] = Box{text, caption, type, 0};
        for (auto &[session, link] : m_links)
            SendBox(*link, seq);
        const DWORD limit = MessageBoxTimeLimit();
        const DWORD started = ::GetTickCount();
        // A thread timer wakes the wait below each second when nothing else does.
        const UINT_PTR wake = limit ? ::SetTimer(nullptr, 0, 1000, nullptr) : 0;
        MSG msg;
        while (m_boxes[seq].result == 0) {
            if (limit && ::GetTickCount() - started >= limit) {
                m_boxes[seq].result = UnansweredResult(type);
                break;
            }
            const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
            if (got <= 0) {
                ::PostQuitMessage(int(msg.wParam));
                break;
            }
            CWinApp *app = AfxGetApp();
            if (msg.hwnd == nullptr && app && app->PreTranslateMessage(&msg)) {
                // The service is stopping the scheduler: nobody will answer now.
                break;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (wake)
            ::KillTimer(nullptr, wake);
        result = m_boxes[seq].result ? m_boxes[seq].result : IDCANCEL;
        m_boxes.erase(seq);
        return true;
    }

    // Help is asked for by the user whose input counts, and opened there.
    bool ShellOpen(const std::string &target) override {
        Link *link = InputLink();
        return link && link->pipe.Connected() && Send(*link, 'H', {target});
    }

    void PickerFormat(CDialog &, HWND picker, const std::string &format) override {
        m_formats[picker] = format;
    }
    bool AltDown() const override { return m_alt; }
    void Focus(CDialog &dlg, int id) override {
        for (auto &[key, e] : m_open)
            if (e.dlg == &dlg)
                e.focus = id;
    }

private:
    struct Entry {
        CDialog *dlg = nullptr;
        int parentKey = 0;
        int focus = 0;
        MirrorDialog last;
    };
    struct Box {
        std::string text, caption;
        UINT type;
        int result;
    };
    // The pipe of one session's agent, a name of its own, and what that agent holds.
    struct Link {
        Link(AgentMirror &m, DWORD s) : mirror(m), session(s) {}
        AgentMirror &mirror;
        const DWORD session;
        PipeServer pipe;
        bool listening = false;
        DWORD expected = 0;
        std::set<int> synced; // the dialogs it holds as m_open's last
        int busy = 0;         // its handlers under way
    };
    struct Busy {
        explicit Busy(Link &l) : link(l) { ++link.busy; }
        ~Busy() { --link.busy; }
        Link &link;
    };

    const SessionWatch::Seat *SeatOf(DWORD session) const {
        for (const SessionWatch::Seat &seat : m_watch.Seats())
            if (seat.state.sessionId == session)
                return &seat;
        return nullptr;
    }
    // The primary user's link: the only one whose input counts.
    Link *InputLink() {
        if (m_watch.Seats().empty())
            return nullptr;
        const auto it = m_links.find(m_watch.Seats()[0].state.sessionId);
        return it == m_links.end() ? nullptr : it->second.get();
    }

    static bool Send(Link &link, char type, std::vector<std::string> fields) {
        return link.pipe.Send(EncodeMirror(MirrorMessage{type, std::move(fields)})) != FALSE;
    }
    void SendBox(Link &link, int seq) {
        const Box &b = m_boxes[seq];
        if (link.pipe.Connected())
            Send(link, 'M', {std::to_string(seq), std::to_string(b.type), b.caption, b.text});
    }

    // The pipe for the agent about to start in session, opened under a new name the
    // first time; a failure is logged once, however often it is tried.
    static std::string PipeFor(void *context, DWORD session) {
        auto *self = static_cast<AgentMirror *>(context);
        std::unique_ptr<Link> &slot = self->m_links[session];
        if (!slot)
            slot = std::make_unique<Link>(*self, session);
        Link &link = *slot;
        if (!link.listening) {
            link.listening = link.pipe.Start(OnPipeMessage, OnPipeState, &link) != FALSE;
            if (link.listening)
                WriteLog("Channel to the user's session open");
            else if (!self->m_startFailureLogged)
                WriteLog("Can't open the channel to the user's session");
            self->m_startFailureLogged = !link.listening;
        }
        return link.listening ? link.pipe.Name() : std::string();
    }

    // A new agent, still suspended: its pipe expects it before it can first try.
    static void OnAgentStarting(void *context, const AgentProcess &agent) {
        auto *self = static_cast<AgentMirror *>(context);
        const auto it = self->m_links.find(agent.sessionId);
        if (it == self->m_links.end())
            return;
        it->second->expected = agent.processId;
        it->second->pipe.ExpectClient(agent.processId, agent.sessionId);
    }

    static void OnPipeState(void *context, bool connected) {
        Link &link = *static_cast<Link *>(context);
        const Busy busy(link);
        if (!connected) {
            link.synced.clear();
            return;
        }
        // A new agent gets everything that is open, boxes included.
        link.mirror.Changed();
        for (const auto &[seq, box] : link.mirror.m_boxes)
            if (box.result == 0)
                link.mirror.SendBox(link, seq);
    }

    static void OnPipeMessage(void *context, const std::string &bytes) {
        Link &link = *static_cast<Link *>(context);
        AgentMirror *self = &link.mirror;
        const Busy busy(link);
        MirrorMessage m;
        std::map<int, MirrorDialog> open;
        for (const auto &[key, e] : self->m_open)
            open[key] = e.last;
        const MirrorInput in = DecodeMirror(bytes, m) ? CheckMirrorInput(m, open) : MirrorInput{};
        if (in.kind == MirrorInput::Refused) {
            RefuseAgent(link.pipe, self->m_watch, link.session, time(nullptr));
            link.expected = 0;
            link.pipe.ExpectClient(0, link.session);
            return;
        }
        if (self->InputLink() != &link) {
            // Another user's view: what they did there is undone by the whole state.
            link.synced.clear();
            self->Changed();
            return;
        }
        if (in.kind == MirrorInput::Answer) {
            const auto box = self->m_boxes.find(in.number);
            if (box != self->m_boxes.end() && in.id > 0)
                box->second.result = in.id;
            return;
        }
        const auto e = self->m_open.find(in.key);
        if (e == self->m_open.end())
            return;
        if (in.kind == MirrorInput::Command)
            self->m_alt = in.alt;
        ApplyMirrorInput(e->second.dlg->GetSafeHwnd(), in);
        self->Changed();
    }

    bool m_startFailureLogged = false;
    SessionWatch m_watch;
    std::map<DWORD, std::unique_ptr<Link>> m_links;
    std::map<int, Entry> m_open;
    std::map<HWND, std::string> m_formats;
    std::map<int, Box> m_boxes;
    int m_nextKey = 1;
    int m_boxSeq = 0;
    bool m_alt = false;
};

std::unique_ptr<AgentMirror> g_host;

} // namespace

BOOL StartSessionZeroMode() {
    if (g_host || !IsSessionZeroMode())
        return FALSE;
    // The world is decided here, once. Whatever fails from now on is tried again at
    // the next tick: the scheduler never falls back to the first world's ways (the
    // input desktop, ExitWindowsEx) from session 0.
    g_host = std::make_unique<AgentMirror>();
    WriteLog("Session 0 mode: showing in the user's session");
    SetDialogMirror(g_host.get());
    SessionZeroTick();
    return TRUE;
}

BOOL InSessionZeroMode() {
    return g_host ? TRUE : FALSE;
}

SessionEvents SessionZeroTick() {
    if (!g_host)
        return {};
    const SessionEvents events = g_host->Watch().Tick(time(nullptr));
    g_host->FollowAgents();
    return events;
}

bool SessionZeroAgentShowing() {
    return g_host && g_host->Showing();
}

bool SessionZeroUserThere() {
    return g_host && g_host->Watch().UserIsThere();
}

bool SessionZeroConsoleUser() {
    return g_host && g_host->Watch().ConsoleUserThere();
}

BOOL RequestShutdownAsUser(UINT flags) {
    return g_host ? g_host->SendExit(flags) : FALSE;
}

BOOL LogOffSessionZeroUsers() {
    return g_host && g_host->Watch().LogOffUsers();
}

BOOL StartSettingsAsUser() {
    return g_host ? g_host->SendStartSettings() : FALSE;
}

void StopSessionZeroMode() {
    if (!g_host)
        return;
    SetDialogMirror(nullptr);
    g_host.reset();
}

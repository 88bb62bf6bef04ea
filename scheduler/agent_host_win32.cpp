// The scheduler's end of session 0 mode: the mirror of its dialogs sent to the agent
// over the pipe, what the user does there put back into the real (hidden) dialogs,
// message boxes answered there, and the agent kept running in the console session.
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/mirror.h"
#include "framework/mirror_win32.h"
#include "scheduler/agent.h"
#include "system/log.h"
#include "system/pipe_channel.h"
#include "system/session.h"
#include "system/session_watch.h"

namespace {

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

class AgentMirror : public DialogMirror {
public:
    AgentMirror() : m_watch(ProgramPath()) {}

    // Opens the pipe, under a new name; a failure is logged once, however often it
    // is tried.
    BOOL Start() {
        m_listening = m_pipe.Start(OnPipeMessage, OnPipeState, this) != FALSE;
        if (m_listening)
            m_watch.SetAgentPipe(m_pipe.Name(), OnAgentStarting, this);
        else if (!m_startFailureLogged)
            WriteLog("Can't open the channel to the user's session");
        m_startFailureLogged = !m_listening;
        return m_listening;
    }
    bool Listening() const { return m_listening; }
    void Stop() {
        m_pipe.Stop();
        m_listening = false;
    }
    SessionWatch &Watch() { return m_watch; }

    // Keeps the pipe for the agent the watch runs now, and no other process.
    void FollowAgent() {
        const AgentProcess &agent = m_watch.Agent();
        const DWORD pid = m_watch.AgentRunning() ? agent.processId : 0;
        if (pid != m_expected) {
            m_expected = pid;
            m_pipe.ExpectClient(pid, agent.sessionId);
        }
    }

    // A new agent, still suspended: the pipe expects it before it can first try.
    static void OnAgentStarting(void *context, const AgentProcess &agent) {
        auto *self = static_cast<AgentMirror *>(context);
        self->m_expected = agent.processId;
        self->m_pipe.ExpectClient(agent.processId, agent.sessionId);
    }

    BOOL SendExit(UINT flags) {
        return m_pipe.Connected() && Send('X', {std::to_string(flags)});
    }
    BOOL SendStartSettings() {
        return m_pipe.Connected() && Send('G', {"settings"});
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

    void Changed() override {
        for (auto &[key, e] : m_open) {
            MirrorDialog now =
                SnapshotDialog(e.dlg->GetSafeHwnd(), e.dlg->GetTemplateId(), e.parentKey, m_formats, e.focus);
            if (!m_pipe.Connected()) {
                e.sent = false;
                e.last = now;
                continue;
            }
            // One write for all of a dialog's changes: the agent wakes once for them.
            MirrorMessage bundle{'Y', {}};
            for (const MirrorMessage &m : MirrorChanges(key, e.sent ? &e.last : nullptr, now))
                bundle.fields.push_back(EncodeMirror(m));
            e.sent = bundle.fields.empty() || m_pipe.Send(EncodeMirror(bundle));
            e.last = std::move(now);
        }
    }

    void Closed(CDialog &dlg) override {
        for (auto it = m_open.begin(); it != m_open.end(); ++it) {
            if (it->second.dlg != &dlg)
                continue;
            if (it->second.sent)
                Send('C', {std::to_string(it->first)});
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
        SendBox(seq);
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

    bool ShellOpen(const std::string &target) override {
        return m_pipe.Connected() && Send('H', {target});
    }

    void PickerFormat(CDialog &, HWND picker, const std::string &format) override {
        m_formats[picker] = format;
    }
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
        bool sent = false;
        MirrorDialog last;
    };
    struct Box {
        std::string text, caption;
        UINT type;
        int result;
    };

    bool Send(char type, std::vector<std::string> fields) {
        return m_pipe.Send(EncodeMirror(MirrorMessage{type, std::move(fields)})) != FALSE;
    }
    void SendBox(int seq) {
        const Box &b = m_boxes[seq];
        if (m_pipe.Connected())
            Send('M', {std::to_string(seq), std::to_string(b.type), b.caption, b.text});
    }

    static void OnPipeState(void *context, bool connected) {
        auto *self = static_cast<AgentMirror *>(context);
        if (!connected) {
            for (auto &[key, e] : self->m_open)
                e.sent = false;
            return;
        }
        // A new agent gets everything that is open, boxes included.
        self->Changed();
        for (const auto &[seq, box] : self->m_boxes)
            if (box.result == 0)
                self->SendBox(seq);
    }

    static void OnPipeMessage(void *context, const std::string &bytes) {
        auto *self = static_cast<AgentMirror *>(context);
        MirrorMessage m;
        std::map<int, MirrorDialog> open;
        for (const auto &[key, e] : self->m_open)
            open[key] = e.last;
        const MirrorInput in = DecodeMirror(bytes, m) ? CheckMirrorInput(m, open) : MirrorInput{};
        if (in.kind == MirrorInput::Refused) {
            RefuseAgent(self->m_pipe, self->m_watch, time(nullptr));
            self->FollowAgent();
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
        ApplyMirrorInput(e->second.dlg->GetSafeHwnd(), in);
        self->Changed();
    }

    PipeServer m_pipe;
    bool m_listening = false;
    bool m_startFailureLogged = false;
    SessionWatch m_watch;
    DWORD m_expected = 0;
    std::map<int, Entry> m_open;
    std::map<HWND, std::string> m_formats;
    std::map<int, Box> m_boxes;
    int m_nextKey = 1;
    int m_boxSeq = 0;
};

std::unique_ptr<AgentMirror> g_host;

// The console session's state, for a tick that can't start an agent.
ConsoleSessionState QueryConsole() {
    ConsoleSessionState state;
    if (!QueryConsoleSession(state))
        state = ConsoleSessionState();
    return state;
}
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
    if (!g_host->Listening()) {
        if (!g_host->Start())
            return g_host->Watch().Observe(QueryConsole());
        WriteLog("Channel to the user's session open");
    }
    const SessionEvents events = g_host->Watch().Tick(time(nullptr));
    g_host->FollowAgent();
    return events;
}

bool SessionZeroUserThere() {
    return g_host && g_host->Watch().UserIsThere();
}

BOOL RequestShutdownAsUser(UINT flags) {
    return g_host ? g_host->SendExit(flags) : FALSE;
}

BOOL StartSettingsAsUser() {
    return g_host ? g_host->SendStartSettings() : FALSE;
}

void StopSessionZeroMode() {
    if (!g_host)
        return;
    SetDialogMirror(nullptr);
    g_host->Stop();
    g_host.reset();
}

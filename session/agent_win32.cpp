// The agent: vespra.exe " /agent <pipe>", started by the scheduler in the user's session
// with the user's token. It draws a copy of each dialog the scheduler opens, from the
// same template, and sends back what the user does to it. It holds nothing worth
// protecting: ending it costs the user the view, never the schedule.
#include <windows.h>

#include <map>
#include <string>

#include "framework/late_bound_win32.h"
#include "framework/mirror.h"
#include "framework/mirror_win32.h"
#include "session/agent.h"
#include "session/pipe_channel.h"
#include "system/platform_calls.h"

namespace {

struct Copy {
    HWND hwnd = nullptr;
    // The checks the scheduler last reported: a click sends only what it changed.
    std::map<int, int> checks;
};

struct Agent {
    PipeClient pipe;
    std::map<int, Copy> copies;
    // Set while a scheduler's message is being applied: what that changes is no
    // input of the user's.
    bool applying = false;
    bool ended = false;

    void Send(char type, std::vector<std::string> fields) {
        pipe.Send(EncodeMirror(MirrorMessage{type, std::move(fields)}));
    }
    int KeyOf(HWND hwnd) const { return int(::GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }
    HWND TopCopy() const {
        for (auto it = copies.rbegin(); it != copies.rend(); ++it)
            if (::IsWindowVisible(it->second.hwnd))
                return it->second.hwnd;
        return nullptr;
    }
    void OnMessage(const std::string &bytes);
};

Agent *g_agent = nullptr;

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n < MAX_PATH ? n : 0);
    const size_t slash = p.find_last_of('\\');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

// Only our own help pages and the addresses of the About box are opened: whatever
// the pipe says, the agent starts no other program as the user.
bool MayOpen(const std::string &target) {
    const std::string help = ProgramFolder() + "help\\";
    if (target.size() > help.size() && lstrcmpiA(target.substr(0, help.size()).c_str(), help.c_str()) == 0)
        return target.find("..") == std::string::npos;
    return target.compare(0, 7, "mailto:") == 0;
}

// The Alt key as this session's keyboard had it when the message being handled came.
const char *AltNow() {
    return ::GetKeyState(VK_MENU) < 0 ? "1" : "0";
}

INT_PTR CALLBACK CopyProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Agent *agent = g_agent;
    if (!agent || msg == WM_INITDIALOG)
        return FALSE;
    const int key = agent->KeyOf(hwnd);
    switch (msg) {
    case WM_COMMAND: {
        if (agent->applying)
            return TRUE;
        const int id = LOWORD(wp);
        const int code = HIWORD(wp);
        if (code == EN_CHANGE) {
            char text[1100] = {};
            ::GetDlgItemTextA(hwnd, id, text, sizeof text);
            agent->Send('E', {std::to_string(key), std::to_string(id), text});
        } else if (code == BN_CLICKED) {
            Copy &copy = agent->copies[key];
            for (auto &[cid, was] : copy.checks) {
                const int now = int(::IsDlgButtonChecked(hwnd, cid));
                if (now != was) {
                    agent->Send('B', {std::to_string(key), std::to_string(cid), std::to_string(now)});
                    was = now;
                }
            }
            agent->Send('K', {std::to_string(key), std::to_string(id), "0", AltNow()});
        }
        return TRUE;
    }
    case WM_NOTIFY: {
        const auto *hdr = reinterpret_cast<const NMHDR *>(lp);
        if (!agent->applying && hdr->code == DTN_DATETIMECHANGE) {
            const auto *change = reinterpret_cast<const NMDATETIMECHANGE *>(lp);
            agent->Send('D', {std::to_string(key), std::to_string(hdr->idFrom),
                              std::to_string(change->st.wHour) + ":" +
                                  std::to_string(change->st.wMinute)});
        }
        return TRUE;
    }
    case WM_HELP:
        agent->Send('F', {std::to_string(key)});
        return TRUE;
    case WM_CLOSE:
        // The close box and Alt+F4 are the dialog manager's Cancel.
        agent->Send('K', {std::to_string(key), std::to_string(IDCANCEL), "0", AltNow()});
        return TRUE;
    default:
        return FALSE;
    }
}

void Agent::OnMessage(const std::string &bytes) {
    MirrorMessage m;
    if (!DecodeMirror(bytes, m) || m.fields.empty())
        return;
    if (m.type == 'Y') {
        // A bundle of one dialog's changes, applied in order; bundles don't nest.
        for (const std::string &part : m.fields)
            if (!part.empty() && part[0] != 'Y')
                OnMessage(part);
        return;
    }
    const int key = std::atoi(m.fields[0].c_str());
    applying = true;
    switch (m.type) {
    case 'O':
        if (m.fields.size() == 3 && !copies.count(key)) {
            const auto parent = copies.find(std::atoi(m.fields[2].c_str()));
            HWND owner = parent != copies.end() ? parent->second.hwnd : nullptr;
            HWND hwnd = CreateMirrorCopy(UINT(std::atoi(m.fields[1].c_str())), owner, CopyProc);
            if (hwnd) {
                ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, key);
                copies[key].hwnd = hwnd;
            }
        }
        break;
    case 'S': {
        MirrorControl c;
        const auto copy = copies.find(key);
        if (copy != copies.end() && ReadMirrorControl(m, c)) {
            ApplyMirrorControl(copy->second.hwnd, c);
            char cls[16] = {};
            if (HWND w = ::GetDlgItem(copy->second.hwnd, c.id))
                ::GetClassNameA(w, cls, sizeof cls);
            if (lstrcmpiA(cls, "Button") == 0)
                copy->second.checks[c.id] = c.check;
        }
        break;
    }
    case 'W': {
        const auto copy = copies.find(key);
        if (copy != copies.end() && m.fields.size() == 5)
            ApplyMirrorWindow(copy->second.hwnd, m.fields[1] == "1", m.fields[2] == "1",
                              std::atoi(m.fields[3].c_str()), m.fields[4]);
        break;
    }
    case 'C': {
        const auto copy = copies.find(key);
        if (copy != copies.end()) {
            ::DestroyWindow(copy->second.hwnd);
            copies.erase(copy);
        }
        break;
    }
    case 'M':
        if (m.fields.size() == 4) {
            applying = false;
            const UINT type = UINT(std::strtoul(m.fields[1].c_str(), nullptr, 10));
            const int result = PlatformMessageBox(TopCopy(), m.fields[3], m.fields[2],
                                                  type | MB_TOPMOST | MB_SETFOREGROUND);
            Send('R', {m.fields[0], std::to_string(result)});
        }
        break;
    case 'X':
        // The polite request, as the user: applications may still ask to save.
        EnableTokenPrivilege("SeShutdownPrivilege");
        RequestExitWindows(UINT(std::strtoul(m.fields[0].c_str(), nullptr, 10)));
        break;
    case 'G': {
        // Only ever this very program with " /settings": nothing in the message
        // names what is started, so the scheduler can't make the user run anything
        // else. The settings start then asks for an administrator itself.
        DWORD error = 0;
        char path[MAX_PATH] = {};
        const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            StartProcess(std::string(path, n), " /settings", error);
        break;
    }
    case 'H':
        if (MayOpen(m.fields[0]))
            if (const auto open = VESPRA_LATE_BOUND("shell32.dll", ShellExecuteA))
                open(nullptr, nullptr, m.fields[0].c_str(), "", "", SW_SHOWNORMAL);
        break;
    default:
        break;
    }
    applying = false;
}

void OnPipeMessage(void *context, const std::string &bytes) {
    static_cast<Agent *>(context)->OnMessage(bytes);
}

void OnPipeState(void *context, bool connected) {
    if (!connected) {
        static_cast<Agent *>(context)->ended = true;
        ::PostQuitMessage(0);
    }
}
} // namespace

BOOL RunAgent(const std::string &pipeName) {
    Agent agent;
    g_agent = &agent;
    if (!IsPipeChannelName(pipeName) ||
        !agent.pipe.Connect(pipeName, OnPipeMessage, OnPipeState, &agent, 10000) ||
        PipeServerRefusal(agent.pipe.ServerFacts())) {
        agent.pipe.Close();
        g_agent = nullptr;
        return FALSE;
    }
    MSG msg;
    while (!agent.ended) {
        // Idle, the thread waits for its messages and its pipe together.
        if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            agent.pipe.WaitForInput();
            continue;
        }
        if (msg.message == WM_QUIT)
            break;
        HWND active = ::GetActiveWindow();
        if (active && agent.KeyOf(active) && ::IsDialogMessageA(active, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    for (auto &[key, copy] : agent.copies)
        ::DestroyWindow(copy.hwnd);
    agent.pipe.Close();
    g_agent = nullptr;
    return TRUE;
}

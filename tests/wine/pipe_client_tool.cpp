// The agent's end of the pipe for test_pipe_channel, in a process of its own:
//
//   pipe_client_tool <pipe>           answers "who" with "server <pid>" (as
//                                     GetNamedPipeServerProcessId tells it), "check"
//                                     with "refusal <why>" or "refusal none" (the
//                                     agent's check of its server), "box" by opening a
//                                     message box ("box open" once it runs, "box
//                                     closed" when it ends), "shut" by closing that
//                                     box ("shut:box", or "shut:none" without one),
//                                     and any other message with "echo:<message>"
//   pipe_client_tool <pipe> flood <ms>
//                                     writes "junk <n>" without pause for ms
//
// Exit codes: 0 after "bye" or a flood that ran its time, 2 when the server cut
// the connection, 1 when it could not connect.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "session/pipe_channel.h"

namespace {

PipeClient g_client;
int g_exit = -1;
const char kBoxTitle[] = "Pipe client box";

// A thread timer's procedure runs only in the box's own loop, once the box is up.
void CALLBACK AnnounceBox(HWND, UINT, UINT_PTR id, DWORD) {
    if (FindWindowA("#32770", kBoxTitle)) {
        KillTimer(nullptr, id);
        g_client.Send("box open");
    }
}

void OnMessage(void *, const std::string &message) {
    if (message == "box") {
        SetTimer(nullptr, 0, 10, AnnounceBox);
        MessageBoxA(nullptr, "until the pipe says shut", kBoxTitle, MB_OK);
        g_client.Send("box closed");
    } else if (message == "shut") {
        HWND box = FindWindowA("#32770", kBoxTitle);
        if (box)
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        g_client.Send(box ? "shut:box" : "shut:none");
    } else if (message == "bye") {
        g_exit = 0;
    } else if (message == "who") {
        DWORD pid = 0;
        g_client.Send(g_client.ServerProcessId(pid) ? "server " + std::to_string(pid) : "server ?");
    } else if (message == "check") {
        const char *why = PipeServerRefusal(g_client.ServerFacts());
        g_client.Send(std::string("refusal ") + (why ? why : "none"));
    } else {
        g_client.Send("echo:" + message);
    }
}

void OnState(void *, bool connected) {
    if (!connected && g_exit < 0)
        g_exit = 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2)
        return 1;
    if (!g_client.Connect(argv[1], OnMessage, OnState, nullptr, 5000)) {
        // Cut off before the connection was made whole: the pipe was there, and its
        // server refused us.
        const DWORD error = GetLastError();
        return error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA ||
                       error == ERROR_BROKEN_PIPE
                   ? 2
                   : 1;
    }
    MSG msg;
    if (argc == 4 && std::strcmp(argv[2], "flood") == 0) {
        const DWORD start = GetTickCount(), ms = DWORD(std::atol(argv[3]));
        for (int n = 0; g_exit < 0 && GetTickCount() - start < ms; ++n) {
            g_client.Send("junk " + std::to_string(n));
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
        }
        g_exit = g_exit < 0 ? 0 : g_exit;
    }
    // The agent's loop: idle, it waits for its messages and its pipe together.
    while (g_exit < 0) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            g_client.WaitForInput();
        else if (msg.message == WM_QUIT)
            break;
        else
            DispatchMessageA(&msg);
    }
    g_client.Close();
    return g_exit;
}

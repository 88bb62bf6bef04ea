// The agent's end of the pipe for test_pipe_channel, in a process of its own:
// answers "who" with "server <pid>" (as GetNamedPipeServerProcessId tells it) and
// any other message with "echo:<message>". Exit codes: 0 after "bye", 2 when the
// server cut the connection, 1 when it could not connect.
#include <windows.h>

#include <string>

#include "system/pipe_channel.h"

namespace {

PipeClient g_client;
int g_exit = -1;

void OnMessage(void *, const std::string &message) {
    if (message == "bye") {
        g_exit = 0;
    } else if (message == "who") {
        DWORD pid = 0;
        g_client.Send(g_client.ServerProcessId(pid) ? "server " + std::to_string(pid) : "server ?");
    } else {
        g_client.Send("echo:" + message);
    }
}

void OnState(void *, bool connected) {
    if (!connected && g_exit < 0)
        g_exit = 2;
}

} // namespace

int main() {
    if (!g_client.Connect(OnMessage, OnState, nullptr, 5000))
        return 1;
    MSG msg;
    while (g_exit < 0 && GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    g_client.Close();
    return g_exit;
}

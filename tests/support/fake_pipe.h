// The native stand-in behind session/pipe_channel.h: one in-memory pipe between a
// PipeServer and a PipeClient of the same test. What one side sends waits in a
// queue until the test delivers it, as the UI thread's window would; the client's
// identity, a refused start, failing writes and a broken connection are scripted.
// A client reaches the server only under the name of its last Start.
#pragma once

#include <string>
#include <vector>

#include "framework/win32_types.h"
#include "session/pipe_channel.h"

namespace fake {

struct PipeChannel {
    // Answers: who the next client to connect is.
    DWORD clientProcessId = 0;
    DWORD clientSessionId = 0;
    bool clientIdentityKnown = true; // false: the server cannot ask (XP)
    bool startFails = false;         // PipeServer::Start fails (another instance, no DACL)
    bool sendFails = false;          // every Send fails, as a write that timed out
    DWORD serverProcessId = 0;       // PipeClient::ServerProcessId; 0: cannot tell
    PipeServerFacts serverFacts;     // PipeClient::ServerFacts
    // Record.
    std::vector<std::string> refusals; // why each refused client was refused
    int connections = 0;               // clients the server kept
    int starts = 0;                    // pipes the server made, each under a new name
    int closedClients = 0;             // connections ended by CloseClient
};

PipeChannel &Pipe();
void ResetPipe();
// Hands every queued message and state change to its handler, in the order they
// were sent; what the handlers send meanwhile is delivered too. Returns how many.
int DeliverPipe();
// Queued and not yet delivered.
size_t PendingPipe();
// The connection breaks (the agent is killed): what is queued between the two is
// lost, and each side hears onState(false) at the next delivery.
void DropPipe();

} // namespace fake

// The channel between the scheduler in session 0 and its agent in the user's
// session: one named pipe, one client at a time, messages as opaque byte strings.
// What the messages mean is the protocol's business, not this layer's.
//
// Both ends deliver on the thread that started them (the UI thread), through a
// message-only window, so messages and state changes arrive while a dialog or a
// message box runs its own modal loop. A reader thread waits on the pipe.
// Windows: pipe_channel_win32.cpp. Native tests: an in-memory pair
// (tests/support/pipe_channel_fake.cpp, driven through tests/support/fake_pipe.h).
#pragma once

#include <memory>
#include <string>

#include "framework/win32_types.h"

// "\\.\pipe\Vespra".
extern const char kPipeChannelName[];
// The pipe's DACL, and nothing else: LocalSystem full access, interactive users
// read and write (FILE_GENERIC_READ | FILE_GENERIC_WRITE), but never a new instance of
// the pipe (FILE_CREATE_PIPE_INSTANCE), protected from
// inheritance. Network logons hold no interactive SID, so they are refused too.
extern const char kPipeChannelSddl[];
// The largest message either end sends or accepts.
const size_t kPipeMessageMax = 64 * 1024;
// How long a Send waits for the pipe to take a message.
const DWORD kPipeSendTimeoutMs = 2000;

// Called on the UI thread with one whole message.
using PipeHandler = void (*)(void *context, const std::string &message);
// Called on the UI thread when a connection is made (true) or lost (false).
using PipeStateHandler = void (*)(void *context, bool connected);

// Who a connecting client is, as far as the system can tell. A field the system
// cannot answer (Windows XP lacks the calls) is marked unknown.
struct PipeClientIdentity {
    DWORD processId = 0;
    bool processKnown = false;
    DWORD sessionId = 0;
    bool sessionKnown = false;
    bool remote = false; // another machine, where that can be asked
};

// Why the server refuses this client: nullptr when it keeps it. expectedProcessId
// 0 refuses every client. An unknown process or session id is accepted (XP): the
// DACL still admits only SYSTEM and interactive users there.
const char *PipeClientRefusal(DWORD expectedProcessId, DWORD expectedSessionId,
                              const PipeClientIdentity &client);

// The scheduler's end. Start, Send, ExpectClient and Stop are called on the UI
// thread; the handlers must not destroy the object that calls them.
class PipeServer {
public:
    PipeServer();
    ~PipeServer(); // stops
    PipeServer(const PipeServer &) = delete;
    PipeServer &operator=(const PipeServer &) = delete;

    // Creates the pipe as its first and only instance (duplex, message mode, remote
    // clients rejected, overlapped, the DACL above) and waits for clients. FALSE when
    // the pipe exists already, the security descriptor cannot be built (never a null
    // DACL instead), or the window or thread cannot be made.
    BOOL Start(PipeHandler onMessage, PipeStateHandler onState, void *context);
    // Only a client of this process (and session) is kept; any other is disconnected
    // at once and the refusal logged. A connected client that no longer matches is
    // dropped. 0, the initial value, accepts none; Stop and Start keep the value. Start
    // the expected process suspended and resume it after this call, or its first
    // attempt may come before it and be refused.
    void ExpectClient(DWORD processId, DWORD sessionId);
    // FALSE when no client is connected (as the UI thread has been told), the message
    // is over kPipeMessageMax, or the write fails or takes over kPipeSendTimeoutMs.
    BOOL Send(const std::string &message);
    bool Connected() const;
    // Ends any connection and closes the pipe; nothing is delivered afterwards.
    // Start may be called again.
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// The agent's end. Connect, Send and Close are called on the UI thread.
class PipeClient {
public:
    PipeClient();
    ~PipeClient(); // closes
    PipeClient(const PipeClient &) = delete;
    PipeClient &operator=(const PipeClient &) = delete;

    // Opens the pipe, waiting up to timeoutMs for the server to listen. TRUE when it
    // is open; a server that then refuses the client shows as onState(false).
    // onState is called with false only: the connection is lost.
    BOOL Connect(PipeHandler onMessage, PipeStateHandler onState, void *context, DWORD timeoutMs);
    BOOL Send(const std::string &message);
    bool Connected() const;
    // The process at the other end (GetNamedPipeServerProcessId, Vista and later):
    // lets the agent check that it talks to the scheduler that started it. FALSE when
    // not connected or the system cannot tell.
    BOOL ServerProcessId(DWORD &processId) const;
    void Close();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

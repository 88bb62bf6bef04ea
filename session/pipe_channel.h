// The channel between the scheduler in session 0 and its agent in the user's
// session: one named pipe, one client at a time, messages as opaque byte strings.
// What the messages mean is the protocol's business, not this layer's.
//
// Both ends deliver on the thread that started them (the UI thread), so messages and
// state changes arrive while a dialog or a message box runs its own modal loop. The
// scheduler's end has a reader thread that posts to a message-only window. The
// agent's end has no thread of its own: its UI thread keeps one overlapped read
// under way, waits for it beside its messages in its own loop (PipeClient::
// WaitForInput), and in any other loop a timer of a message-only window looks at it
// every kPipePollMs.
// Windows: pipe_channel_win32.cpp. Native tests: an in-memory pair
// (tests/support/pipe_channel_fake.cpp, driven through tests/support/fake_pipe.h).
#pragma once

#include <memory>
#include <string>

#include "framework/win32_types.h"

// Each scheduler run names its pipe anew, "\\.\pipe\Vespra-" and 128 random bits in
// 32 hex digits, and hands the name to the agent it starts: nobody can make the
// pipe first or stand in for it without knowing the name.
extern const char kPipeChannelPrefix[];
const size_t kPipeNameRandomBytes = 16;
// The name made of kPipeNameRandomBytes random bytes (lower-case hex).
std::string PipeChannelName(const std::string &randomBytes);
// Exactly the prefix and 32 hex digits: the agent takes no other name.
bool IsPipeChannelName(const std::string &name);
// The pipe's DACL, and nothing else: LocalSystem full access, interactive users
// read and write (FILE_GENERIC_READ | FILE_GENERIC_WRITE), but never a new instance of
// the pipe (FILE_CREATE_PIPE_INSTANCE), protected from
// inheritance. Network logons hold no interactive SID, so they are refused too.
extern const char kPipeChannelSddl[];
// The largest message either end sends or accepts.
const size_t kPipeMessageMax = 64 * 1024;
// How long a Send waits for the pipe to take a message.
const DWORD kPipeSendTimeoutMs = 2000;
// How often the agent's end looks at its read while a loop other than its own runs.
const UINT kPipePollMs = 25;

// Called on the UI thread with one whole message. The server reads a client's next
// message only after a timer round of the UI thread has passed, so no flood of
// messages keeps WM_TIMER from being generated there.
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

// What the agent can learn of the process serving its pipe. A fact the system
// could not answer stays false.
struct PipeServerFacts {
    // GetNamedPipeServerProcessId exists (Vista on); XP and older cannot ask.
    bool canAsk = false;
    bool sessionKnown = false; // the server's process id and then its session answered
    DWORD sessionId = 0;
    // The user of the server's token (OpenProcess, OpenProcessToken, TokenUser): a
    // standard user may be denied a SYSTEM process's token.
    bool userKnown = false;
    bool userIsSystem = false; // the well-known LocalSystem SID
    // The session and token user of the process the service manager says runs our
    // service (QueryServiceStatusEx): where and as whom the machine's services run.
    bool servicesSessionKnown = false;
    DWORD servicesSessionId = 0;
    bool userIsServices = false; // both users read, and the same
};

// Why the agent refuses this server: nullptr when it serves. Only a server in
// session 0 running as SYSTEM is accepted; a token the agent may not read counts
// as SYSTEM in session 0, where no user's program runs. A server in the session
// and as the user of our service's own process is accepted too: on Windows that is
// session 0 and SYSTEM again, and under Wine, which runs services in the user's
// session as the user, it is what the service really is. Where the server can't
// be asked (XP, which has no session 0 isolation), it is accepted: only SYSTEM may
// make an instance of the pipe, and nobody else knows its name.
const char *PipeServerRefusal(const PipeServerFacts &server);

// The scheduler's end. Start, Send, ExpectClient and Stop are called on the UI
// thread; the handlers must not destroy the object that calls them.
class PipeServer {
public:
    PipeServer();
    ~PipeServer(); // stops

    // Creates the pipe under a new random name as its first and only instance
    // (duplex, message mode, remote clients rejected, overlapped, the DACL above) and
    // waits for clients. A name that exists already is replaced by another. FALSE
    // when no random bytes or no unused name could be had, the security descriptor
    // cannot be built (never a null DACL instead), or the window or thread cannot be
    // made.
    BOOL Start(PipeHandler onMessage, PipeStateHandler onState, void *context);
    // The name of the pipe Start made last.
    const std::string &Name() const;
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
    // The client broke the protocol: its connection ends at once, nothing more it
    // sent is delivered, and no client is kept until ExpectClient names the next.
    void CloseClient();
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

    // Opens the pipe `name`, waiting up to timeoutMs for the server to listen. TRUE
    // when it is open; a server that then refuses the client shows as onState(false).
    // onState is called with false only: the connection is lost. On FALSE,
    // GetLastError(): a server that refused the client at once leaves a closed pipe's
    // error (ERROR_PIPE_NOT_CONNECTED, ERROR_NO_DATA or ERROR_BROKEN_PIPE).
    BOOL Connect(const std::string &name, PipeHandler onMessage, PipeStateHandler onState,
                 void *context, DWORD timeoutMs);
    BOOL Send(const std::string &message);
    bool Connected() const;
    // The idle wait of the UI thread's own message loop, in place of WaitMessage:
    // returns when the thread has a message, or when the pipe brought a message or
    // lost the connection, which is then delivered before it returns.
    void WaitForInput();
    // The process at the other end (GetNamedPipeServerProcessId, Vista and later):
    // lets the agent check that it talks to the scheduler that started it. FALSE when
    // not connected or the system cannot tell.
    BOOL ServerProcessId(DWORD &processId) const;
    // Who serves the pipe, for PipeServerRefusal; asked once connected.
    PipeServerFacts ServerFacts() const;
    void Close();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

#include <deque>

#include "session/pipe_channel.h"
#include "tests/support/fake_pipe.h"

namespace {

// One side's handlers and what its UI thread has been told, as the real window keeps.
struct Side {
    PipeHandler onMessage = nullptr;
    PipeStateHandler onState = nullptr;
    void *context = nullptr;
    long uiConnection = 0;
    bool uiConnected = false;
    bool closing = false; // the server's CloseClient: gone, though not yet told

    bool Connected() const { return uiConnected && !closing; }

    void Deliver(bool isState, bool connected, long connection, const std::string &message) {
        if (!isState) {
            if (Connected() && connection == uiConnection && onMessage)
                onMessage(context, message);
        } else if (connected) {
            uiConnection = connection;
            uiConnected = true;
            closing = false;
            if (onState)
                onState(context, true);
        } else if (uiConnected && connection == uiConnection) {
            uiConnected = false;
            closing = false;
            if (onState)
                onState(context, false);
        }
    }
};

struct Event {
    Side *target;
    bool isState;
    bool connected;
    long connection;
    std::string message;
};

} // namespace

struct PipeServer::Impl : Side {
    std::string name;
    DWORD expectedProcess = 0;
    DWORD expectedSession = 0;
};
struct PipeClient::Impl : Side {};

namespace {

fake::PipeChannel g_pipe;
std::deque<Event> g_queue;
PipeServer::Impl *g_serverSide = nullptr; // the started server
Side *g_clientSide = nullptr;             // the client the server kept
long g_connection = 0;                    // the kept client's connection number; 0 when none
long g_lastConnection = 0;
PipeClientIdentity g_client; // who the kept client is

void Queue(Side *target, bool isState, bool connected, const std::string &message = {}) {
    g_queue.push_back(Event{target, isState, connected, g_connection, message});
}

void Forget(Side *side) {
    for (auto it = g_queue.begin(); it != g_queue.end();)
        it = it->target == side ? g_queue.erase(it) : it + 1;
}

// Ends the live connection; `lose` drops what is still queued between the two.
void Break(bool lose) {
    if (!g_connection)
        return;
    if (lose)
        for (auto it = g_queue.begin(); it != g_queue.end();)
            it = !it->isState && it->connection == g_connection ? g_queue.erase(it) : it + 1;
    Queue(g_serverSide, true, false);
    Queue(g_clientSide, true, false);
    g_clientSide = nullptr;
    g_connection = 0;
}

PipeClientIdentity NextClient() {
    PipeClientIdentity who;
    who.processId = g_pipe.clientProcessId;
    who.sessionId = g_pipe.clientSessionId;
    who.processKnown = who.sessionKnown = g_pipe.clientIdentityKnown;
    return who;
}

BOOL SendFrom(const Side &from, Side *to, const std::string &message) {
    if (!g_connection || !from.Connected() || from.uiConnection != g_connection ||
        message.size() > kPipeMessageMax || g_pipe.sendFails)
        return FALSE;
    Queue(to, false, false, message);
    return TRUE;
}

} // namespace

namespace fake {
PipeChannel &Pipe() {
    return g_pipe;
}
void ResetPipe() {
    g_pipe = PipeChannel();
    g_queue.clear();
    g_serverSide = nullptr;
    g_clientSide = nullptr;
    g_connection = g_lastConnection = 0;
}
int DeliverPipe() {
    int delivered = 0;
    while (!g_queue.empty()) {
        Event e = std::move(g_queue.front());
        g_queue.pop_front();
        e.target->Deliver(e.isState, e.connected, e.connection, e.message);
        ++delivered;
    }
    return delivered;
}
size_t PendingPipe() {
    return g_queue.size();
}
void DropPipe() {
    Break(true);
}
} // namespace fake

PipeServer::PipeServer() : m_impl(new Impl) {}
PipeServer::~PipeServer() {
    Stop();
}

BOOL PipeServer::Start(PipeHandler onMessage, PipeStateHandler onState, void *context) {
    if (g_serverSide || g_pipe.startFails)
        return FALSE;
    m_impl->onMessage = onMessage;
    m_impl->onState = onState;
    m_impl->context = context;
    m_impl->uiConnected = m_impl->closing = false;
    m_impl->name = PipeChannelName(std::string(kPipeNameRandomBytes, char(++g_pipe.starts)));
    g_serverSide = m_impl.get();
    return TRUE;
}

const std::string &PipeServer::Name() const {
    return m_impl->name;
}

void PipeServer::CloseClient() {
    m_impl->expectedProcess = 0;
    if (g_serverSide != m_impl.get() || !g_connection)
        return;
    // The pipe is disconnected: what either side wrote and the other has not read
    // is gone, and the server's UI hears of nothing more from it.
    ++g_pipe.closedClients;
    m_impl->closing = m_impl->uiConnected;
    Break(true);
}

void PipeServer::ExpectClient(DWORD processId, DWORD sessionId) {
    m_impl->expectedProcess = processId;
    m_impl->expectedSession = sessionId;
    if (g_serverSide != m_impl.get() || !g_connection)
        return;
    if (const char *why = PipeClientRefusal(processId, sessionId, g_client)) {
        g_pipe.refusals.push_back(why);
        Break(false);
    }
}

BOOL PipeServer::Send(const std::string &message) {
    return g_serverSide == m_impl.get() && SendFrom(*m_impl, g_clientSide, message);
}

bool PipeServer::Connected() const {
    return m_impl->Connected();
}

void PipeServer::Stop() {
    if (g_serverSide != m_impl.get())
        return;
    Break(false);
    Forget(m_impl.get());
    g_serverSide = nullptr;
    m_impl->uiConnected = false;
}

PipeClient::PipeClient() : m_impl(new Impl) {}
PipeClient::~PipeClient() {
    Close();
}

BOOL PipeClient::Connect(const std::string &name, PipeHandler onMessage, PipeStateHandler onState,
                         void *context, DWORD) {
    // No server of that name, or another client holds the one instance.
    if (!g_serverSide || name != g_serverSide->name || g_connection || m_impl->uiConnected)
        return FALSE;
    Forget(m_impl.get());
    m_impl->onMessage = onMessage;
    m_impl->onState = onState;
    m_impl->context = context;
    m_impl->uiConnected = true;
    // The pipe opens whoever the client is; a refused one then hears it is cut off.
    m_impl->uiConnection = ++g_lastConnection;
    const PipeClientIdentity who = NextClient();
    if (const char *why =
            PipeClientRefusal(g_serverSide->expectedProcess, g_serverSide->expectedSession, who)) {
        g_pipe.refusals.push_back(why);
        g_queue.push_back(Event{m_impl.get(), true, false, m_impl->uiConnection, {}});
        return TRUE;
    }
    ++g_pipe.connections;
    g_client = who;
    g_connection = m_impl->uiConnection;
    g_clientSide = m_impl.get();
    Queue(g_serverSide, true, true);
    return TRUE;
}

BOOL PipeClient::Send(const std::string &message) {
    return g_clientSide == m_impl.get() && SendFrom(*m_impl, g_serverSide, message);
}

bool PipeClient::Connected() const {
    return m_impl->uiConnected;
}

BOOL PipeClient::ServerProcessId(DWORD &processId) const {
    if (!m_impl->uiConnected || !g_pipe.serverProcessId)
        return FALSE;
    processId = g_pipe.serverProcessId;
    return TRUE;
}

PipeServerFacts PipeClient::ServerFacts() const {
    return m_impl->uiConnected ? g_pipe.serverFacts : PipeServerFacts();
}

void PipeClient::Close() {
    if (g_clientSide == m_impl.get())
        Break(false);
    Forget(m_impl.get());
    m_impl->uiConnected = false;
}

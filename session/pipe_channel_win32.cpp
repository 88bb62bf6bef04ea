#include "session/pipe_channel.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "framework/text.h"
#include "framework/unique_handle.h"
#include "system/log.h"
#include "security/password_crypto.h"
#include "system/service_calls.h"

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct LibraryFreer {
    void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
struct LocalFreer {
    void operator()(PSECURITY_DESCRIPTOR p) const { ::LocalFree(p); }
};
using Handle = UniqueHandle<HANDLE, HandleCloser>;
using Library = UniqueHandle<HMODULE, LibraryFreer>;
using LocalSd = UniqueHandle<PSECURITY_DESCRIPTOR, LocalFreer>;

// Posted by the reader thread to the channel's window. Data and log texts travel as
// a heap std::string that the window procedure takes over.
const UINT kMsgData = WM_APP + 0x50;  // wParam: connection number; lParam: the message
const UINT kMsgState = WM_APP + 0x51; // wParam: connected; lParam: connection number
const UINT kMsgLog = WM_APP + 0x52;   // lParam: a line for the log
// The server's pacing timer on the channel's window: one timer round between a
// delivered message and the reading of the next.
const UINT_PTR kPaceTimer = 1;
const char kWindowClass[] = "VespraPipeChannel";

// The owner's handlers, called on the UI thread.
struct Handlers {
    PipeHandler onMessage = nullptr;
    PipeStateHandler onState = nullptr;
    void *context = nullptr;
    void Message(const std::string &message) const {
        if (onMessage)
            onMessage(context, message);
    }
    void State(bool connected) const {
        if (onState)
            onState(context, connected);
    }
};

// A message-only window of its own class, whose user data points at its owner: never
// shown or enumerated, yet served by every modal loop of this thread, where a thread
// message would be lost. nullptr when it can't be made.
HWND MakeMessageWindow(const char *className, WNDPROC proc, void *owner) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA wc;
    if (!::GetClassInfoA(instance, className, &wc)) {
        memset(&wc, 0, sizeof wc);
        wc.lpfnWndProc = proc;
        wc.hInstance = instance;
        wc.lpszClassName = className;
        if (!::RegisterClassA(&wc))
            return nullptr;
    }
    HWND window = ::CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    instance, nullptr);
    if (window)
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return window;
}

// Newer than XP (or than NT 4), so looked up when needed: vespra.exe must load on XP.
typedef BOOL(WINAPI *PipeIdFn)(HANDLE pipe, ULONG *id);
typedef BOOL(WINAPI *PipeComputerNameFn)(HANDLE pipe, LPSTR name, ULONG size);
typedef BOOL(WINAPI *StringToSdFn)(LPCSTR sddl, DWORD revision, PSECURITY_DESCRIPTOR *sd,
                                   ULONG *size);
typedef BOOL(WINAPI *SessionOfFn)(DWORD processId, DWORD *sessionId);
typedef BOOLEAN(WINAPI *GenRandomFn)(PVOID buffer, ULONG size);
typedef BOOL(WINAPI *QueryServiceExFn)(SC_HANDLE service, int level, LPBYTE buffer, DWORD size,
                                       LPDWORD needed);

template <typename Fn> Fn LookupAdvapi(const char *name) {
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
    return advapi
               ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(advapi, name)))
               : nullptr;
}

template <typename Fn> Fn KernelFunction(const char *name) {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    return kernel
               ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(kernel, name)))
               : nullptr;
}

HANDLE OrNull(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

// A name from the system's random source: CNG where it exists (Windows 7 on), else
// RtlGenRandom (advapi32's SystemFunction036, XP on).
bool RandomPipeName(std::string &name) {
    std::string bytes;
    if (!RandomBytes(kPipeNameRandomBytes, bytes)) {
        static const GenRandomFn gen = LookupAdvapi<GenRandomFn>("SystemFunction036");
        bytes.assign(kPipeNameRandomBytes, '\0');
        if (!gen || !gen(&bytes[0], ULONG(bytes.size())))
            return false;
    }
    name = PipeChannelName(bytes);
    return true;
}

// One whole message written, waiting up to kPipeSendTimeoutMs. CancelIo cancels
// all that this thread started on the pipe: the agent's end, whose read is this
// thread's too, takes that read up again (ERROR_OPERATION_ABORTED).
BOOL WriteMessage(HANDLE pipe, HANDLE event, const std::string &message) {
    OVERLAPPED ov;
    memset(&ov, 0, sizeof ov);
    ov.hEvent = event;
    ::ResetEvent(ov.hEvent);
    if (!::WriteFile(pipe, message.data(), DWORD(message.size()), nullptr, &ov)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return FALSE;
        if (::WaitForSingleObject(ov.hEvent, kPipeSendTimeoutMs) != WAIT_OBJECT_0)
            ::CancelIo(pipe);
    }
    DWORD written = 0;
    return ::GetOverlappedResult(pipe, &ov, &written, TRUE) && written == message.size();
}

const char kOverLimit[] = "Pipe message over 64 KB: connection dropped";

// The scheduler's end: the message-only window that delivers on the UI thread, the
// reader thread, and the overlapped write.
struct Channel {
    virtual ~Channel() = default;

    bool Running() const { return m_thread.Get() != nullptr; }

    // On the UI thread, with the pipe already in m_pipe.
    BOOL Begin(PipeHandler onMessage, PipeStateHandler onState, void *context) {
        m_handlers = {onMessage, onState, context};
        m_stop.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_kick.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
        m_readEvent.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_writeEvent.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_more.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
        if (!m_stop || !m_kick || !m_readEvent || !m_writeEvent || !m_more || !MakeWindow()) {
            End();
            return FALSE;
        }
        m_thread.Reset(::CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
        if (!m_thread) {
            End();
            return FALSE;
        }
        return TRUE;
    }

    // On the UI thread: stops the reader, drops what it posted and not yet delivered.
    void End() {
        if (m_thread) {
            ::SetEvent(m_stop.Get());
            ::WaitForSingleObject(m_thread.Get(), INFINITE);
            m_thread.Reset();
        }
        if (m_window) {
            MSG msg;
            while (::PeekMessageA(&msg, m_window, kMsgData, kMsgLog, PM_REMOVE))
                Discard(msg);
            ::DestroyWindow(m_window);
            m_window = nullptr;
        }
        m_pipe.Reset();
        m_stop.Reset();
        m_kick.Reset();
        m_readEvent.Reset();
        m_writeEvent.Reset();
        m_more.Reset();
        m_live = 0;
        m_drop = 0;
        m_uiConnection = 0;
        m_uiConnected = false;
        m_uiClosing = false;
    }

    // Closed by CloseClient counts as gone at once, before the reader confirms it.
    bool UiConnected() const { return m_uiConnected && !m_uiClosing; }

    // On the UI thread. Only to the connection the UI thread knows of: a client that
    // replaced it must first be announced.
    BOOL Write(const std::string &message) {
        if (!UiConnected() || m_live.load() != m_uiConnection || message.size() > kPipeMessageMax)
            return FALSE;
        return WriteMessage(m_pipe.Get(), m_writeEvent.Get(), message);
    }

    enum class ReadEnd { Lost, Stopped, Refused };

    // The reader thread's work.
    virtual void Run() = 0;
    // Server only: whether the connected client is still the one expected.
    virtual bool StillWanted() { return true; }

    // Reads whole messages of connection number `connection` and posts them, until the
    // connection ends, Stop is asked for, or (server) the client is no longer wanted.
    ReadEnd ReadMessages(LONG connection) {
        std::unique_ptr<char[]> buffer(new char[kPipeMessageMax]);
        for (;;) {
            OVERLAPPED ov;
            memset(&ov, 0, sizeof ov);
            ov.hEvent = m_readEvent.Get();
            ::ResetEvent(ov.hEvent);
            DWORD got = 0;
            if (!::ReadFile(m_pipe.Get(), buffer.get(), DWORD(kPipeMessageMax), nullptr, &ov) &&
                ::GetLastError() != ERROR_IO_PENDING)
                return ReadFailed();
            for (;;) {
                HANDLE waits[] = {ov.hEvent, m_stop.Get(), m_kick.Get()};
                const DWORD which = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
                if (which == WAIT_OBJECT_0)
                    break;
                if (which == WAIT_OBJECT_0 + 2 && StillWanted())
                    continue;
                // The read must be over before its OVERLAPPED goes out of scope.
                ::CancelIo(m_pipe.Get());
                ::GetOverlappedResult(m_pipe.Get(), &ov, &got, TRUE);
                return which == WAIT_OBJECT_0 + 2 ? ReadEnd::Refused : ReadEnd::Stopped;
            }
            if (!::GetOverlappedResult(m_pipe.Get(), &ov, &got, FALSE))
                return ReadFailed();
            if (!Post(kMsgData, WPARAM(connection), new std::string(buffer.get(), got)))
                return ReadEnd::Lost;
            if (m_paced) {
                const ReadEnd end = AwaitPace();
                if (end != ReadEnd::Lost)
                    return end;
            }
        }
    }

    // Server: waits until the UI thread has handled the message just posted and a
    // timer round has passed there. Posted messages come before WM_TIMER, which is
    // made only when none are waiting: a client that writes without pause would
    // otherwise hold the scheduler's timers off. Lost means go on reading.
    ReadEnd AwaitPace() {
        for (;;) {
            HANDLE waits[] = {m_stop.Get(), m_kick.Get(), m_more.Get()};
            const DWORD which = ::WaitForMultipleObjects(3, waits, FALSE, INFINITE);
            if (which == WAIT_OBJECT_0 + 1 && !StillWanted())
                return ReadEnd::Refused;
            if (which == WAIT_OBJECT_0 + 2)
                return ReadEnd::Lost;
            if (which != WAIT_OBJECT_0 + 1)
                return ReadEnd::Stopped;
        }
    }

    // Posts to the UI thread; the window takes over `text` (deleted here on failure).
    bool Post(UINT msg, WPARAM wParam, std::string *text) {
        if (::PostMessageA(m_window, msg, wParam, reinterpret_cast<LPARAM>(text)))
            return true;
        delete text;
        return false;
    }
    bool PostState(bool connected, LONG connection) {
        return ::PostMessageA(m_window, kMsgState, connected ? 1 : 0, connection) != 0;
    }

    HWND m_window = nullptr;
    Handle m_pipe;
    Handle m_stop;
    Handle m_kick;      // server: the expected client changed
    Handle m_readEvent; // the reader thread's reads and waits for a client
    Handle m_writeEvent;
    Handle m_more; // server: the UI thread is ready for the next message
    Handle m_thread;
    bool m_paced = false;
    std::atomic<LONG> m_live{0}; // the reader's connection number; 0 when none
    std::atomic<LONG> m_drop{0}; // server: the connection CloseClient ended
    // The UI thread's view, changed only by what it has been told.
    LONG m_uiConnection = 0;
    bool m_uiConnected = false;
    bool m_uiClosing = false; // CloseClient: nothing more of this connection is delivered
    Handlers m_handlers;

    ReadEnd ReadFailed() {
        // A message over the limit breaks the protocol; the connection goes.
        if (::GetLastError() == ERROR_MORE_DATA)
            Post(kMsgLog, 0, new std::string(kOverLimit));
        return ReadEnd::Lost;
    }

    static DWORD WINAPI ThreadMain(void *self) {
        static_cast<Channel *>(self)->Run();
        return 0;
    }

    bool MakeWindow() {
        m_window = MakeMessageWindow(kWindowClass, WindowProc, this);
        return m_window != nullptr;
    }

    static void Discard(const MSG &msg) {
        if (msg.message == kMsgLog)
            WriteLog(*reinterpret_cast<std::string *>(msg.lParam));
        if (msg.message != kMsgState)
            delete reinterpret_cast<std::string *>(msg.lParam);
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<Channel *>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && msg == WM_TIMER && wParam == kPaceTimer) {
            ::KillTimer(hwnd, kPaceTimer);
            ::SetEvent(self->m_more.Get());
            return 0;
        }
        if (!self || msg < kMsgData || msg > kMsgLog)
            return ::DefWindowProcA(hwnd, msg, wParam, lParam);
        if (msg == kMsgLog) {
            std::unique_ptr<std::string> line(reinterpret_cast<std::string *>(lParam));
            WriteLog(*line);
        } else if (msg == kMsgData) {
            std::unique_ptr<std::string> message(reinterpret_cast<std::string *>(lParam));
            // Armed before the handler, which may stop the channel (and so the timer).
            if (self->m_paced)
                ::SetTimer(hwnd, kPaceTimer, USER_TIMER_MINIMUM, nullptr);
            // What an ended connection sent is not handed to the next one's reader.
            if (self->UiConnected() && LONG(wParam) == self->m_uiConnection)
                self->m_handlers.Message(*message);
        } else if (wParam) {
            self->m_uiConnection = LONG(lParam);
            self->m_uiConnected = true;
            self->m_uiClosing = false;
            self->m_handlers.State(true);
        } else if (self->m_uiConnected && LONG(lParam) == self->m_uiConnection) {
            self->m_uiConnected = false;
            self->m_uiClosing = false;
            self->m_handlers.State(false);
        }
        // The handler may have stopped the channel: nothing of self is touched here.
        return 0;
    }
};

// A plain 64-bit pair, so the reader thread never sees half of a change.
uint64_t PackExpected(DWORD processId, DWORD sessionId) {
    return (uint64_t(processId) << 32) | sessionId;
}

} // namespace

struct PipeServer::Impl : Channel {
    std::string name;
    std::atomic<uint64_t> expected{0};
    PipeClientIdentity client;    // the reader's connected client
    bool askComputerName = false; // the system lacks PIPE_REJECT_REMOTE_CLIENTS
    LONG connections = 0;

    ~Impl() override { End(); }

    const char *Refusal(const PipeClientIdentity &who) const {
        const uint64_t e = expected.load();
        return PipeClientRefusal(DWORD(e >> 32), DWORD(e), who);
    }

    PipeClientIdentity Identify() const {
        PipeClientIdentity who;
        ULONG value = 0;
        static const PipeIdFn processId = KernelFunction<PipeIdFn>("GetNamedPipeClientProcessId");
        static const PipeIdFn sessionId = KernelFunction<PipeIdFn>("GetNamedPipeClientSessionId");
        if (processId && processId(m_pipe.Get(), &value)) {
            who.processId = value;
            who.processKnown = true;
        }
        if (sessionId && sessionId(m_pipe.Get(), &value)) {
            who.sessionId = value;
            who.sessionKnown = true;
        }
        if (askComputerName) {
            static const PipeComputerNameFn computer =
                KernelFunction<PipeComputerNameFn>("GetNamedPipeClientComputerNameA");
            char theirs[MAX_COMPUTERNAME_LENGTH + 1] = "";
            char ours[MAX_COMPUTERNAME_LENGTH + 1] = "";
            DWORD size = sizeof ours;
            // The call fails for a local client.
            if (computer && computer(m_pipe.Get(), theirs, sizeof theirs) &&
                ::GetComputerNameA(ours, &size))
                who.remote = lstrcmpiA(theirs, ours) != 0;
        }
        return who;
    }

    // Logs a refusal (on the UI thread); false when why is nullptr.
    bool Refuse(const PipeClientIdentity &who, const char *why) {
        if (!why)
            return false;
        Post(kMsgLog, 0,
             new std::string(StrFormat("Pipe client refused (%s): process %u, session %u", why,
                                       unsigned(who.processId), unsigned(who.sessionId))));
        return true;
    }

    // A connection CloseClient ended goes without another log line.
    bool StillWanted() override {
        return m_drop.load() != m_live.load() && !Refuse(client, Refusal(client));
    }

    // Waits for a client; false when Stop was asked for.
    bool AwaitClient() {
        for (;;) {
            OVERLAPPED ov;
            memset(&ov, 0, sizeof ov);
            ov.hEvent = m_readEvent.Get();
            ::ResetEvent(ov.hEvent);
            BOOL connected = ::ConnectNamedPipe(m_pipe.Get(), &ov);
            const DWORD error = connected ? 0 : ::GetLastError();
            if (error == ERROR_PIPE_CONNECTED) {
                connected = TRUE;
            } else if (error == ERROR_IO_PENDING) {
                HANDLE waits[] = {ov.hEvent, m_stop.Get()};
                DWORD done = 0;
                if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                    ::CancelIo(m_pipe.Get());
                    ::GetOverlappedResult(m_pipe.Get(), &ov, &done, TRUE);
                    return false;
                }
                connected = ::GetOverlappedResult(m_pipe.Get(), &ov, &done, FALSE);
            }
            if (connected)
                return true;
            // A client that came and went already (ERROR_NO_DATA), or a failure: free
            // the instance and listen again, without spinning on a lasting failure.
            ::DisconnectNamedPipe(m_pipe.Get());
            if (error != ERROR_NO_DATA && ::WaitForSingleObject(m_stop.Get(), 100) == WAIT_OBJECT_0)
                return false;
        }
    }

    void Run() override {
        while (AwaitClient()) {
            client = Identify();
            if (Refuse(client, Refusal(client))) {
                ::DisconnectNamedPipe(m_pipe.Get());
                continue;
            }
            const LONG connection = ++connections;
            m_live = connection;
            const ReadEnd end =
                PostState(true, connection) ? ReadMessages(connection) : ReadEnd::Lost;
            m_live = 0;
            PostState(false, connection);
            ::DisconnectNamedPipe(m_pipe.Get());
            if (end == ReadEnd::Stopped)
                return;
        }
    }
};

PipeServer::PipeServer() : m_impl(new Impl) {}
PipeServer::~PipeServer() = default;

BOOL PipeServer::Start(PipeHandler onMessage, PipeStateHandler onState, void *context) {
    if (m_impl->Running())
        return FALSE;
    // The DACL is built from its text or not at all: a pipe without it would be open
    // to everyone, so there is no fallback.
    Library advapi(::LoadLibraryA("advapi32.dll"));
    auto toSd = advapi
                    ? reinterpret_cast<StringToSdFn>(reinterpret_cast<void (*)()>(::GetProcAddress(
                          advapi.Get(), "ConvertStringSecurityDescriptorToSecurityDescriptorA")))
                    : nullptr;
    LocalSd sd;
    if (!toSd || !toSd(kPipeChannelSddl, 1 /* SDDL_REVISION_1 */, sd.Put(), nullptr))
        return FALSE;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(sd.Get(), &present, &dacl, &defaulted) || !present || !dacl)
        return FALSE;
    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = sd.Get();
    sa.bInheritHandle = FALSE;

    const DWORD open = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    const DWORD mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
    // A name in use (ERROR_ACCESS_DENIED with the first-instance flag) is a draw of
    // 128 bits that came up twice: another draw settles it.
    for (int attempt = 0; attempt < 4 && !m_impl->m_pipe; ++attempt) {
        if (!RandomPipeName(m_impl->name))
            return FALSE;
        const char *name = m_impl->name.c_str();
        HANDLE pipe = ::CreateNamedPipeA(name, open, mode | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                         DWORD(kPipeMessageMax), DWORD(kPipeMessageMax), 0, &sa);
        m_impl->askComputerName = false;
        if (pipe == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_INVALID_PARAMETER) {
            // Before Vista the flag is unknown: ask each client where it is instead.
            pipe = ::CreateNamedPipeA(name, open, mode, 1, DWORD(kPipeMessageMax),
                                      DWORD(kPipeMessageMax), 0, &sa);
            m_impl->askComputerName = true;
        }
        m_impl->m_pipe.Reset(OrNull(pipe));
        if (!m_impl->m_pipe && ::GetLastError() != ERROR_ACCESS_DENIED &&
            ::GetLastError() != ERROR_PIPE_BUSY)
            return FALSE;
    }
    if (!m_impl->m_pipe)
        return FALSE;
    m_impl->m_paced = true;
    return m_impl->Begin(onMessage, onState, context);
}

void PipeServer::ExpectClient(DWORD processId, DWORD sessionId) {
    m_impl->expected = PackExpected(processId, sessionId);
    if (m_impl->Running())
        ::SetEvent(m_impl->m_kick.Get());
}

BOOL PipeServer::Send(const std::string &message) {
    return m_impl->Running() && m_impl->Write(message);
}

bool PipeServer::Connected() const {
    return m_impl->UiConnected();
}

const std::string &PipeServer::Name() const {
    return m_impl->name;
}

void PipeServer::CloseClient() {
    m_impl->expected = 0;
    if (!m_impl->Running())
        return;
    if (m_impl->m_uiConnected) {
        m_impl->m_uiClosing = true;
        m_impl->m_drop = m_impl->m_uiConnection;
    }
    ::SetEvent(m_impl->m_kick.Get());
}

void PipeServer::Stop() {
    m_impl->End();
}

namespace {
// The agent's poll of its read, on its channel window, while a loop not its own runs.
const UINT_PTR kPollTimer = 1;
const char kClientWindowClass[] = "VespraPipeClient";
} // namespace

// The agent's end, all on its UI thread: one overlapped read always under way, its
// event waited for beside the messages in the agent's own loop (WaitForInput); any
// other loop of the thread (a message box, a dialog, a window being moved) runs the
// poll timer, which looks at the read every kPipePollMs. No thread of its own.
struct PipeClient::Impl {
    enum class Read { None, Pending, Failed };

    Handle pipe;
    Handle readEvent;
    Handle writeEvent;
    HWND window = nullptr;
    OVERLAPPED readOv;
    std::unique_ptr<char[]> buffer;
    Read read = Read::None;
    DWORD readError = 0; // why the read failed
    bool connected = false; // as the handlers have been told
    Handlers handlers;

    ~Impl() { End(); }

    BOOL Open(const std::string &name, DWORD timeoutMs) {
        const DWORD start = ::GetTickCount();
        for (;;) {
            // Identification only: the server may learn who we are, never act as us.
            HANDLE h = ::CreateFileA(
                name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                pipe.Reset(h);
                break;
            }
            const DWORD error = ::GetLastError();
            const DWORD spent = ::GetTickCount() - start;
            if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PIPE_BUSY) || spent >= timeoutMs)
                return FALSE;
            ::Sleep(timeoutMs - spent < 20 ? timeoutMs - spent : 20);
        }
        DWORD mode = PIPE_READMODE_MESSAGE;
        if (!::SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr)) {
            // The server may have cut us off already: that is what the caller learns.
            const DWORD error = ::GetLastError();
            pipe.Reset();
            ::SetLastError(error);
            return FALSE;
        }
        return TRUE;
    }

    BOOL Begin(PipeHandler message, PipeStateHandler state, void *ctx) {
        handlers = {message, state, ctx};
        readEvent.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        writeEvent.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        buffer.reset(new char[kPipeMessageMax]);
        if (!readEvent || !writeEvent || !MakeWindow()) {
            End();
            return FALSE;
        }
        connected = true;
        Issue();
        ::SetTimer(window, kPollTimer, kPipePollMs, nullptr);
        return TRUE;
    }

    // Starts the next read; a failure is kept for Deliver, after what came before.
    void Issue() {
        memset(&readOv, 0, sizeof readOv);
        readOv.hEvent = readEvent.Get();
        ::ResetEvent(readOv.hEvent);
        if (::ReadFile(pipe.Get(), buffer.get(), DWORD(kPipeMessageMax), nullptr, &readOv) ||
            ::GetLastError() == ERROR_IO_PENDING) {
            read = Read::Pending;
        } else {
            read = Read::Failed;
            readError = ::GetLastError();
        }
    }

    // Hands over what the read brought, a message or the lost connection, and starts
    // the next read before the handler runs, whose modal loops go on reading. False
    // when there was nothing to hand over.
    bool Deliver() {
        while (connected && read == Read::Pending) {
            if (::WaitForSingleObject(readEvent.Get(), 0) != WAIT_OBJECT_0)
                return false;
            // Done once its event is set; waiting lets Wine finish the result.
            DWORD got = 0;
            if (::GetOverlappedResult(pipe.Get(), &readOv, &got, TRUE)) {
                std::string message(buffer.get(), got);
                Issue();
                handlers.Message(message);
                // The handler may have closed the channel: nothing more here.
                return true;
            }
            readError = ::GetLastError();
            read = Read::Failed;
            // A Send that timed out cancelled it with its write: read again.
            if (readError == ERROR_OPERATION_ABORTED)
                Issue();
        }
        if (!connected || read != Read::Failed)
            return false;
        // A message over the limit breaks the protocol; the connection goes.
        if (readError == ERROR_MORE_DATA)
            WriteLog(kOverLimit);
        connected = false;
        read = Read::None;
        ::KillTimer(window, kPollTimer);
        handlers.State(false);
        return true;
    }

    void Wait() {
        if (!connected) {
            ::WaitMessage();
            return;
        }
        if (read == Read::Pending && ::WaitForSingleObject(readEvent.Get(), 0) != WAIT_OBJECT_0) {
            // Our own wait serves the read: no poll meanwhile. Armed again before
            // anything is handed over, for the loops a handler may run.
            ::KillTimer(window, kPollTimer);
            HANDLE event = readEvent.Get();
            const DWORD which =
                ::MsgWaitForMultipleObjectsEx(1, &event, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            ::SetTimer(window, kPollTimer, kPipePollMs, nullptr);
            if (which != WAIT_OBJECT_0)
                return;
        }
        // All that has come, before the thread paints again: a dialog's changes come
        // as a run of messages.
        while (Deliver()) {
        }
    }

    // Ends the read (CancelIo: this thread started it, and XP has nothing finer) and
    // closes everything; nothing more is delivered.
    void End() {
        if (read == Read::Pending) {
            DWORD got = 0;
            ::CancelIo(pipe.Get());
            ::GetOverlappedResult(pipe.Get(), &readOv, &got, TRUE);
        }
        read = Read::None;
        connected = false;
        if (window) {
            ::DestroyWindow(window);
            window = nullptr;
        }
        pipe.Reset();
        readEvent.Reset();
        writeEvent.Reset();
        buffer.reset();
    }

    // Message-only, as the server's: its timer is served by every modal loop.
    bool MakeWindow() {
        window = MakeMessageWindow(kClientWindowClass, WindowProc, this);
        return window != nullptr;
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<Impl *>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (!self || msg != WM_TIMER || wParam != kPollTimer)
            return ::DefWindowProcA(hwnd, msg, wParam, lParam);
        // All that has come; a handler that closes the channel ends the round.
        while (self->Deliver()) {
        }
        return 0;
    }
};

PipeClient::PipeClient() : m_impl(new Impl) {}
PipeClient::~PipeClient() = default;

BOOL PipeClient::Connect(const std::string &name, PipeHandler onMessage,
                         PipeStateHandler onState, void *context, DWORD timeoutMs) {
    if (m_impl->pipe || !m_impl->Open(name, timeoutMs))
        return FALSE;
    return m_impl->Begin(onMessage, onState, context);
}

BOOL PipeClient::Send(const std::string &message) {
    return m_impl->connected && message.size() <= kPipeMessageMax &&
           WriteMessage(m_impl->pipe.Get(), m_impl->writeEvent.Get(), message);
}

bool PipeClient::Connected() const {
    return m_impl->connected;
}

void PipeClient::WaitForInput() {
    m_impl->Wait();
}

BOOL PipeClient::ServerProcessId(DWORD &processId) const {
    static const PipeIdFn serverId = KernelFunction<PipeIdFn>("GetNamedPipeServerProcessId");
    ULONG value = 0;
    if (!m_impl->connected || !serverId || !serverId(m_impl->pipe.Get(), &value))
        return FALSE;
    processId = value;
    return TRUE;
}

namespace {

// The user of a process's token, when this process may read it.
bool TokenUserOf(DWORD processId, std::unique_ptr<BYTE[]> &user) {
    const DWORD kQueryLimited = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION, Vista on
    Handle process(::OpenProcess(kQueryLimited, FALSE, processId));
    Handle token;
    HANDLE raw = nullptr;
    if (!process || !::OpenProcessToken(process.Get(), TOKEN_QUERY, &raw))
        return false;
    token.Reset(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER))
        return false;
    user.reset(new BYTE[size]);
    return ::GetTokenInformation(token.Get(), TokenUser, user.get(), size, &size) != FALSE;
}

PSID SidOf(const std::unique_ptr<BYTE[]> &user) {
    return reinterpret_cast<TOKEN_USER *>(user.get())->User.Sid;
}

// The process the service manager runs our service in; 0 when it runs none.
DWORD ServiceProcessId() {
    static const auto query = LookupAdvapi<QueryServiceExFn>("QueryServiceStatusEx");
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? ::OpenServiceA(manager, kServiceName, SERVICE_QUERY_STATUS) : nullptr;
    SERVICE_STATUS_PROCESS status;
    memset(&status, 0, sizeof status);
    DWORD needed = 0;
    const bool ok = query && service &&
                    query(service, 0 /* SC_STATUS_PROCESS_INFO */, reinterpret_cast<LPBYTE>(&status),
                          sizeof status, &needed) &&
                    status.dwCurrentState != SERVICE_STOPPED;
    if (service)
        ::CloseServiceHandle(service);
    if (manager)
        ::CloseServiceHandle(manager);
    return ok ? status.dwProcessId : 0;
}

} // namespace

PipeServerFacts PipeClient::ServerFacts() const {
    PipeServerFacts facts;
    static const PipeIdFn serverId = KernelFunction<PipeIdFn>("GetNamedPipeServerProcessId");
    static const PipeIdFn serverSession = KernelFunction<PipeIdFn>("GetNamedPipeServerSessionId");
    static const SessionOfFn sessionOf = KernelFunction<SessionOfFn>("ProcessIdToSessionId");
    facts.canAsk = serverId != nullptr;
    ULONG pid = 0, session = 0;
    if (!facts.canAsk || !m_impl->connected || !serverId(m_impl->pipe.Get(), &pid))
        return facts;
    DWORD dwSession = 0;
    if (serverSession && serverSession(m_impl->pipe.Get(), &session)) {
        facts.sessionKnown = true;
        facts.sessionId = session;
    } else if (sessionOf && sessionOf(pid, &dwSession)) {
        facts.sessionKnown = true;
        facts.sessionId = dwSession;
    }
    std::unique_ptr<BYTE[]> user, services;
    facts.userKnown = TokenUserOf(pid, user);
    SID system;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    system.Revision = SID_REVISION;
    system.SubAuthorityCount = 1;
    system.IdentifierAuthority = nt;
    system.SubAuthority[0] = SECURITY_LOCAL_SYSTEM_RID;
    facts.userIsSystem = facts.userKnown && ::EqualSid(SidOf(user), &system);

    const DWORD service = ServiceProcessId();
    if (service && sessionOf && sessionOf(service, &dwSession)) {
        facts.servicesSessionKnown = true;
        facts.servicesSessionId = dwSession;
    }
    facts.userIsServices = facts.userKnown && service && TokenUserOf(service, services) &&
                           ::EqualSid(SidOf(user), SidOf(services));
    return facts;
}

void PipeClient::Close() {
    m_impl->End();
}

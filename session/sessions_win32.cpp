#include <windows.h>

#include <cstring>
#include <vector>

#include "session/sessions.h"

namespace {

// GetProcAddress through void (*)(): GCC accepts that as the generic function
// pointer type.
template <typename Fn> Fn Lookup(HMODULE library, const char *name) {
    if (!library)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

// A library the program links (kernel32, user32, advapi32): loaded already.
template <typename Fn> Fn LookupLinked(const char *library, const char *name) {
    return Lookup<Fn>(::GetModuleHandleA(library), name);
}

// wtsapi32.dll and userenv.dll are loaded on first use and kept: in session 0 mode
// the console session is asked at every tick.
HMODULE Wtsapi() {
    static HMODULE library = ::LoadLibraryA("wtsapi32.dll");
    return library;
}

struct KernelHandleCloser {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using KernelHandle = UniqueHandle<HANDLE, KernelHandleCloser>;

// wtsapi32's types, spelled out: the headers offer them to Vista and later only.
const int kWtsUserName = 5;       // WTSUserName
const int kWtsConnectState = 8;   // WTSConnectState
const int kWtsSessionInfoEx = 25; // WTSSessionInfoEx, Windows 7 on
const int kWtsActive = 0;         // WTSActive
const LONG kWtsSessionStateLock = 0;
const LONG kWtsSessionStateUnlock = 1;

struct WtsInfoExLevel1A { // WTSINFOEX_LEVEL1_A
    ULONG SessionId;
    int SessionState;
    LONG SessionFlags;
    CHAR WinStationName[33];
    CHAR UserName[21];
    CHAR DomainName[18];
    LARGE_INTEGER LogonTime, ConnectTime, DisconnectTime, LastInputTime, CurrentTime;
    DWORD IncomingBytes, OutgoingBytes, IncomingFrames, OutgoingFrames;
    DWORD IncomingCompressedBytes, OutgoingCompressedBytes;
};
struct WtsInfoExA { // WTSINFOEXA
    DWORD Level;
    union {
        WtsInfoExLevel1A WTSInfoExLevel1;
    } Data;
};

typedef BOOL(WINAPI *WTSQuerySessionInformationAFn)(HANDLE server, DWORD sessionId, int infoClass,
                                                    LPSTR *buffer, DWORD *bytes);
typedef void(WINAPI *WTSFreeMemoryFn)(PVOID memory);
struct WtsSessionInfoA { // WTS_SESSION_INFOA
    DWORD SessionId;
    LPSTR pWinStationName;
    int State;
};
typedef BOOL(WINAPI *WTSEnumerateSessionsAFn)(HANDLE server, DWORD reserved, DWORD version,
                                              WtsSessionInfoA **sessions, DWORD *count);

// The wtsapi32 calls of every tick, looked up once.
struct WtsQuery {
    WTSQuerySessionInformationAFn query =
        Lookup<WTSQuerySessionInformationAFn>(Wtsapi(), "WTSQuerySessionInformationA");
    WTSFreeMemoryFn release = Lookup<WTSFreeMemoryFn>(Wtsapi(), "WTSFreeMemory");
    WTSEnumerateSessionsAFn list = Lookup<WTSEnumerateSessionsAFn>(Wtsapi(), "WTSEnumerateSessionsA");
};
const WtsQuery &Wts() {
    static const WtsQuery calls;
    return calls;
}

// One WTSQuerySessionInformationA answer, freed with WTSFreeMemory.
class SessionInfo {
public:
    SessionInfo(DWORD sessionId, int infoClass) {
        if (!Wts().query || !Wts().release ||
            !Wts().query(nullptr, sessionId, infoClass, &m_buffer, &m_bytes))
            m_buffer = nullptr;
    }
    ~SessionInfo() {
        if (m_buffer)
            Wts().release(m_buffer);
    }
    SessionInfo(const SessionInfo &) = delete;
    SessionInfo &operator=(const SessionInfo &) = delete;

    // The answer when it holds at least one T, else nullptr.
    template <typename T> const T *As() const {
        return m_buffer && m_bytes >= sizeof(T) ? reinterpret_cast<const T *>(m_buffer) : nullptr;
    }
    // A text answer, bounded by the bytes returned.
    std::string Text() const {
        return m_buffer ? std::string(m_buffer, strnlen(m_buffer, m_bytes)) : std::string();
    }

private:
    LPSTR m_buffer = nullptr;
    DWORD m_bytes = 0;
};

// Windows 7 and Server 2008 R2 report the lock flag the other way round.
bool LockFlagReversed() {
    static const bool reversed = [] {
        OSVERSIONINFOA info;
        memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        const BOOL ok = ::GetVersionExA(&info);
#pragma GCC diagnostic pop
        return ok && info.dwMajorVersion == 6 && info.dwMinorVersion == 1;
    }();
    return reversed;
}

// The lock flag of WTSSessionInfoEx; unlocked where that is missing (before Windows 7).
bool SessionLocked(DWORD sessionId) {
    const SessionInfo ex(sessionId, kWtsSessionInfoEx);
    const WtsInfoExA *info = ex.As<WtsInfoExA>();
    if (!info || info->Level != 1)
        return false;
    const LONG lockedFlag = LockFlagReversed() ? kWtsSessionStateUnlock : kWtsSessionStateLock;
    return info->Data.WTSInfoExLevel1.SessionFlags == lockedFlag;
}

} // namespace

void QueryWorldFacts(WorldFacts &facts) {
    facts = WorldFacts();
    typedef HWINSTA(WINAPI * GetProcessWindowStationFn)();
    typedef BOOL(WINAPI * GetUserObjectInformationAFn)(HANDLE, int, PVOID, DWORD, LPDWORD);
    const auto station =
        LookupLinked<GetProcessWindowStationFn>("user32.dll", "GetProcessWindowStation");
    const auto info =
        LookupLinked<GetUserObjectInformationAFn>("user32.dll", "GetUserObjectInformationA");
    USEROBJECTFLAGS flags;
    memset(&flags, 0, sizeof flags);
    DWORD needed = 0;
    if (station && info) {
        if (HWINSTA ours = station())
            facts.stationKnown = info(ours, UOI_FLAGS, &flags, sizeof flags, &needed) != FALSE;
    }
    facts.stationVisible = facts.stationKnown && (flags.dwFlags & WSF_VISIBLE) != 0;

    typedef BOOL(WINAPI * ProcessIdToSessionIdFn)(DWORD, DWORD *);
    typedef DWORD(WINAPI * WTSGetActiveConsoleSessionIdFn)();
    const auto toSession =
        LookupLinked<ProcessIdToSessionIdFn>("kernel32.dll", "ProcessIdToSessionId");
    const auto console = LookupLinked<WTSGetActiveConsoleSessionIdFn>(
        "kernel32.dll", "WTSGetActiveConsoleSessionId");
    if (toSession && console && toSession(::GetCurrentProcessId(), &facts.processSession)) {
        facts.consoleSession = console();
        facts.sessionsKnown = true;
    }
}

bool QueryConsoleSession(ConsoleSessionState &state) {
    state = ConsoleSessionState();
    typedef DWORD(WINAPI * WTSGetActiveConsoleSessionIdFn)();
    const auto console = LookupLinked<WTSGetActiveConsoleSessionIdFn>(
        "kernel32.dll", "WTSGetActiveConsoleSessionId");
    if (!console || !Wtsapi())
        return false;
    state.sessionId = console();
    if (state.sessionId == kNoConsoleSession)
        return true;

    state.userName = SessionInfo(state.sessionId, kWtsUserName).Text();

    // Wine answers the user name but not the connect state.
    const SessionInfo connect(state.sessionId, kWtsConnectState);
    const int *connectState = connect.As<int>();
    state.connected = connectState ? *connectState == kWtsActive : state.HasUser();

    state.locked = SessionLocked(state.sessionId);
    return true;
}

bool ListSessions(std::vector<ConsoleSessionState> &sessions) {
    sessions.clear();
    WtsSessionInfoA *listed = nullptr;
    DWORD count = 0;
    if (!Wts().list || !Wts().release || !Wts().list(nullptr, 0, 1, &listed, &count))
        return false;
    for (DWORD i = 0; i < count; ++i) {
        ConsoleSessionState state;
        state.sessionId = listed[i].SessionId;
        state.connected = listed[i].State == kWtsActive;
        // Only an active session's user counts: the others are not asked.
        if (state.connected) {
            state.userName = SessionInfo(state.sessionId, kWtsUserName).Text();
            state.locked = SessionLocked(state.sessionId);
        }
        sessions.push_back(std::move(state));
    }
    if (listed)
        Wts().release(listed);
    return true;
}

void CloseAgentHandle(HANDLE handle) {
    ::CloseHandle(handle);
}

bool StartAgentProcess(DWORD sessionId, const std::string &exePath, const std::string &pipeName,
                       AgentProcess &out) {
    typedef BOOL(WINAPI * WTSQueryUserTokenFn)(ULONG, PHANDLE);
    typedef BOOL(WINAPI * DuplicateTokenExFn)(HANDLE, DWORD, LPSECURITY_ATTRIBUTES,
                                              SECURITY_IMPERSONATION_LEVEL, TOKEN_TYPE, PHANDLE);
    typedef BOOL(WINAPI * CreateProcessAsUserAFn)(HANDLE, LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES,
                                                  LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                                  LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION);
    typedef BOOL(WINAPI * CreateEnvironmentBlockFn)(LPVOID *, HANDLE, BOOL);
    typedef BOOL(WINAPI * DestroyEnvironmentBlockFn)(LPVOID);

    const auto userToken = Lookup<WTSQueryUserTokenFn>(Wtsapi(), "WTSQueryUserToken");
    const auto duplicate = LookupLinked<DuplicateTokenExFn>("advapi32.dll", "DuplicateTokenEx");
    const auto create =
        LookupLinked<CreateProcessAsUserAFn>("advapi32.dll", "CreateProcessAsUserA");
    if (!userToken || !duplicate || !create)
        return false;
    KernelHandle token, primary;
    if (!userToken(sessionId, token.Put()) ||
        !duplicate(token.Get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary,
                   primary.Put()))
        return false;

    // The user's own environment (TEMP, USERPROFILE, ...); without userenv.dll, ours.
    static HMODULE userenv = ::LoadLibraryA("userenv.dll");
    const auto makeEnvironment =
        Lookup<CreateEnvironmentBlockFn>(userenv, "CreateEnvironmentBlock");
    const auto destroyEnvironment =
        Lookup<DestroyEnvironmentBlockFn>(userenv, "DestroyEnvironmentBlock");
    void *environment = nullptr;
    if (!makeEnvironment || !destroyEnvironment ||
        !makeEnvironment(&environment, primary.Get(), FALSE))
        environment = nullptr;

    const std::string line = "\"" + exePath + "\" /agent " + pipeName;
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    char desktop[] = "winsta0\\default";
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.lpDesktop = desktop;
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    // Suspended: the pipe learns whom to expect before the agent can first try it.
    const DWORD flags = NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED |
                        (environment ? CREATE_UNICODE_ENVIRONMENT : 0);
    const BOOL started = create(primary.Get(), exePath.c_str(), commandLine.data(), nullptr,
                                nullptr, FALSE, flags, environment, nullptr, &si, &pi);
    const DWORD error = ::GetLastError();
    if (environment)
        destroyEnvironment(environment);
    if (!started) {
        ::SetLastError(error);
        return false;
    }
    out.thread.Reset(pi.hThread);
    out.process.Reset(pi.hProcess);
    out.processId = pi.dwProcessId;
    out.sessionId = sessionId;
    return true;
}

bool ResumeAgentProcess(AgentProcess &agent) {
    const bool resumed = agent.thread && ::ResumeThread(agent.thread.Get()) != DWORD(-1);
    agent.thread.Reset();
    return resumed;
}

void EndAgentProcess(const AgentProcess &agent) {
    if (agent.process)
        ::TerminateProcess(agent.process.Get(), 1);
}

bool AgentProcessAlive(const AgentProcess &agent) {
    return agent.process && ::WaitForSingleObject(agent.process.Get(), 0) == WAIT_TIMEOUT;
}

namespace {
BOOL InitiateShutdown(BOOL restart, DWORD timeoutSeconds, BOOL force, DWORD &error) {
    typedef BOOL(WINAPI * InitiateSystemShutdownExAFn)(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD);
    const auto initiate =
        LookupLinked<InitiateSystemShutdownExAFn>("advapi32.dll", "InitiateSystemShutdownExA");
    if (!initiate) {
        error = ERROR_CALL_NOT_IMPLEMENTED;
        return FALSE;
    }
    const DWORD reason =
        SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED;
    if (initiate(nullptr, nullptr, timeoutSeconds, force, restart, reason))
        return TRUE;
    error = ::GetLastError();
    return FALSE;
}
} // namespace

BOOL RequestSystemShutdown(BOOL restart, DWORD &error) {
    return InitiateShutdown(restart, 0, TRUE, error);
}

BOOL RequestSystemShutdownNotice(BOOL restart, DWORD timeoutSeconds, DWORD &error) {
    return InitiateShutdown(restart, timeoutSeconds, FALSE, error);
}

BOOL AbortScheduledShutdown() {
    typedef BOOL(WINAPI * AbortSystemShutdownAFn)(LPSTR);
    const auto abort = LookupLinked<AbortSystemShutdownAFn>("advapi32.dll", "AbortSystemShutdownA");
    return abort && abort(nullptr);
}

BOOL LogOffConsoleSession() {
    typedef DWORD(WINAPI * ConsoleSessionFn)();
    const auto console =
        LookupLinked<ConsoleSessionFn>("kernel32.dll", "WTSGetActiveConsoleSessionId");
    if (!console)
        return FALSE;
    const DWORD session = console();
    return session != 0xFFFFFFFF && LogOffSession(session);
}

BOOL LogOffSession(DWORD sessionId) {
    typedef BOOL(WINAPI * WTSLogoffSessionFn)(HANDLE, DWORD, BOOL);
    const auto logoff = Lookup<WTSLogoffSessionFn>(Wtsapi(), "WTSLogoffSession");
    // No wait: the scheduler's tick must not hang on a session that ends slowly.
    return logoff && logoff(nullptr, sessionId, FALSE);
}

// The sessions of today's Windows: which world the scheduler runs in, who sits at
// the console, the agent started in the user's session, and the shut-down request a
// service makes. The raw calls (the seam) are implemented in sessions_win32.cpp on
// Windows and in tests/support/session_fake.cpp for the native tests, scripted
// through tests/support/fake_session.h; the decisions (sessions.cpp) are portable.
// Every function that not all of Windows 95 to XP has is looked up at run time, so
// vespra.exe keeps loading there.
#pragma once

#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "framework/win32_types.h"

// ---- Which world

// The facts the world decision rests on, as the system answered them.
struct WorldFacts {
    // GetProcessWindowStation and GetUserObjectInformationA(UOI_FLAGS) answered.
    bool stationKnown = false;
    bool stationVisible = false; // WSF_VISIBLE in the station's flags
    // ProcessIdToSessionId(GetCurrentProcessId()) and WTSGetActiveConsoleSessionId
    // both exist (not on 95/98/Me, NT4, 2000) and answered.
    bool sessionsKnown = false;
    DWORD processSession = 0;
    DWORD consoleSession = 0;
};

// Seam: gathers the facts above; what can't be asked stays false.
void QueryWorldFacts(WorldFacts &facts);

// Session 0 mode: the user can't see our windows, because our window station is
// invisible or our session is not the active console session. What is unknown
// decides nothing, so a system without sessions or window stations is the first
// world, where everything stays as it always was.
bool DecideSessionZeroMode(const WorldFacts &facts);
// The decision on this process's own facts. Asked once, at start.
bool IsSessionZeroMode();

// ---- Who sits at the console

constexpr DWORD kNoConsoleSession = 0xFFFFFFFF;

struct ConsoleSessionState {
    DWORD sessionId = kNoConsoleSession; // WTSGetActiveConsoleSessionId
    std::string userName;                // WTSUserName; empty: nobody logged on there
    bool connected = false; // WTSConnectState == WTSActive (user name answered where that isn't)
    bool locked = false;    // WTSSessionInfoEx's lock flag, where it exists (Windows 7 on)
    bool HasUser() const { return !userName.empty(); }
};

// Seam: the active console session's state. False, with the state left as "no
// console session", when it can't be asked (no WTSGetActiveConsoleSessionId, no
// wtsapi32.dll); a session with no user answered is a state, not a failure.
bool QueryConsoleSession(ConsoleSessionState &state);

// Seam: the sessions WTSEnumerateSessionsA lists, in its order, each as its state:
// connected for WTSActive, and for those the user name and lock flag as above.
// False, the list left empty, when it can't be asked or fails. Wine's stub lists
// none, and that is no proof of nobody either.
bool ListSessions(std::vector<ConsoleSessionState> &sessions);

// ---- The agent in the user's session

// Seam: CloseHandle for the agent's process handle.
void CloseAgentHandle(HANDLE handle);
struct AgentHandleCloser {
    void operator()(HANDLE h) const { CloseAgentHandle(h); }
};
using AgentHandle = UniqueHandle<HANDLE, AgentHandleCloser>;

struct AgentProcess {
    AgentHandle process; // empty: none started
    AgentHandle thread;  // its first thread while it waits, suspended, to be resumed
    DWORD processId = 0;
    DWORD sessionId = kNoConsoleSession;
};

// Seam: starts "\"<exePath>\" /agent <pipeName>" suspended in session sessionId as
// its user: WTSQueryUserToken (needs LocalSystem), DuplicateTokenEx to a primary
// token, the user's environment from CreateEnvironmentBlock (our own when that
// fails), CreateProcessAsUserA on "winsta0\default" with CREATE_SUSPENDED. False, out
// untouched, when any step fails, the last error saying why; the agent is then
// simply tried again later.
bool StartAgentProcess(DWORD sessionId, const std::string &exePath, const std::string &pipeName,
                       AgentProcess &out);
// Seam: ResumeThread on the started agent's thread, whose handle is then let go.
bool ResumeAgentProcess(AgentProcess &agent);
// Seam: TerminateProcess, for an agent that broke the protocol or can't be resumed.
void EndAgentProcess(const AgentProcess &agent);
// Seam: the process has not ended (WaitForSingleObject(process, 0) times out).
bool AgentProcessAlive(const AgentProcess &agent);

// ---- The forced request

#ifndef _WIN32
#define ERROR_SHUTDOWN_IN_PROGRESS 1115L
#endif

// Seam: InitiateSystemShutdownExA(this computer, no message, timeout 0, force,
// restart, planned "other" reason), looked up in advapi32.dll at run time. On
// failure error receives GetLastError() (ERROR_CALL_NOT_IMPLEMENTED when the
// function is missing). The caller holds SeShutdownPrivilege enabled.
BOOL RequestSystemShutdown(BOOL restart, DWORD &error);

// Seam: the polite request from session 0 when no user is at the console:
// InitiateSystemShutdownExA(this computer, no message, timeoutSeconds, no force,
// restart, planned "other" reason). Windows shows its own notice of the time-out in
// every session, then asks the programs to close as a user's shut-down does.
BOOL RequestSystemShutdownNotice(BOOL restart, DWORD timeoutSeconds, DWORD &error);

// Seam: AbortSystemShutdownA(this computer), looked up in advapi32.dll at run time:
// cancels a shut-down that someone scheduled with a time-out ("shutdown /s /t N"),
// which would otherwise refuse ours. The caller holds SeShutdownPrivilege enabled.
BOOL AbortScheduledShutdown();
// Seam: WTSLogoffSession(this server, the active console session, no wait), looked
// up in wtsapi32.dll at run time: ends the console user's session and the programs
// in it that hold a shut-down up. FALSE when missing, no console session, or failed.
BOOL LogOffConsoleSession();
// Seam: WTSLogoffSession(this server, sessionId, no wait), looked up in wtsapi32.dll
// at run time. FALSE when missing or failed.
BOOL LogOffSession(DWORD sessionId);

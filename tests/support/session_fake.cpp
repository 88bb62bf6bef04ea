// The native stand-in for the session calls: scripted answers and a record.
#include <cstdint>

#include "framework/clock.h"
#include "system/service_calls.h"
#include "tests/support/fake_session.h"

namespace fake {
namespace {
Session g_session;
}
Session &Sess() {
    return g_session;
}
void ResetSession() {
    g_session = Session();
}
ConsoleSessionState UserAt(DWORD sessionId, const std::string &user, bool locked) {
    return {sessionId, user, true, locked};
}
DWORD PendingShutdownError() {
    // Our own request with a notice is pending until its time-out ends, then under way.
    const bool noticePending = g_session.noticeDue && ClockNow() < g_session.noticeDue;
    if (g_session.scheduledByOther || noticePending)
        return 1190; // ERROR_SHUTDOWN_IS_SCHEDULED
    return g_session.heldUp ? DWORD(ERROR_SHUTDOWN_IN_PROGRESS) : 0;
}
} // namespace fake

using fake::g_session;

void QueryWorldFacts(WorldFacts &facts) {
    facts = g_session.world;
}

bool QueryConsoleSession(ConsoleSessionState &state) {
    state = g_session.consoleQueryFails ? ConsoleSessionState() : g_session.console;
    return !g_session.consoleQueryFails;
}

bool ListSessions(std::vector<ConsoleSessionState> &sessions) {
    sessions.clear();
    // The console can't be asked only without wtsapi32.dll, and then neither can this.
    if (g_session.consoleQueryFails)
        return false;
    if (g_session.listing != fake::Session::Listing::Windows)
        return g_session.listing == fake::Session::Listing::Nothing;
    // Only an active session's user is asked for.
    sessions.push_back({0, "", false, false});
    if (g_session.console.sessionId != kNoConsoleSession)
        sessions.push_back(g_session.console);
    for (const ConsoleSessionState &s : g_session.remote)
        sessions.push_back(s.connected ? s : ConsoleSessionState{s.sessionId, "", false, false});
    return true;
}

void CloseAgentHandle(HANDLE) {
    --g_session.openAgentHandles;
}

bool StartAgentProcess(DWORD sessionId, const std::string &exePath, const std::string &pipeName,
                       AgentProcess &out) {
    g_session.agentStarts.emplace_back(sessionId, exePath);
    g_session.agentPipes.push_back(pipeName);
    if (g_session.agentStartFails) {
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return false;
    }
    g_session.openAgentHandles += 2;
    out.processId = DWORD(499 + g_session.agentStarts.size());
    out.process.Reset(reinterpret_cast<HANDLE>(uintptr_t(out.processId)));
    out.thread.Reset(reinterpret_cast<HANDLE>(uintptr_t(out.processId) + 1));
    out.sessionId = sessionId;
    g_session.suspendedAgents.insert(out.processId);
    return true;
}

bool ResumeAgentProcess(AgentProcess &agent) {
    const bool resumed = agent.thread && !g_session.resumeFails;
    if (resumed)
        g_session.suspendedAgents.erase(agent.processId);
    agent.thread.Reset();
    return resumed;
}

void EndAgentProcess(const AgentProcess &agent) {
    if (agent.process)
        g_session.endedAgents.insert(agent.processId);
}

bool AgentProcessAlive(const AgentProcess &agent) {
    return agent.process && !g_session.endedAgents.count(agent.processId);
}

BOOL RequestSystemShutdown(BOOL restart, DWORD &error) {
    g_session.shutdownRequests.push_back(restart);
    error = g_session.shutdownFails ? g_session.shutdownError : fake::PendingShutdownError();
    return error == 0;
}

BOOL RequestSystemShutdownNotice(BOOL, DWORD timeoutSeconds, DWORD &error) {
    g_session.noticeRequests.push_back(timeoutSeconds);
    error = g_session.shutdownFails ? g_session.shutdownError : fake::PendingShutdownError();
    if (error)
        return FALSE;
    g_session.noticeDue = ClockNow() + time_t(timeoutSeconds);
    return TRUE;
}

BOOL AbortScheduledShutdown() {
    ++g_session.aborts;
    const bool pending =
        g_session.scheduledByOther || (g_session.noticeDue && ClockNow() < g_session.noticeDue);
    g_session.scheduledByOther = false;
    g_session.noticeDue = 0;
    return pending;
}

BOOL LogOffSession(DWORD sessionId) {
    // The programs that held the shut-down up end with the session.
    if (sessionId == g_session.console.sessionId && sessionId != kNoConsoleSession) {
        g_session.heldUp = false;
        ++g_session.consoleLogoffs;
        g_session.console = ConsoleSessionState();
        return TRUE;
    }
    for (auto it = g_session.remote.begin(); it != g_session.remote.end(); ++it)
        if (it->sessionId == sessionId) {
            g_session.heldUp = false;
            g_session.remote.erase(it);
            return TRUE;
        }
    return FALSE;
}

BOOL LogOffConsoleSession() {
    return LogOffSession(g_session.console.sessionId);
}

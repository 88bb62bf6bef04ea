// The native stand-in for the session calls: scripted answers and a record.
#include <cstdint>

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
    if (g_session.scheduledByOther)
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

void CloseAgentHandle(HANDLE) {
    --g_session.openAgentHandles;
}

bool StartAgentProcess(DWORD sessionId, const std::string &exePath, const std::string &pipeName,
                       AgentProcess &out) {
    g_session.agentStarts.emplace_back(sessionId, exePath);
    g_session.agentPipes.push_back(pipeName);
    if (g_session.agentStartFails)
        return false;
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

BOOL AbortScheduledShutdown() {
    ++g_session.aborts;
    const bool pending = g_session.scheduledByOther;
    g_session.scheduledByOther = false;
    return pending;
}

BOOL LogOffConsoleSession() {
    ++g_session.consoleLogoffs;
    // The programs that held the shut-down up end with the session.
    g_session.heldUp = false;
    g_session.console = ConsoleSessionState();
    return TRUE;
}

#include <memory>

#include "framework/clock.h"
#include "session/agent.h"
#include "tests/support/fake_agent.h"

namespace {
fake::AgentHost g_state;
std::unique_ptr<SessionWatch> g_watch;
} // namespace

fake::AgentHost &fake::Host() {
    return g_state;
}

void fake::ResetAgentHost() {
    g_state = AgentHost{};
    g_watch.reset();
}

BOOL RunAgent(const std::string &) {
    return FALSE;
}

BOOL StartSessionZeroMode() {
    if (g_watch || !IsSessionZeroMode())
        return FALSE;
    g_watch = std::make_unique<SessionWatch>("vespra.exe");
    SessionZeroTick();
    return TRUE;
}

BOOL InSessionZeroMode() {
    return g_watch ? TRUE : FALSE;
}

SessionEvents SessionZeroTick() {
    return g_watch ? g_watch->Tick(ClockNow()) : SessionEvents{};
}

bool SessionZeroAgentShowing() {
    return g_watch && g_state.agentConnected && g_watch->AgentRunning() &&
           !g_watch->Seats()[0].state.locked;
}

bool SessionZeroUserThere() {
    return g_watch && g_watch->UserIsThere();
}

bool SessionZeroConsoleUser() {
    return g_watch && g_watch->ConsoleUserThere();
}

BOOL RequestShutdownAsUser(UINT flags) {
    if (!g_watch || !g_state.agentConnected || !g_watch->ConsoleUserThere() ||
        !g_watch->AgentRunning())
        return FALSE;
    g_state.politeRequests.push_back(flags);
    return TRUE;
}

BOOL LogOffSessionZeroUsers() {
    return g_watch && g_watch->LogOffUsers();
}

BOOL StartSettingsAsUser() {
    if (!g_watch || !g_state.agentConnected || !g_watch->AgentRunning())
        return FALSE;
    ++g_state.settingsStarts;
    return TRUE;
}

void StopSessionZeroMode() {
    g_watch.reset();
}

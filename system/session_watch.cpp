#include "system/session_watch.h"

#include <utility>

SessionEvents SessionWatch::Observe(const ConsoleSessionState &state) {
    SessionEvents events;
    const bool moved = state.sessionId != m_state.sessionId || state.userName != m_state.userName;
    const bool had = m_started && Present(m_state);
    const bool has = Present(state);
    if (m_started) {
        events.logOff = had && (!has || moved);
        events.logOn = has && (!had || moved);
        if (events.logOn)
            events.lock = state.locked;
        else if (had && has && state.locked != m_state.locked)
            (state.locked ? events.lock : events.unlock) = true;
    }
    if (moved) {
        // Another session or user: the agent we know of belongs to someone else,
        // and the new one's may start at once.
        m_agent = AgentProcess();
        m_attempted = false;
    }
    m_started = true;
    m_state = state;
    return events;
}

bool SessionWatch::UserIsThere() const {
    return Present(m_state) && !m_state.locked;
}

bool SessionWatch::WantsAgentStart(time_t now) const {
    if (!m_state.HasUser() || m_agent.process)
        return false;
    // A clock set back also lets it through, rather than waiting out the difference.
    return !m_attempted || now - m_lastAttempt >= m_retrySeconds || now < m_lastAttempt;
}

void SessionWatch::KeepAgent(time_t now) {
    if (m_agent.process && !AgentProcessAlive(m_agent)) {
        // It ended by itself (or was ended): the next one waits from now.
        m_agent = AgentProcess();
        m_attempted = true;
        m_lastAttempt = now;
        m_retrySeconds = kAgentRetrySeconds;
    }
    if (!WantsAgentStart(now))
        return;
    m_attempted = true;
    m_lastAttempt = now;
    m_retrySeconds = kAgentStartRetrySeconds;
    if (!StartAgentProcess(m_state.sessionId, m_agentExe, m_pipeName, m_agent))
        return;
    m_retrySeconds = kAgentRetrySeconds;
    if (m_onStarting)
        m_onStarting(m_context, m_agent);
    if (!ResumeAgentProcess(m_agent)) {
        EndAgentProcess(m_agent);
        m_agent = AgentProcess();
    }
}

void SessionWatch::EndAgent(time_t now) {
    if (m_agent.process)
        EndAgentProcess(m_agent);
    m_agent = AgentProcess();
    m_attempted = true;
    m_lastAttempt = now;
    m_retrySeconds = kAgentRetrySeconds;
}

const ConsoleSessionState &SessionWatch::Settle(const ConsoleSessionState &state, time_t now) {
    if (state.sessionId != kNoConsoleSession || !m_started) {
        m_consoleUnknown = false;
        return state;
    }
    if (!m_consoleUnknown) {
        m_consoleUnknown = true;
        m_unknownSince = now;
    }
    // A clock set back counts as the wait being over.
    const bool waited = now - m_unknownSince >= kUnknownConsoleSeconds || now < m_unknownSince;
    return waited ? state : m_state;
}

SessionEvents SessionWatch::Tick(time_t now) {
    // A failed query proves nobody; a console without a session may be a switch.
    const bool answered = QueryConsoleSession(m_next);
    if (!answered)
        m_next = ConsoleSessionState();
    // A copy: Settle may answer with m_state itself, which Observe replaces.
    const ConsoleSessionState settled = answered ? Settle(m_next, now) : m_next;
    const SessionEvents events = Observe(settled);
    KeepAgent(now);
    return events;
}

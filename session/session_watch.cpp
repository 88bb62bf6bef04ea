#include "session/session_watch.h"

#include "system/event_log.h"
#include "system/service_calls.h"

#include <utility>

SessionWatch::Seat SessionWatch::Take(const ConsoleSessionState &state, bool console) {
    for (Seat &seat : m_previous) {
        // Another user in the same session is someone else: their agent is not ours.
        if (seat.state.sessionId == state.sessionId && seat.state.userName == state.userName) {
            Seat kept = std::move(seat);
            seat.state.sessionId = kNoConsoleSession; // taken
            kept.state = state;
            kept.console = console;
            return kept;
        }
    }
    Seat fresh;
    fresh.state = state;
    fresh.console = console;
    return fresh;
}

SessionEvents SessionWatch::Observe(const ConsoleSessionState &console,
                                    const std::vector<ConsoleSessionState> &listed) {
    m_console = console;
    m_previous.swap(m_seats);
    m_seats.clear();
    if (Present(console))
        m_seats.push_back(Take(console, true));
    for (const ConsoleSessionState &s : listed)
        if (Present(s) && s.sessionId != console.sessionId)
            m_seats.push_back(Take(s, false));
    // With nobody at the console, the remote user who was primary stays so while
    // there: another one connecting is not a log-off.
    for (size_t i = 1; i < m_seats.size() && !m_seats[0].console; ++i)
        if (m_seats[i].state.sessionId == m_state.sessionId &&
            m_seats[i].state.userName == m_state.userName)
            std::swap(m_seats[0], m_seats[i]);
    // The agents of sessions gone are forgotten with their handles.
    m_previous.clear();

    const ConsoleSessionState &state = m_seats.empty() ? console : m_seats[0].state;
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
    m_started = true;
    m_state = state;
    return events;
}

bool SessionWatch::WantsAgentStart(const Seat &seat, time_t now) {
    if (seat.agent.process)
        return false;
    // A clock set back also lets it through, rather than waiting out the difference.
    return !seat.attempted || now - seat.lastAttempt >= seat.retrySeconds || now < seat.lastAttempt;
}

void SessionWatch::KeepAgent(Seat &seat, time_t now) {
    if (seat.agent.process && !AgentProcessAlive(seat.agent)) {
        // It ended by itself (or was ended): the next one waits from now.
        seat.agent = AgentProcess();
        seat.attempted = true;
        seat.lastAttempt = now;
        seat.retrySeconds = kAgentRetrySeconds;
    }
    if (!WantsAgentStart(seat, now))
        return;
    seat.attempted = true;
    seat.lastAttempt = now;
    seat.retrySeconds = kAgentStartRetrySeconds;
    const DWORD session = seat.state.sessionId;
    const std::string pipe = m_pipeFor ? m_pipeFor(m_context, session) : std::string();
    if (m_pipeFor && pipe.empty())
        return;
    if (!StartAgentProcess(session, m_agentExe, pipe, seat.agent)) {
        // Tried again every few seconds: one entry until an agent starts there.
        if (!seat.failureReported)
            ReportAgentNotStarted(session, LastErrorCode());
        seat.failureReported = true;
        return;
    }
    seat.failureReported = false;
    seat.retrySeconds = kAgentRetrySeconds;
    if (m_onStarting)
        m_onStarting(m_context, seat.agent);
    if (!ResumeAgentProcess(seat.agent)) {
        EndAgentProcess(seat.agent);
        seat.agent = AgentProcess();
    }
}

void SessionWatch::EndAgent(DWORD sessionId, time_t now) {
    for (Seat &seat : m_seats) {
        if (seat.state.sessionId != sessionId)
            continue;
        if (seat.agent.process)
            EndAgentProcess(seat.agent);
        seat.agent = AgentProcess();
        seat.attempted = true;
        seat.lastAttempt = now;
        seat.retrySeconds = kAgentRetrySeconds;
    }
}

bool SessionWatch::LogOffUsers() const {
    bool ended = false;
    for (const Seat &seat : m_seats)
        ended = LogOffSession(seat.state.sessionId) || ended;
    return ended;
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
    return waited ? state : m_console;
}

SessionEvents SessionWatch::Tick(time_t now) {
    // A failed query proves nobody; a console without a session may be a switch.
    const bool answered = QueryConsoleSession(m_next);
    if (!answered)
        m_next = ConsoleSessionState();
    // A copy: Settle may answer with m_console itself, which Observe replaces.
    const ConsoleSessionState settled = answered ? Settle(m_next, now) : m_next;
    // A list that fails proves nothing either: the console's facts stand alone.
    if (!ListSessions(m_listed))
        m_listed.clear();
    const SessionEvents events = Observe(settled, m_listed);
    for (Seat &seat : m_seats)
        KeepAgent(seat, now);
    return events;
}

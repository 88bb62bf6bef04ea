// Session 0 mode's view of the sessions, polled at each watch tick (Windows sends a
// service no log-off and no session-change notice we could rely on): who is there,
// at the console or over Remote Desktop, what changed since the last tick, and the
// agents that show our windows in each user's session. Portable; the calls go
// through session/sessions.h.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "session/sessions.h"

// The events are those of the primary user: the console's when it has an active
// user, else the first Remote Desktop user seen (who stays primary while there).
// The scheduler keeps one user in mind; the others are warned but decide nothing.
struct SessionEvents {
    // The primary user went away: logged off, disconnected, or the console moved
    // to another session or user. A switch of user is a log-off of the old one
    // followed by a log-on of the new, in the same tick.
    bool logOff = false;
    // A user became primary. One who arrives locked (a switch back to a locked
    // session) gets lock with it.
    bool logOn = false;
    bool lock = false;   // the same user locked the session
    bool unlock = false; // ... and unlocked it
    bool Any() const { return logOff || logOn || lock || unlock; }
};

class SessionWatch {
public:
    // An agent that could not be started (WTSQueryUserToken answers ERROR_NO_TOKEN for
    // a moment after a log-on) is tried again after kAgentStartRetrySeconds; one that
    // ran and ended, or was ended for breaking the protocol, after kAgentRetrySeconds.
    static const int kAgentStartRetrySeconds = 2;
    static const int kAgentRetrySeconds = 10;
    // During a switch of sessions the console has no session for a moment: the last
    // known state holds for this long before anything is decided.
    static const int kUnknownConsoleSeconds = 10;

    // A session with an active user in it, and our agent there.
    struct Seat {
        ConsoleSessionState state;
        bool console = false; // the active console session's
        AgentProcess agent;   // its process is empty when none runs
        bool attempted = false; // an agent start was tried for this user here
        time_t lastAttempt = 0; // when, or when the last agent was seen ended
        int retrySeconds = kAgentRetrySeconds;
        bool failureReported = false; // in the Event Log, since its last start
    };

    // agentExe: the program started as the agent ("<agentExe>" /agent <pipe>), our own path.
    explicit SessionWatch(std::string agentExe) : m_agentExe(std::move(agentExe)) {}

    // Asked before each agent start: the pipe that agent is to be named, one of its
    // own for each session; empty when none can be opened, and the start is then
    // tried again like one that failed.
    using AgentPipe = std::string (*)(void *context, DWORD sessionId);
    // Called with each agent started, while it is still suspended: its pipe is told
    // to expect it. It is resumed afterwards, or ended if it can't be.
    using AgentStarting = void (*)(void *context, const AgentProcess &agent);
    // Without a host, agents are started with no pipe named (a test of the start).
    void SetAgentHost(AgentPipe pipeFor, AgentStarting onStarting, void *context) {
        m_pipeFor = pipeFor;
        m_onStarting = onStarting;
        m_context = context;
    }
    // The agent in sessionId broke the protocol: it is ended and forgotten, and the
    // next one there starts kAgentRetrySeconds after now.
    void EndAgent(DWORD sessionId, time_t now);

    // One tick: reads the console session and the list of sessions, answers what
    // changed for the primary user since the last tick, and keeps an agent running
    // in each session with an active user. The first tick only takes the state in
    // (the scheduler's start deals with a user who is there already) and reports
    // nothing; a failed console query counts as nobody at the console, and a list
    // that fails or is empty (Wine lists none) adds nobody. now is the scheduler's
    // clock, used only for the agents' restart limit.
    SessionEvents Tick(time_t now);
    // What Tick makes of the console's state at now: a console with no session for
    // less than kUnknownConsoleSeconds keeps the last known state.
    const ConsoleSessionState &Settle(const ConsoleSessionState &state, time_t now);

    // The state part of Tick, without the agents: the console's state and the
    // sessions Windows listed (the console's own entry among them is left to the
    // console's state).
    SessionEvents Observe(const ConsoleSessionState &console,
                          const std::vector<ConsoleSessionState> &listed = {});
    // Some session has an active user, at the console or remote, locked or not: the
    // user is there, though a locked one can't answer. Comes from the session
    // manager alone: no word from an agent, alive or dead, ever makes a user.
    bool UserIsThere() const { return !m_seats.empty(); }
    // The primary user is the console's: the polite request is theirs to make.
    bool ConsoleUserThere() const { return !m_seats.empty() && m_seats[0].console; }
    const ConsoleSessionState &Console() const { return m_console; }
    // The primary first; the only seat whose agent's input counts.
    const std::vector<Seat> &Seats() const { return m_seats; }

    // Ends the session of every user there, for a shut-down that programs hold up
    // (any user's may); FALSE when none was ended.
    bool LogOffUsers() const;

    // The primary user's agent as of the last tick; its process is empty when none runs.
    const AgentProcess &Agent() const { return m_seats.empty() ? m_none : m_seats[0].agent; }
    bool AgentRunning() const { return bool(Agent().process); }

private:
    static bool Present(const ConsoleSessionState &s) { return s.HasUser() && s.connected; }
    // Whether an agent should start in seat now: none of ours runs there, and the
    // wait after the last attempt there is over (a new user or session doesn't wait).
    static bool WantsAgentStart(const Seat &seat, time_t now);
    void KeepAgent(Seat &seat, time_t now);
    // The seat for state, with the agent already kept there for the same user.
    Seat Take(const ConsoleSessionState &state, bool console);

    std::string m_agentExe;
    AgentPipe m_pipeFor = nullptr;
    AgentStarting m_onStarting = nullptr;
    void *m_context = nullptr;
    ConsoleSessionState m_state;   // the primary user's, as last seen
    ConsoleSessionState m_console; // the console's, as last settled
    ConsoleSessionState m_next;
    std::vector<ConsoleSessionState> m_listed;
    bool m_started = false;
    std::vector<Seat> m_seats, m_previous;
    const AgentProcess m_none;
    bool m_consoleUnknown = false; // the console has had no session since...
    time_t m_unknownSince = 0;
};

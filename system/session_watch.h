// Session 0 mode's view of the console, polled at each scheduler tick (Windows sends
// a service no log-off and no session-change notice we could rely on): who is there,
// what changed since the last tick, and the agent that shows our windows in the
// user's session. Portable; the calls go through system/session.h.
#pragma once

#include <ctime>
#include <string>

#include "system/session.h"

struct SessionEvents {
    // The console's user went away: logged off, disconnected, or the console moved
    // to another session or user. A switch of user is a log-off of the old one
    // followed by a log-on of the new, in the same tick.
    bool logOff = false;
    // A user came to the console. One who arrives locked (a switch back to a locked
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

    // agentExe: the program started as the agent ("<agentExe>" /agent <pipe>), our own path.
    explicit SessionWatch(std::string agentExe) : m_agentExe(std::move(agentExe)) {}

    // Called with each agent started, while it is still suspended: the pipe is told
    // to expect it there. It is resumed afterwards, or ended if it can't be.
    using AgentStarting = void (*)(void *context, const AgentProcess &agent);
    // The pipe named on the agent's command line, and who hears of each start.
    void SetAgentPipe(std::string pipeName, AgentStarting onStarting, void *context) {
        m_pipeName = std::move(pipeName);
        m_onStarting = onStarting;
        m_context = context;
    }
    // The agent broke the protocol: it is ended and forgotten, and the next one starts
    // kAgentRetrySeconds after now.
    void EndAgent(time_t now);

    // One tick: reads the console session, answers what changed since the last tick,
    // and keeps our agent running in that session. The first tick only takes the
    // state in (the scheduler's start deals with a user who is there already) and
    // reports nothing; a failed query counts as nobody at the console. now is the
    // scheduler's clock, used only for the agent's restart limit.
    SessionEvents Tick(time_t now);
    // What Tick makes of the console's state at now: a console with no session for
    // less than kUnknownConsoleSeconds keeps the last known state.
    const ConsoleSessionState &Settle(const ConsoleSessionState &state, time_t now);

    // The state part of Tick, without the agent.
    SessionEvents Observe(const ConsoleSessionState &state);
    // A user is logged on at the console, connected, and the session is not locked.
    // Comes from the session manager alone: no word from an agent, alive or dead,
    // ever makes a user.
    bool UserIsThere() const;
    const ConsoleSessionState &Console() const { return m_state; }

    // Whether Tick would start an agent now: the console session has a user and no
    // agent of ours runs there, and the wait after the last attempt there is over (a
    // new user or session doesn't wait).
    bool WantsAgentStart(time_t now) const;
    // Our agent as of the last tick; its process is empty when none runs. The pipe
    // talks to this process id in this session only.
    const AgentProcess &Agent() const { return m_agent; }
    bool AgentRunning() const { return bool(m_agent.process); }

private:
    static bool Present(const ConsoleSessionState &s) { return s.HasUser() && s.connected; }
    void KeepAgent(time_t now);

    std::string m_agentExe;
    std::string m_pipeName;
    AgentStarting m_onStarting = nullptr;
    void *m_context = nullptr;
    ConsoleSessionState m_state, m_next;
    bool m_started = false;
    AgentProcess m_agent;
    bool m_attempted = false; // an agent start was tried for the present user
    time_t m_lastAttempt = 0; // when, or when the last agent was seen ended
    int m_retrySeconds = kAgentRetrySeconds;
    bool m_consoleUnknown = false; // the console has had no session since...
    time_t m_unknownSince = 0;
};

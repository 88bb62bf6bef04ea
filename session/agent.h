// Session 0 mode. Where the scheduler runs unseen (a service on Windows Vista and
// later), it starts an agent in the user's session: vespra.exe " /agent" shows the
// scheduler's dialogs there, sends back what the user does, opens help and makes the
// polite shut-down request as the user. The scheduler keeps the clock, the schedule,
// the password check and the settings.
#pragma once

#include <string>

#include "framework/win32_types.h"
#include "session/session_watch.h"

class PipeServer;

// The agent's program mode: draws the scheduler's dialogs until the scheduler goes.
// FALSE when it could not reach the scheduler at pipeName, or what serves the pipe
// is not the scheduler (PipeServerRefusal): then it ends at once.
BOOL RunAgent(const std::string &pipeName);

// The scheduler's end. Starts the mirror and the watch of the sessions, which opens
// a pipe of its own for the agent in each session with an active user; FALSE (and
// nothing started) outside session 0 mode.
BOOL StartSessionZeroMode();
// An agent message the mirror refused (an unknown type, a malformed one, a control
// that is not open): one log line, "Agent message refused", and the connection
// closed at once, so nothing more it sent arrives and it can't queue work ahead of
// the timers. The agent in sessionId is ended; the watch starts the next one there
// kAgentRetrySeconds after now, and the pipe lets in only that one.
void RefuseAgent(PipeServer &pipe, SessionWatch &watch, DWORD sessionId, time_t now);
BOOL InSessionZeroMode();
// Once a tick: follows the sessions, starts the agents that are missing and reports
// what changed for the primary user since the last tick.
SessionEvents SessionZeroTick();
// Whether some session has an active user, at the console or remote, locked or not.
// An agent, alive or dead, has no say.
bool SessionZeroUserThere();
// An agent is connected and so shows the scheduler's dialogs to the user, whose
// session is not locked.
bool SessionZeroAgentShowing();
// Whether the console's session has an active user: then the polite request is made
// by the agent there, as that user; else by the system, with Windows' own notice.
bool SessionZeroConsoleUser();
// The polite request, made by the console user's agent as the user; FALSE when no
// agent is there to make it.
BOOL RequestShutdownAsUser(UINT flags);
// Ends the sessions of all users there (WTSLogoffSession), for a shut-down held up;
// FALSE when none was ended.
BOOL LogOffSessionZeroUsers();
// Settings... at the countdown without a password: the agent starts our own program
// with " /settings" as the user, in the user's session. FALSE when no agent is there.
BOOL StartSettingsAsUser();
void StopSessionZeroMode();

// Session 0 mode. Where the scheduler runs unseen (a service on Windows Vista and
// later), it starts an agent in the user's session: vespra.exe " /agent" shows the
// scheduler's dialogs there, sends back what the user does, opens help and makes the
// polite shut-down request as the user. The scheduler keeps the clock, the schedule,
// the password check and the settings.
#pragma once

#include <string>

#include "framework/win32_types.h"
#include "system/session_watch.h"

class PipeServer;

// The agent's program mode: draws the scheduler's dialogs until the scheduler goes.
// FALSE when it could not reach the scheduler at pipeName, or what serves the pipe
// is not the scheduler (PipeServerRefusal): then it ends at once.
BOOL RunAgent(const std::string &pipeName);

// The scheduler's end. Starts the mirror, the pipe and the watch of the console
// session; FALSE (and nothing started) outside session 0 mode.
BOOL StartSessionZeroMode();
// An agent message the mirror refused (an unknown type, a malformed one, a control
// that is not open): one log line, "Agent message refused", and the connection
// closed at once, so nothing more it sent arrives and it can't queue work ahead of
// the timers. The agent is ended; the watch starts the next one kAgentRetrySeconds
// after now, and the pipe lets in only that one.
void RefuseAgent(PipeServer &pipe, SessionWatch &watch, time_t now);
BOOL InSessionZeroMode();
// Once a tick: follows the console session, starts the agent when it is missing and
// reports what changed at the console since the last tick.
SessionEvents SessionZeroTick();
// Whether a user is at the console session: it has a user, is connected and not
// locked. An agent, alive or dead, has no say.
bool SessionZeroUserThere();
// The polite request, made by the agent as the user; FALSE when no agent is there
// to make it.
BOOL RequestShutdownAsUser(UINT flags);
// Settings... at the countdown without a password: the agent starts our own program
// with " /settings" as the user, in the user's session. FALSE when no agent is there.
BOOL StartSettingsAsUser();
void StopSessionZeroMode();

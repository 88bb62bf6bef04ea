// Session 0 mode. Where the scheduler runs unseen (a service on Windows Vista and
// later), it starts an agent in the user's session: vespra.exe " /agent" shows the
// scheduler's dialogs there, sends back what the user does, opens help and makes the
// polite shut-down request as the user. The scheduler keeps the clock, the schedule,
// the password check and the settings.
#pragma once

#include <string>

#include "framework/win32_types.h"
#include "system/session_watch.h"

// The agent's program mode: draws the scheduler's dialogs until the scheduler goes.
// FALSE when it could not reach the scheduler.
BOOL RunAgent();

// The scheduler's end. Starts the mirror, the pipe and the watch of the console
// session; FALSE (and nothing started) outside session 0 mode.
BOOL StartSessionZeroMode();
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
void StopSessionZeroMode();

// The native stand-in behind session/agent.h: session 0 mode with the real
// SessionWatch over the scripted sessions (fake_session.h), and the agent's end of
// the pipe reduced to a switch and a record of the polite requests it was asked for.
#pragma once

#include <vector>

#include "framework/win32_types.h"

namespace fake {

struct AgentHost {
    bool agentConnected = true; // the agent answers on the pipe
    std::vector<UINT> politeRequests;
    int settingsStarts = 0; // the agent asked to start " /settings" as the user
};

AgentHost &Host();
void ResetAgentHost();

} // namespace fake

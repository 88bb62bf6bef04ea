// The native stand-in behind system/session.h: scripted world facts, console state
// and agent processes (the n-th start attempt's is process 499 + n), and a record.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "system/session.h"

namespace fake {

struct Session {
    WorldFacts world = {true, true, true, 1, 1}; // a plain start
    ConsoleSessionState console;                 // no console session
    bool consoleQueryFails = false;
    bool agentStartFails = false;
    std::set<DWORD> endedAgents;     // ended by the test, or by EndAgentProcess
    std::set<DWORD> suspendedAgents; // started and not yet resumed
    bool resumeFails = false;
    bool shutdownFails = false;
    DWORD shutdownError = 0;

    std::vector<std::pair<DWORD, std::string>> agentStarts; // session, program; failed ones too
    std::vector<std::string> agentPipes;                    // the pipe named to each
    int openAgentHandles = 0;
    std::vector<BOOL> shutdownRequests; // the restart argument of each
};

Session &Sess();
void ResetSession();
// A console session with a user, connected.
ConsoleSessionState UserAt(DWORD sessionId, const std::string &user, bool locked = false);

} // namespace fake

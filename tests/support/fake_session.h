// The native stand-in behind session/sessions.h: scripted world facts, console state
// and agent processes (the n-th start attempt's is process 499 + n), and a record.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "session/sessions.h"

namespace fake {

struct Session {
    WorldFacts world = {true, true, true, 1, 1}; // a plain start
    ConsoleSessionState console;                 // no console session
    bool consoleQueryFails = false;
    // Remote Desktop sessions (disconnected ones too), in the order Windows lists
    // them. Windows lists the services' session 0 first, then the console's, then
    // these; Wine's stub lists nothing, and the call can fail.
    std::vector<ConsoleSessionState> remote;
    enum class Listing { Windows, Nothing, Fails } listing = Listing::Windows;
    bool agentStartFails = false;
    std::set<DWORD> endedAgents;     // ended by the test, or by EndAgentProcess
    std::set<DWORD> suspendedAgents; // started and not yet resumed
    bool resumeFails = false;
    bool shutdownFails = false;
    DWORD shutdownError = 0;
    // As Windows answers a shut-down request, forced or not, from either call: while
    // someone else's shut-down is scheduled (until it is aborted), and while one is
    // under way but held up by a program (until the user's session ends).
    bool scheduledByOther = false;
    bool heldUp = false;

    std::vector<std::pair<DWORD, std::string>> agentStarts; // session, program; failed ones too
    std::vector<std::string> agentPipes;                    // the pipe named to each
    int openAgentHandles = 0;
    std::vector<BOOL> shutdownRequests; // the restart argument of each
    std::vector<DWORD> noticeRequests;  // the time-out of each polite request with a notice
    time_t noticeDue = 0; // when the pending one's time-out ends; 0: none pending
    int aborts = 0;                     // AbortScheduledShutdown calls
    int consoleLogoffs = 0;             // the console's session ended
};

Session &Sess();
void ResetSession();
// A session with a user, connected (WTSActive).
ConsoleSessionState UserAt(DWORD sessionId, const std::string &user, bool locked = false);
// What Windows' own state makes of a shut-down request: 0 when it would take it.
DWORD PendingShutdownError();

} // namespace fake

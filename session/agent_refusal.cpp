#include "session/agent.h"
#include "system/log.h"
#include "session/pipe_channel.h"

void RefuseAgent(PipeServer &pipe, SessionWatch &watch, DWORD sessionId, time_t now) {
    WriteLog("Agent message refused");
    pipe.CloseClient();
    watch.EndAgent(sessionId, now);
}

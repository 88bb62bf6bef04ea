// Which pipe clients the scheduler keeps, XP's unanswerable questions included.
#include <gtest/gtest.h>

#include "system/pipe_channel.h"

namespace {

PipeClientIdentity Client(DWORD pid, DWORD session, bool known = true, bool remote = false) {
    PipeClientIdentity who;
    who.processId = pid;
    who.sessionId = session;
    who.processKnown = who.sessionKnown = known;
    who.remote = remote;
    return who;
}

TEST(PipeClientRefusal, KeepsOnlyTheExpectedProcessInItsSession) {
    struct Case {
        DWORD pid, session;
        PipeClientIdentity client;
        const char *refusal;
    } cases[] = {
        {42, 1, Client(42, 1), nullptr},
        {42, 1, Client(43, 1), "another process"},
        {42, 1, Client(42, 2), "another session"},
        {0, 0, Client(0, 0), "no client expected"},
        {0, 1, Client(42, 1, false), "no client expected"},
        {42, 1, Client(42, 1, true, true), "another machine"},
        // XP cannot name the client's process or session: the DACL is the guard there.
        {42, 1, Client(7, 9, false), nullptr},
    };
    for (const Case &c : cases) {
        const char *why = PipeClientRefusal(c.pid, c.session, c.client);
        EXPECT_STREQ(c.refusal, why) << c.pid << "/" << c.session << " vs " << c.client.processId;
    }
}

} // namespace

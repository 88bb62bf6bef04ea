// The forced request, carried through: what the scheduler does after Windows
// answered it. Portable; the requests themselves go through session/sessions.h and
// system/platform_calls.h.
#pragma once

#include <cstdint>

#include "framework/win32_types.h"

#ifndef _WIN32
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_SHUTDOWN_IS_SCHEDULED
#define ERROR_SHUTDOWN_IS_SCHEDULED 1190L
#endif

enum class ForcedNext {
    Done,             // Windows took it
    Retry,            // refused: asked again at the next tick
    ReplaceScheduled, // someone else's shut-down is pending: abort it, ask again now
    EndSession,       // stuck "in progress" too long: end the user's session, ask again
};

// Follows the answers to one shut-down's forced requests. A request refused as
// "in progress" is usually a polite shut-down waiting on a program that won't close;
// after kStuckMs of that, ending the user's session lets it go on.
class ShutdownEscalation {
public:
    static const uint64_t kStuckMs = 60000;

    // error: 0 when Windows took the request; nowMs: the real-time counter.
    ForcedNext Answered(DWORD error, uint64_t nowMs);

private:
    bool m_inProgress = false;
    uint64_t m_inProgressSince = 0;
};

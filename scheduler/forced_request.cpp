#include "scheduler/forced_request.h"

#include "session/sessions.h"

ForcedNext ShutdownEscalation::Answered(DWORD error, uint64_t nowMs) {
    if (error != DWORD(ERROR_SHUTDOWN_IN_PROGRESS))
        m_inProgress = false;
    if (error == 0)
        return ForcedNext::Done;
    if (error == DWORD(ERROR_SHUTDOWN_IS_SCHEDULED))
        return ForcedNext::ReplaceScheduled;
    if (error != DWORD(ERROR_SHUTDOWN_IN_PROGRESS))
        return ForcedNext::Retry;
    if (!m_inProgress) {
        m_inProgress = true;
        m_inProgressSince = nowMs;
        return ForcedNext::Retry;
    }
    if (nowMs - m_inProgressSince < kStuckMs)
        return ForcedNext::Retry;
    // Another minute before the next escalation.
    m_inProgressSince = nowMs;
    return ForcedNext::EndSession;
}

#include "service/restart_limit.h"

bool RestartLimit::Allow(uint64_t nowMs) {
    // The window slides: a restart leaves it kRestartWindowMs after it was made.
    if (m_count == kMaxRestarts && nowMs - m_times[m_next] < kRestartWindowMs)
        return false;
    m_times[m_next] = nowMs;
    m_next = (m_next + 1) % kMaxRestarts;
    if (m_count < kMaxRestarts)
        ++m_count;
    return true;
}

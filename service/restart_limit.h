// How often the service host starts the scheduler again after it ended by itself:
// at most kMaxRestarts times in any kRestartWindowMs. A scheduler that keeps dying
// is not restarted for ever; the service then stops with an error, and the service
// manager's recovery takes over.
#pragma once

#include <cstddef>
#include <cstdint>

class RestartLimit {
public:
    static const size_t kMaxRestarts = 5;
    static const uint64_t kRestartWindowMs = 10 * 60 * 1000;

    // Whether a restart at nowMs (a counter that nobody can set) stays within the
    // limit. Only an allowed restart is counted.
    bool Allow(uint64_t nowMs);

private:
    // The times of the last kMaxRestarts restarts, the oldest at m_next once full.
    uint64_t m_times[kMaxRestarts] = {};
    size_t m_count = 0;
    size_t m_next = 0;
};

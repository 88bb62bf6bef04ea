// The clock seam: the one place the program asks for the current time, and for the
// counter of real time that nobody can set.
#pragma once

#include <cstdint>
#include <ctime>

time_t ClockNow();

// Milliseconds since the system started, sleep and hibernation included
// (GetTickCount64 where it exists, else GetTickCount with its wrap every 49.7 days
// carried, as long as it is asked at least once in that time).
uint64_t MonotonicMs();

// Milliseconds the machine was awake since it started: a sleep or hibernation does
// not count (QueryUnbiasedInterruptTime, Windows 7 and later, looked up at run time).
// False where the system has no such counter.
bool AwakeMs(uint64_t &ms);

// The 32-bit millisecond count made 64-bit: each wrap seen adds 2^32.
struct TickCarry {
    uint32_t last = 0;
    uint64_t high = 0;
};
uint64_t CarryTickWrap(uint32_t now, TickCarry &carry);

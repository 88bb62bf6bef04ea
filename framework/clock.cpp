#include "framework/clock.h"

uint64_t CarryTickWrap(uint32_t now, TickCarry &carry) {
    if (now < carry.last)
        carry.high += uint64_t(1) << 32;
    carry.last = now;
    return carry.high + now;
}

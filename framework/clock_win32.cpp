#include "framework/clock.h"

time_t ClockNow() {
    return time(nullptr);
}

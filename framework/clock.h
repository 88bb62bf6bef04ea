// The clock seam: the one place the program asks for the current time.
#pragma once

#include <ctime>

time_t ClockNow();

// The millisecond counter every gap and interval is measured with: monotonic
// milliseconds truncated to 32 bits, so it wraps; differences are taken
// modulo 2^32 and compared unsigned. Tests may put a clock of their own in.
#pragma once

#include <cstdint>

using TMilliClockFn = uint32_t (*)();

// Current value of the counter in use.
uint32_t MilliClock();

// The system's counter: CLOCK_MONOTONIC in milliseconds, truncated.
uint32_t SystemMilliClock();

// Puts Fn in place of the counter (nullptr restores the system's) and returns
// the one it replaces. Safe while other threads read the clock.
TMilliClockFn SetMilliClock(TMilliClockFn Fn);

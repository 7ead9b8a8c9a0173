#include "MilliClock.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<TMilliClockFn> ClockFn {&SystemMilliClock};
}

uint32_t SystemMilliClock()
{
    timespec Now {};
    clock_gettime(CLOCK_MONOTONIC, &Now);
    const uint64_t Ms = static_cast<uint64_t>(Now.tv_sec) * 1000u + static_cast<uint64_t>(Now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(Ms);
}

uint32_t MilliClock()
{
    return ClockFn.load(std::memory_order_acquire)();
}

TMilliClockFn SetMilliClock(TMilliClockFn Fn)
{
    return ClockFn.exchange(Fn ? Fn : &SystemMilliClock, std::memory_order_acq_rel);
}

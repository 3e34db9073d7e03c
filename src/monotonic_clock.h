// Times on the monotonic clock, which no change of the date or the time zone moves: for waits
// that end at a given time, and for telling how long ago something happened.
#pragma once

#include <ctime>

inline timespec monotonicNow()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

// The time so many nanoseconds after t.
inline timespec laterBy(timespec t, long nanoseconds)
{
    t.tv_nsec += nanoseconds;
    t.tv_sec += t.tv_nsec / 1'000'000'000;
    t.tv_nsec %= 1'000'000'000;
    return t;
}

inline bool earlier(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

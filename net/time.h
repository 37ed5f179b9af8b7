// Delays, the monotonic clock on which FTP time-outs are measured, and the
// wall-clock seconds.
#pragma once

#include <cstdint>

// Sleeps `milliseconds`, with the timer resolution raised to 1 ms on the first call.
void Time_Delay(int32_t milliseconds);
// Milliseconds on a monotonic clock from an arbitrary start: never set back and
// unmoved by changes of the wall clock. It wraps after about 49.7 days, so an
// interval is the unsigned difference of two readings.
uint32_t Time_Ticks();

// One bound for a whole wait, measured on Time_Ticks.
struct TimeBound {
  uint32_t start;
  uint32_t limitMs;
};
// A bound that passes `milliseconds` from now (a negative count: at once).
TimeBound Time_Bound(int32_t milliseconds);
// Milliseconds left before the bound passes, 0 once it has.
int32_t Time_Left(const TimeBound& bound);

// The local wall-clock time in whole seconds since 1970-01-01, counted as if it
// were UTC; -1 after 2038-01-19 03:14:07.
int32_t Time_Now();
// The seconds of a local date and time, counted as Time_Now counts them; -1 for
// an invalid date or one outside 1970-01-01 .. 2038-01-19 03:14:07.
int32_t Time_FromDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second);

// Delays and the seconds clock on which every FTP time-out is measured.
#pragma once

#include <cstdint>

// Sleeps `milliseconds`, with the timer resolution raised to 1 ms on the first call.
void Time_Delay(int32_t milliseconds);
// The local wall-clock time in whole seconds since 1970-01-01, counted as if it
// were UTC; -1 after 2038-01-19 03:14:07.
int32_t Time_Now();
// The seconds of a local date and time, counted as Time_Now counts them; -1 for
// an invalid date or one outside 1970-01-01 .. 2038-01-19 03:14:07.
int32_t Time_FromDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second);

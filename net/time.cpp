// Delays, the monotonic millisecond clock and the seconds clock.
#include "net/time.h"

#include <atomic>
#include <ctime>

#include "platform/win32.h"

void Time_Delay(int32_t milliseconds) {
  // Raised once for the process and never lowered; a race only raises it twice.
  static std::atomic<bool> raised{false};
  if (!raised.exchange(true)) timeBeginPeriod(1);
  Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

uint32_t Time_Ticks() {
  // The tick count runs from boot and is not adjusted with the system time.
  return static_cast<uint32_t>(GetTickCount());
}

TimeBound Time_Bound(int32_t milliseconds) {
  return {Time_Ticks(), milliseconds > 0 ? static_cast<uint32_t>(milliseconds) : 0u};
}

int32_t Time_Left(const TimeBound& bound) {
  uint32_t elapsed = Time_Ticks() - bound.start;
  return elapsed >= bound.limitMs ? 0 : static_cast<int32_t>(bound.limitMs - elapsed);
}

int32_t Time_Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return Time_FromDate(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

namespace {

// The local breakdown of the instant 0 gives the offset from UTC. It is taken
// once: localtime's result is shared by all threads of the C library on Linux.
struct LocalOffset {
  int hours;
  int minutes;
  int daylight;
};

const LocalOffset& localOffset() {
  static const LocalOffset offset = [] {
    time_t zero = 0;
    const tm* local = localtime(&zero);
    LocalOffset o = {0, 0, 0};
    if (local) {
      o.hours = local->tm_hour > 11 && local->tm_mday == 31 ? local->tm_hour - 24 : local->tm_hour;
      o.minutes = local->tm_min;
      o.daylight = local->tm_isdst;
    }
    return o;
  }();
  return offset;
}

bool isLeap(int32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

}  // namespace

int32_t Time_FromDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                      int32_t second) {
  if (year < 1970 || year > 2038 || month < 1 || month > 12 || day < 1 || day > 31) return -1;
  if (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return -1;
  if (month == 2 && (day > 29 || (day == 29 && !isLeap(year)))) return -1;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return -1;
  if (year == 2038) {
    // The last second a signed 32-bit count reaches: 2038-01-19 03:14:07.
    int64_t moment = ((((static_cast<int64_t>(month) * 32 + day) * 24 + hour) * 60 + minute) * 60) + second;
    int64_t last = ((((1LL * 32 + 19) * 24 + 3) * 60 + 14) * 60) + 7;
    if (moment > last) return -1;
  }
  if (year == 1970 && month == 1 && day == 1) return hour * 3600 + minute * 60 + second;

  const LocalOffset& offset = localOffset();
  tm broken = {};
  broken.tm_year = year - 1900;
  broken.tm_mon = month - 1;
  broken.tm_mday = day;
  broken.tm_hour = hour;
  broken.tm_min = minute;
  broken.tm_sec = second;
  broken.tm_isdst = offset.daylight;
  int64_t instant = static_cast<int64_t>(mktime(&broken));
  if (instant == -1) return -1;
  int64_t seconds = instant + offset.hours * 3600LL + offset.minutes * 60LL;
  return seconds < 0 || seconds > 0x7fffffff ? -1 : static_cast<int32_t>(seconds);
}

// Milliseconds and the calendar time, from the POSIX clocks. The millisecond clock can be
// replaced so that code which paces itself by it can be driven step by step.
#include "platform/win/time.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace vx::win {

namespace {

std::atomic<ClockSource> gClockSource{nullptr};  // nullptr: the monotonic clock

DWORD MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);  // wraps at 32 bits like the original counter
}

void FillSystemTime(const tm& parts, long nanoseconds, SYSTEMTIME* out) {
  out->wYear = static_cast<WORD>(parts.tm_year + 1900);
  out->wMonth = static_cast<WORD>(parts.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(parts.tm_wday);  // 0 = Sunday on both sides
  out->wDay = static_cast<WORD>(parts.tm_mday);
  out->wHour = static_cast<WORD>(parts.tm_hour);
  out->wMinute = static_cast<WORD>(parts.tm_min);
  // A leap second (60) is folded into 59: the Windows structure has no room for it.
  out->wSecond = static_cast<WORD>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
  out->wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
}

}  // namespace

DWORD timeGetTime() {
  const ClockSource source = gClockSource.load(std::memory_order_relaxed);
  return source ? source() : MonotonicMilliseconds();
}

void SetClockSource(ClockSource source) { gClockSource.store(source, std::memory_order_relaxed); }

void Sleep(DWORD milliseconds) {
  timespec wait{static_cast<time_t>(milliseconds / 1000u), static_cast<long>(milliseconds % 1000u) * 1000000L};
  // A signal must not cut the sleep short.
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

void SleepOnClock(DWORD milliseconds) {
  if (!gClockSource.load(std::memory_order_relaxed)) Sleep(milliseconds);
}

void GetSystemTime(SYSTEMTIME* out) {
  if (!out) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  gmtime_r(&now.tv_sec, &parts);
  FillSystemTime(parts, now.tv_nsec, out);
}

void GetLocalTime(SYSTEMTIME* out) {
  if (!out) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  FillSystemTime(parts, now.tv_nsec, out);
}

}  // namespace vx::win

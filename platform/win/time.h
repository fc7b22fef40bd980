// Milliseconds, the system date and time, and a replaceable clock so that tests control time.
#pragma once
#include "platform/win/types.h"

namespace vx::win {

// Milliseconds since an arbitrary start, wrapping at 32 bits.
DWORD timeGetTime();
void Sleep(DWORD milliseconds);
void GetSystemTime(SYSTEMTIME* out);  // UTC
void GetLocalTime(SYSTEMTIME* out);

// Replaces the millisecond clock; nullptr returns to the real one.
using ClockSource = DWORD (*)();
void SetClockSource(ClockSource source);
// Sleeps for that many milliseconds of the clock: really on the real clock, not at all on a
// replaced one, which moves only as its reader moves it.
void SleepOnClock(DWORD milliseconds);

}  // namespace vx::win

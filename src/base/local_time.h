#pragma once

#include <cstdint>

namespace zovrel {

// A moment on the local calendar; what day folders, log file names and log time stamps use.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;  // 0..999
};

// The local calendar time now, all of it from one reading of the clock (honours TZ in the
// native build).
LocalTime LocalNow();

// Content times: UTC FILETIME, 100-nanosecond units since 1601-01-01.
uint64_t FileTimeNow();
// The local calendar time of a FILETIME (for listing history entries).
LocalTime LocalTimeOfFileTime(uint64_t fileTime);

// Days since 1970-01-01 of a calendar date (proleptic Gregorian); for comparing day folders.
int64_t DaysFromCivil(int year, int month, int day);

}  // namespace zovrel

// Dates and times of the engine: TDateTime values, packed DOS date-times and Unix times, and
// the conversions between local time and UTC.
//
// A TDateTime is a double of days since 1899-12-30 00:00; the fraction is the time of day
// (before that day the fraction still counts forward from midnight). A packed DOS date-time is
// 32 bits: seconds/2 in bits 0-4, minutes 5-10, hours 11-15, day 16-20, month 21-24 and
// year - 1980 in 25-31. Local time follows the rules of the time zone for each date (TZ).
#pragma once

#include <cstdint>
#include <ctime>

using TDateTime = double;

// 1970-01-01 as a TDateTime.
inline constexpr TDateTime UnixDateDelta = 25569.0;

struct TDateTimeParts {
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int MilliSecond = 0;
};

bool IsLeapYear(int Year);
// 28..31; 0 for a month outside 1..12.
int DaysInMonth(int Year, int Month);

// False when a field is out of range (year 1..9999).
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date);
bool TryEncodeTime(int Hour, int Minute, int Second, int MilliSecond, TDateTime& Time);
// As the Try forms; an invalid field raises std::out_of_range.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Minute, int Second, int MilliSecond = 0);
TDateTime EncodeDateTime(const TDateTimeParts& Parts);
// Splits a date-time, rounded to the millisecond.
TDateTimeParts DecodeDateTime(TDateTime Value);

// Adds a signed number of months; the day is clamped to the length of the target month and
// the time of day is kept.
TDateTime IncMonths(int Months, TDateTime Date);

// ---- packed DOS date-times ----------------------------------------------------------------
// Reads a packed DOS date-time. The value 0 reads as 1980-01-01 00:01:00; fields out of range
// are clamped into it (month 1..12, day 1..length of the month, hour 0..23, minute 0..59,
// second 0..58).
TDateTime DosDateToDateTime(std::uint32_t DosDate);
TDateTimeParts DosDateToParts(std::uint32_t DosDate);
// A local date-time as a packed DOS date-time: odd seconds round up to the next even one and
// the result is clamped to 1980-01-01 00:00:00 .. 2107-12-31 23:59:58.
std::uint32_t DateTimeToDosDate(TDateTime Value);
// A file time (Unix seconds) as a packed DOS date-time of the local time, rounded and clamped
// as DateTimeToDosDate.
std::uint32_t FileTimeToDosTime(std::time_t FileTime);
// A packed DOS date-time, read as local time, as Unix seconds (for setting file times).
std::time_t DosTimeToFileTime(std::uint32_t DosDate);

// ---- local time, UTC and Unix time --------------------------------------------------------
// Whether daylight-saving time is in force at the given local date-time.
bool IsDaylightTime(TDateTime LocalTime);
TDateTime LocalToUtc(TDateTime LocalTime);
TDateTime UtcToLocal(TDateTime UtcTime);
// A local date-time as seconds since 1970-01-01 00:00 UTC (whole seconds).
std::int64_t DateTimeToUnixDate(TDateTime LocalTime);
// Seconds since 1970-01-01 00:00 UTC as a local date-time; 0 gives 1980-01-01 00:01:00,
// the date the engine gives an entry without one.
TDateTime UnixDateToDateTime(std::int64_t UnixDate);

#include "engine/core/krvDates.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr std::int64_t MsPerDay = 86400000;
constexpr std::int64_t SecsPerDay = 86400;

// 0001-01-01 00:00:00 and 9999-12-31 23:59:59 UTC in Unix seconds: the span of TDateTime.
constexpr std::int64_t FirstUnixSecond = -62135596800;
constexpr std::int64_t LastUnixSecond = 253402300799;

// Packed DOS date-times at the ends of what the format can hold.
constexpr std::uint32_t DosTimeMinimum = 0x00210000; // 1980-01-01 00:00:00
constexpr std::uint32_t DosTimeMaximum = 0xFF9FBF7D; // 2107-12-31 23:59:58

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t Year, int Month, int Day) {
    Year -= Month <= 2;
    const std::int64_t era = (Year >= 0 ? Year : Year - 399) / 400;
    const std::int64_t yoe = Year - era * 400;
    const std::int64_t doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The date of a day counted from 1970-01-01.
void CivilFromDays(std::int64_t Days, TDateTimeParts& Parts) {
    Days += 719468;
    const std::int64_t era = (Days >= 0 ? Days : Days - 146096) / 146097;
    const std::int64_t doe = Days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    Parts.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    Parts.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    Parts.Year = static_cast<int>(yoe + era * 400 + (Parts.Month <= 2));
}

// The fields read as UTC, in Unix seconds (milliseconds dropped).
std::int64_t PartsToSeconds(const TDateTimeParts& P) {
    return DaysFromCivil(P.Year, P.Month, P.Day) * SecsPerDay + P.Hour * 3600 + P.Minute * 60 + P.Second;
}

TDateTimeParts SecondsToParts(std::int64_t Seconds) {
    TDateTimeParts p;
    std::int64_t days = Seconds / SecsPerDay;
    std::int64_t rest = Seconds % SecsPerDay;
    if (rest < 0) {
        rest += SecsPerDay;
        --days;
    }
    CivilFromDays(days, p);
    p.Hour = static_cast<int>(rest / 3600);
    p.Minute = static_cast<int>(rest / 60 % 60);
    p.Second = static_cast<int>(rest % 60);
    return p;
}

TDateTimeParts TmToParts(const std::tm& Tm) {
    TDateTimeParts p;
    p.Year = Tm.tm_year + 1900;
    p.Month = Tm.tm_mon + 1;
    p.Day = Tm.tm_mday;
    p.Hour = Tm.tm_hour;
    p.Minute = Tm.tm_min;
    p.Second = Tm.tm_sec;
    return p;
}

// Unix seconds as local fields under the zone's rules for that moment.
bool LocalPartsOf(std::int64_t Seconds, TDateTimeParts& Parts) {
    const auto t = static_cast<std::time_t>(Seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return false;
    Parts = TmToParts(tm);
    return true;
}

// The local fields at T, with the zone's offset from UTC then (seconds east) in tm_gmtoff.
bool LocalTmOf(std::int64_t T, std::tm& Tm) {
    const auto t = static_cast<std::time_t>(T);
    return localtime_r(&t, &Tm) != nullptr;
}

bool SameFields(const std::tm& Tm, const TDateTimeParts& P) {
    return Tm.tm_year + 1900 == P.Year && Tm.tm_mon + 1 == P.Month && Tm.tm_mday == P.Day &&
           Tm.tm_hour == P.Hour && Tm.tm_min == P.Minute && Tm.tm_sec == P.Second;
}

// The local fields as Unix seconds without mktime, which looks at the zone file on disk for every
// call: the offset is taken from localtime_r (the zone's rules as loaded). Only a local time that
// no change of offset comes near is taken (neither repeated nor skipped, so the one instant mktime
// finds too); false near a change, where mktime decides.
bool LocalPartsToSecondsAway(const TDateTimeParts& P, std::int64_t& Seconds, bool& IsDst) {
    // Far enough either side for any change of a zone's offset (a day at most) to show.
    constexpr std::int64_t Margin = 2 * SecsPerDay;
    const std::int64_t wall = PartsToSeconds(P);
    std::tm tm{};
    if (!LocalTmOf(wall, tm)) return false;
    std::int64_t t = wall - tm.tm_gmtoff;
    if (!LocalTmOf(t, tm)) return false;
    const long offset = tm.tm_gmtoff;
    if (wall - offset != t) {
        t = wall - offset;
        if (!LocalTmOf(t, tm) || tm.tm_gmtoff != offset) return false;
    }
    if (!SameFields(tm, P)) return false;
    const int dst = tm.tm_isdst;
    std::tm around{};
    for (const std::int64_t at : {t - Margin, t + Margin})
        if (!LocalTmOf(at, around) || around.tm_gmtoff != offset || around.tm_isdst != dst) return false;
    Seconds = t;
    IsDst = dst > 0;
    return true;
}

// Local fields as Unix seconds; IsDst tells whether daylight time was in force.
bool LocalPartsToSeconds(const TDateTimeParts& P, std::int64_t& Seconds, bool* IsDst = nullptr) {
    bool dst = false;
    if (LocalPartsToSecondsAway(P, Seconds, dst)) {
        if (IsDst) *IsDst = dst;
        return true;
    }
    std::tm tm{};
    tm.tm_year = P.Year - 1900;
    tm.tm_mon = P.Month - 1;
    tm.tm_mday = P.Day;
    tm.tm_hour = P.Hour;
    tm.tm_min = P.Minute;
    tm.tm_sec = P.Second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) {
        // -1 is also one second before 1970 (UTC); anything else is a failure.
        TDateTimeParts check;
        if (!LocalPartsOf(-1, check) || check.Year != P.Year || check.Month != P.Month ||
            check.Day != P.Day || check.Hour != P.Hour || check.Minute != P.Minute ||
            check.Second != P.Second)
            return false;
    }
    Seconds = t;
    if (IsDst) *IsDst = tm.tm_isdst > 0;
    return true;
}

std::uint32_t PackDos(const TDateTimeParts& P) {
    if (P.Year < 1980) return DosTimeMinimum;
    if (P.Year > 2107) return DosTimeMaximum;
    const auto date = static_cast<std::uint32_t>(((P.Year - 1980) << 9) | (P.Month << 5) | P.Day);
    const auto time = static_cast<std::uint32_t>((P.Hour << 11) | (P.Minute << 5) | (P.Second / 2));
    return (date << 16) | time;
}

// A date-time kept with the milliseconds of its parts.
TDateTime WithMilliseconds(TDateTimeParts Parts, int MilliSecond) {
    Parts.MilliSecond = MilliSecond;
    return EncodeDateTime(Parts);
}

} // namespace

bool IsLeapYear(int Year) {
    return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
}

int DaysInMonth(int Year, int Month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (Month < 1 || Month > 12) return 0;
    return Month == 2 && IsLeapYear(Year) ? 29 : days[Month - 1];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Date) {
    if (Year < 1 || Year > 9999 || Day < 1 || Day > DaysInMonth(Year, Month)) return false;
    Date = static_cast<TDateTime>(DaysFromCivil(Year, Month, Day)) + UnixDateDelta;
    return true;
}

bool TryEncodeTime(int Hour, int Minute, int Second, int MilliSecond, TDateTime& Time) {
    if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59 || MilliSecond < 0 ||
        MilliSecond > 999)
        return false;
    Time = static_cast<TDateTime>(((Hour * 60 + Minute) * 60 + Second) * 1000 + MilliSecond) / MsPerDay;
    return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
    TDateTime d;
    if (!TryEncodeDate(Year, Month, Day, d)) throw std::out_of_range("invalid date");
    return d;
}

TDateTime EncodeTime(int Hour, int Minute, int Second, int MilliSecond) {
    TDateTime t;
    if (!TryEncodeTime(Hour, Minute, Second, MilliSecond, t)) throw std::out_of_range("invalid time");
    return t;
}

TDateTime EncodeDateTime(const TDateTimeParts& Parts) {
    const auto date =
        static_cast<TDateTime>(DaysFromCivil(Parts.Year, Parts.Month, Parts.Day)) + UnixDateDelta;
    const TDateTime time =
        static_cast<TDateTime>(((Parts.Hour * 60 + Parts.Minute) * 60 + Parts.Second) * 1000 +
                               Parts.MilliSecond) /
        MsPerDay;
    return date >= 0 ? date + time : date - time;
}

TDateTimeParts DecodeDateTime(TDateTime Value) {
    TDateTimeParts p;
    if (!std::isfinite(Value)) return p;
    Value = std::clamp(Value, -1e9, 1e9);
    auto days = static_cast<std::int64_t>(std::trunc(Value));
    std::int64_t ms = std::llround(std::fabs(Value - std::trunc(Value)) * MsPerDay);
    if (ms >= MsPerDay) {
        ms -= MsPerDay;
        ++days;
    }
    CivilFromDays(days - static_cast<std::int64_t>(UnixDateDelta), p);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.MilliSecond = static_cast<int>(ms % 1000);
    return p;
}

TDateTime IncMonths(int Months, TDateTime Date) {
    TDateTimeParts p = DecodeDateTime(Date);
    std::int64_t index = static_cast<std::int64_t>(p.Year) * 12 + (p.Month - 1) + Months;
    std::int64_t year = index >= 0 ? index / 12 : (index - 11) / 12;
    p.Year = static_cast<int>(year);
    p.Month = static_cast<int>(index - year * 12) + 1;
    p.Day = std::min(p.Day, DaysInMonth(p.Year, p.Month));
    return EncodeDateTime(p);
}

// ---- packed DOS date-times ----------------------------------------------------------------

TDateTimeParts DosDateToParts(std::uint32_t DosDate) {
    TDateTimeParts p;
    if (DosDate == 0) {
        p.Year = 1980;
        p.Month = 1;
        p.Day = 1;
        p.Minute = 1;
        return p;
    }
    p.Year = 1980 + static_cast<int>(DosDate >> 25);
    p.Month = std::clamp(static_cast<int>((DosDate >> 21) & 0x0F), 1, 12);
    p.Day = std::clamp(static_cast<int>((DosDate >> 16) & 0x1F), 1, DaysInMonth(p.Year, p.Month));
    p.Hour = std::min(static_cast<int>((DosDate >> 11) & 0x1F), 23);
    p.Minute = std::min(static_cast<int>((DosDate >> 5) & 0x3F), 59);
    p.Second = std::min(static_cast<int>(DosDate & 0x1F) * 2, 58);
    return p;
}

TDateTime DosDateToDateTime(std::uint32_t DosDate) {
    return EncodeDateTime(DosDateToParts(DosDate));
}

std::uint32_t DateTimeToDosDate(TDateTime Value) {
    TDateTimeParts p = DecodeDateTime(Value);
    if (p.Second % 2 != 0) p = SecondsToParts(PartsToSeconds(p) + 1);
    return PackDos(p);
}

std::uint32_t FileTimeToDosTime(std::time_t FileTime) {
    // A day beyond either end in UTC is beyond it in every zone.
    constexpr std::int64_t first = 315532800 - SecsPerDay; // 1979-12-31
    constexpr std::int64_t last = 4354819200 + SecsPerDay; // 2108-01-02
    const auto t = static_cast<std::int64_t>(FileTime);
    if (t < first) return DosTimeMinimum;
    if (t > last) return DosTimeMaximum;
    TDateTimeParts p;
    if (!LocalPartsOf(t + (t & 1), p)) return DosTimeMinimum;
    return PackDos(p);
}

std::time_t DosTimeToFileTime(std::uint32_t DosDate) {
    const TDateTimeParts p = DosDateToParts(DosDate);
    std::int64_t t;
    if (!LocalPartsToSeconds(p, t)) t = PartsToSeconds(p);
    return static_cast<std::time_t>(t);
}

// ---- local time, UTC and Unix time --------------------------------------------------------

bool IsDaylightTime(TDateTime LocalTime) {
    std::int64_t t;
    bool dst = false;
    return LocalPartsToSeconds(DecodeDateTime(LocalTime), t, &dst) && dst;
}

TDateTime LocalToUtc(TDateTime LocalTime) {
    const TDateTimeParts p = DecodeDateTime(LocalTime);
    std::int64_t t;
    if (!LocalPartsToSeconds(p, t)) return LocalTime;
    return WithMilliseconds(SecondsToParts(t), p.MilliSecond);
}

TDateTime UtcToLocal(TDateTime UtcTime) {
    const TDateTimeParts p = DecodeDateTime(UtcTime);
    TDateTimeParts local;
    if (!LocalPartsOf(PartsToSeconds(p), local)) return UtcTime;
    return WithMilliseconds(local, p.MilliSecond);
}

std::int64_t DateTimeToUnixDate(TDateTime LocalTime) {
    const TDateTimeParts p = DecodeDateTime(LocalTime);
    std::int64_t t;
    if (!LocalPartsToSeconds(p, t)) t = PartsToSeconds(p);
    return t;
}

TDateTime UnixDateToDateTime(std::int64_t UnixDate) {
    if (UnixDate == 0) return DosDateToDateTime(0);
    UnixDate = std::clamp(UnixDate, FirstUnixSecond, LastUnixSecond);
    TDateTimeParts p;
    if (!LocalPartsOf(UnixDate, p)) p = SecondsToParts(UnixDate);
    return EncodeDateTime(p);
}

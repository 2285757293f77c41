#include "engine/core/krvDates.h"

#include "TestSupport.h"

#include <cstdio>
#include <ctime>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace testsupport;

namespace {

const char* const Zones[] = {"UTC", "Europe/Berlin", "America/New_York", "Australia/Sydney", "Asia/Kolkata"};

std::string Fmt(TDateTime D) {
    const TDateTimeParts p = DecodeDateTime(D);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.Year, p.Month, p.Day, p.Hour,
                  p.Minute, p.Second, p.MilliSecond);
    return buf;
}

TDateTime At(int Y, int Mo, int D, int H = 0, int Mi = 0, int S = 0, int Ms = 0) {
    return EncodeDate(Y, Mo, D) + EncodeTime(H, Mi, S, Ms);
}

std::uint32_t Dos(int Y, int Mo, int D, int H, int Mi, int S) {
    return static_cast<std::uint32_t>(((Y - 1980) << 25) | (Mo << 21) | (D << 16) | (H << 11) | (Mi << 5) |
                                      (S / 2));
}

} // namespace

// ---- calendar ----------------------------------------------------------------------------

TEST(Dates, EncodeAndDecode) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), UnixDateDelta);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(Fmt(36526.5), "2000-01-01 12:00:00.000");
    EXPECT_EQ(Fmt(At(2024, 2, 29, 23, 59, 59, 999)), "2024-02-29 23:59:59.999");
    EXPECT_EQ(Fmt(At(1, 1, 1)), "0001-01-01 00:00:00.000");
    EXPECT_EQ(Fmt(At(9999, 12, 31, 23, 59, 59)), "9999-12-31 23:59:59.000");
    // Before 1899-12-30 the fraction still counts forward from midnight.
    EXPECT_EQ(Fmt(-1.25), "1899-12-29 06:00:00.000");
    EXPECT_EQ(Fmt(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0})), "1899-12-29 06:00:00.000");
    EXPECT_THROW(EncodeDate(2023, 2, 29), std::out_of_range);
    EXPECT_THROW(EncodeDate(2023, 13, 1), std::out_of_range);
    EXPECT_THROW(EncodeTime(24, 0, 0), std::out_of_range);
    TDateTime d;
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, d));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, d));
}

TEST(Dates, LeapYearsAndMonths) {
    EXPECT_FALSE(IsLeapYear(1900));
    EXPECT_TRUE(IsLeapYear(2000));
    EXPECT_TRUE(IsLeapYear(2024));
    EXPECT_FALSE(IsLeapYear(2023));
    EXPECT_FALSE(IsLeapYear(2100));
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
    EXPECT_EQ(DaysInMonth(2024, 13), 0);
}

TEST(Dates, IncMonthsClampsTheDayAndKeepsTheTime) {
    EXPECT_EQ(Fmt(IncMonths(1, At(2024, 1, 31, 13, 45, 30, 500))), "2024-02-29 13:45:30.500");
    EXPECT_EQ(Fmt(IncMonths(1, At(2023, 1, 31))), "2023-02-28 00:00:00.000");
    EXPECT_EQ(Fmt(IncMonths(-1, At(2024, 3, 31, 6))), "2024-02-29 06:00:00.000");
    EXPECT_EQ(Fmt(IncMonths(1, At(2024, 12, 15))), "2025-01-15 00:00:00.000");
    EXPECT_EQ(Fmt(IncMonths(-13, At(2024, 1, 31))), "2022-12-31 00:00:00.000");
    EXPECT_EQ(Fmt(IncMonths(0, At(2024, 5, 5, 5, 5, 5))), "2024-05-05 05:05:05.000");
    EXPECT_EQ(Fmt(IncMonths(-24001, At(2024, 1, 1))), "0023-12-01 00:00:00.000");
}

// ---- packed DOS date-times ----------------------------------------------------------------

TEST(DosDates, ZeroReadsAsTheFirstMinuteOf1980) {
    EXPECT_EQ(Fmt(DosDateToDateTime(0)), "1980-01-01 00:01:00.000");
    EXPECT_EQ(Fmt(DosDateToDateTime(Dos(2025, 1, 15, 13, 50, 58))), "2025-01-15 13:50:58.000");
    EXPECT_EQ(Dos(2025, 1, 15, 13, 50, 58), 0x5A2F6E5Du);
    EXPECT_EQ(Fmt(DosDateToDateTime(0xFF9FBF7D)), "2107-12-31 23:59:58.000");
}

TEST(DosDates, InvalidFieldsClampIntoRange) {
    auto raw = [](unsigned Y, unsigned Mo, unsigned D, unsigned H, unsigned Mi, unsigned S2) {
        return (Y << 25) | (Mo << 21) | (D << 16) | (H << 11) | (Mi << 5) | S2;
    };
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(44, 0, 10, 1, 2, 3))), "2024-01-10 01:02:06.000");   // month 0
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(44, 13, 10, 1, 2, 3))), "2024-12-10 01:02:06.000");  // month 13
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(44, 15, 31, 0, 0, 0))), "2024-12-31 00:00:00.000");  // month 15
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(44, 6, 0, 0, 0, 0))), "2024-06-01 00:00:00.000");    // day 0
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(43, 2, 30, 0, 0, 0))), "2023-02-28 00:00:00.000");   // Feb 30
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(44, 4, 31, 0, 0, 0))), "2024-04-30 00:00:00.000");   // Apr 31
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(44, 6, 1, 24, 0, 0))), "2024-06-01 23:00:00.000");   // hour 24
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(44, 6, 1, 31, 63, 31))), "2024-06-01 23:59:58.000"); // all past
    EXPECT_EQ(Fmt(DosDateToDateTime(raw(44, 6, 1, 0, 60, 30))), "2024-06-01 00:59:58.000");  // min 60, sec 60

    // Every date field with a few times decodes to a real date in range.
    for (std::uint32_t date = 0; date <= 0xFFFF; ++date) {
        for (std::uint32_t time : {0x0000u, 0xBF7Du, 0xFFFFu}) {
            const std::uint32_t packed = date << 16 | time;
            const TDateTimeParts p = DecodeDateTime(DosDateToDateTime(packed));
            ASSERT_GE(p.Year, 1980) << packed;
            ASSERT_LE(p.Year, 2107) << packed;
            ASSERT_EQ(DosDateToParts(packed).Day, p.Day) << packed;
            ASSERT_EQ(DosDateToParts(packed).Second, p.Second) << packed;
        }
    }
}

TEST(DosDates, MadeFromATimeRoundsUpAndClamps) {
    EXPECT_EQ(DateTimeToDosDate(At(2025, 1, 15, 13, 50, 58)), 0x5A2F6E5Du);
    EXPECT_EQ(DateTimeToDosDate(At(2025, 1, 15, 13, 50, 57)), 0x5A2F6E5Du); // odd seconds round up
    EXPECT_EQ(DateTimeToDosDate(At(2020, 12, 31, 23, 59, 59)), Dos(2021, 1, 1, 0, 0, 0));
    EXPECT_EQ(DateTimeToDosDate(At(1979, 12, 31, 23, 59, 58)), 0x00210000u);
    EXPECT_EQ(DateTimeToDosDate(At(1900, 6, 1)), 0x00210000u);
    EXPECT_EQ(DateTimeToDosDate(-5000.5), 0x00210000u);
    EXPECT_EQ(DateTimeToDosDate(At(1980, 1, 1)), 0x00210000u);
    EXPECT_EQ(DateTimeToDosDate(At(2107, 12, 31, 23, 59, 58)), 0xFF9FBF7Du);
    EXPECT_EQ(DateTimeToDosDate(At(2107, 12, 31, 23, 59, 59)), 0xFF9FBF7Du);
    EXPECT_EQ(DateTimeToDosDate(At(2150, 1, 1)), 0xFF9FBF7Du);

    // Every valid DOS value survives DOS -> TDateTime -> DOS.
    for (std::uint32_t packed : {Dos(1980, 1, 1, 0, 0, 0), Dos(1999, 12, 31, 23, 59, 58),
                                 Dos(2000, 2, 29, 12, 0, 0), Dos(2038, 1, 19, 3, 14, 8), 0xFF9FBF7Du})
        EXPECT_EQ(DateTimeToDosDate(DosDateToDateTime(packed)), packed) << std::hex << packed;
}

TEST(DosDates, FileTimesClampLikeInfoZip) {
    EnvGuard tz("TZ", "UTC");
    EXPECT_EQ(FileTimeToDosTime(0), 0x00210000u);            // 1970
    EXPECT_EQ(FileTimeToDosTime(-86400 * 400), 0x00210000u); // before 1970
    EXPECT_EQ(FileTimeToDosTime(315532800), 0x00210000u);    // 1980-01-01 00:00:00
    EXPECT_EQ(FileTimeToDosTime(315532801), 0x00210001u);    // rounds up to 00:00:02
    EXPECT_EQ(FileTimeToDosTime(2147483648), Dos(2038, 1, 19, 3, 14, 8));
    EXPECT_EQ(FileTimeToDosTime(4354819198), 0xFF9FBF7Du);
    EXPECT_EQ(FileTimeToDosTime(4354819199), 0xFF9FBF7Du);
    EXPECT_EQ(FileTimeToDosTime(4354819200), 0xFF9FBF7Du);
    EXPECT_EQ(FileTimeToDosTime(INT64_MAX), 0xFF9FBF7Du);
    EXPECT_EQ(FileTimeToDosTime(INT64_MIN), 0x00210000u);
    EXPECT_EQ(DosTimeToFileTime(0x00210000), 315532800);
    EXPECT_EQ(DosTimeToFileTime(0), 315532860); // 00:01:00
}

TEST(DosDates, FileTimesFollowTheLocalZone) {
    {
        EnvGuard tz("TZ", "Europe/Berlin");
        EXPECT_EQ(FileTimeToDosTime(1705320000), Dos(2024, 1, 15, 13, 0, 0)); // 12:00 UTC, CET
        EXPECT_EQ(FileTimeToDosTime(1721044800), Dos(2024, 7, 15, 14, 0, 0)); // 12:00 UTC, CEST
        EXPECT_EQ(DosTimeToFileTime(Dos(2024, 7, 15, 14, 0, 0)), 1721044800);
        // Midnight UTC at 1980's start is 01:00 here; the last hour of 1979 in UTC is 1980 here.
        EXPECT_EQ(FileTimeToDosTime(315532800), Dos(1980, 1, 1, 1, 0, 0));
        EXPECT_EQ(FileTimeToDosTime(315532800 - 1800), Dos(1980, 1, 1, 0, 30, 0));
    }
    {
        EnvGuard tz("TZ", "America/New_York");
        EXPECT_EQ(FileTimeToDosTime(315532800), 0x00210000u); // still 1979 here
        EXPECT_EQ(FileTimeToDosTime(1705320000), Dos(2024, 1, 15, 7, 0, 0));
        EXPECT_EQ(FileTimeToDosTime(1721044800), Dos(2024, 7, 15, 8, 0, 0));
    }
    {
        EnvGuard tz("TZ", "Asia/Kolkata");
        EXPECT_EQ(FileTimeToDosTime(1705320000), Dos(2024, 1, 15, 17, 30, 0));
    }
}

TEST(DosDates, RoundTripsThroughFileTimesInEveryZone) {
    for (const char* zone : Zones) {
        EnvGuard tz("TZ", zone);
        // Every six hours and a half over two years, on even seconds: file time -> DOS -> file time.
        for (std::int64_t t = 1704067200; t < 1704067200 + 2 * 366 * 86400; t += 23400 + 2) {
            const std::uint32_t dos = FileTimeToDosTime(t);
            const std::int64_t back = DosTimeToFileTime(dos);
            // Only the repeated hour when the clocks go back is read as its other instance.
            if (back != t) {
                ASSERT_EQ(std::llabs(back - t), 3600) << zone << " " << t;
                ASSERT_EQ(FileTimeToDosTime(back), dos) << zone << " " << t;
            }
        }
    }
}

// ---- local time, UTC and Unix time --------------------------------------------------------

TEST(UnixDates, ZeroAndWholeDays) {
    for (const char* zone : Zones) {
        EnvGuard tz("TZ", zone);
        EXPECT_EQ(Fmt(UnixDateToDateTime(0)), "1980-01-01 00:01:00.000") << zone;
    }
    EnvGuard tz("TZ", "UTC");
    EXPECT_EQ(Fmt(UnixDateToDateTime(86400)), "1970-01-02 00:00:00.000");
    EXPECT_EQ(Fmt(UnixDateToDateTime(951782400)), "2000-02-29 00:00:00.000");
    EXPECT_EQ(Fmt(UnixDateToDateTime(946684799)), "1999-12-31 23:59:59.000");
    EXPECT_EQ(Fmt(UnixDateToDateTime(4107542400)), "2100-03-01 00:00:00.000"); // 2100 is no leap year
    EXPECT_EQ(Fmt(UnixDateToDateTime(2147483648)), "2038-01-19 03:14:08.000");
    // Before 1970: the real date, not its mirror after 1970.
    EXPECT_EQ(Fmt(UnixDateToDateTime(-86400)), "1969-12-31 00:00:00.000");
    EXPECT_EQ(Fmt(UnixDateToDateTime(-1)), "1969-12-31 23:59:59.000");
    EXPECT_EQ(Fmt(UnixDateToDateTime(INT64_MAX)), "9999-12-31 23:59:59.000");
    EXPECT_EQ(Fmt(UnixDateToDateTime(INT64_MIN)), "0001-01-01 00:00:00.000");

    EXPECT_EQ(DateTimeToUnixDate(At(2000, 1, 1)), 946684800);
    EXPECT_EQ(DateTimeToUnixDate(At(2100, 3, 1)), 4107542400);
    EXPECT_EQ(DateTimeToUnixDate(At(1969, 12, 31)), -86400);
    EXPECT_EQ(DateTimeToUnixDate(At(1970, 1, 1, 0, 0, 1, 999)), 1);
    EXPECT_EQ(DateTimeToUnixDate(At(1969, 12, 31, 23, 59, 59)), -1); // the value mktime fails with
}

TEST(UnixDates, WholeDaysInOtherZones) {
    {
        EnvGuard tz("TZ", "America/New_York");
        EXPECT_EQ(Fmt(UnixDateToDateTime(86400)), "1970-01-01 19:00:00.000");
        EXPECT_EQ(DateTimeToUnixDate(At(1970, 1, 1, 19)), 86400);
    }
    {
        EnvGuard tz("TZ", "Europe/Berlin");
        EXPECT_EQ(Fmt(UnixDateToDateTime(86400)), "1970-01-02 01:00:00.000");
        EXPECT_EQ(DateTimeToUnixDate(At(1970, 1, 1, 0, 59, 59)), -1);
    }
    {
        EnvGuard tz("TZ", "Asia/Kolkata");
        EXPECT_EQ(Fmt(UnixDateToDateTime(1705320000)), "2024-01-15 17:30:00.000");
        EXPECT_EQ(DateTimeToUnixDate(At(2024, 1, 15, 17, 30)), 1705320000);
    }
}

TEST(UnixDates, RoundTripsInEveryZone) {
    for (const char* zone : Zones) {
        EnvGuard tz("TZ", zone);
        // Every 97 minutes over three years, across both changes of each year.
        for (std::int64_t t = 1672531200; t < 1672531200 + 3 * 365 * 86400; t += 97 * 60) {
            const TDateTime local = UnixDateToDateTime(t);
            const std::int64_t back = DateTimeToUnixDate(local);
            if (back != t) {
                // The repeated hour: both instants show the same local time.
                ASSERT_EQ(std::llabs(back - t), 3600) << zone << " " << t;
                ASSERT_EQ(Fmt(UnixDateToDateTime(back)), Fmt(local)) << zone << " " << t;
            }
        }
    }
}

TEST(UnixDates, DosToDateTimeToUnixAndBack) {
    for (const char* zone : Zones) {
        EnvGuard tz("TZ", zone);
        for (std::uint32_t dos :
             {Dos(1980, 1, 1, 12, 0, 0), Dos(1999, 12, 31, 23, 59, 58), Dos(2024, 2, 29, 8, 30, 10),
              Dos(2024, 7, 1, 12, 0, 0), Dos(2037, 6, 6, 6, 6, 6)}) {
            const TDateTime local = DosDateToDateTime(dos);
            const std::int64_t unix = DateTimeToUnixDate(local);
            EXPECT_EQ(unix, DosTimeToFileTime(dos)) << zone;
            EXPECT_EQ(Fmt(UnixDateToDateTime(unix)), Fmt(local)) << zone;
            EXPECT_EQ(DateTimeToDosDate(UnixDateToDateTime(unix)), dos) << zone;
            EXPECT_EQ(FileTimeToDosTime(unix), dos) << zone;
        }
    }
}

TEST(TimeZones, DaylightTimeFollowsEachZonesRules) {
    struct Case {
        const char* Zone;
        TDateTime Local;
        bool Daylight;
    };
    const Case cases[] = {
        {"UTC", At(2024, 7, 1, 12), false},
        {"Asia/Kolkata", At(2024, 7, 1, 12), false},
        {"Asia/Kolkata", At(2024, 1, 1, 12), false},
        {"Europe/Berlin", At(2024, 1, 15, 12), false},
        {"Europe/Berlin", At(2024, 7, 15, 12), true},
        {"Europe/Berlin", At(2024, 3, 31, 1, 59, 59), false},
        {"Europe/Berlin", At(2024, 3, 31, 3, 0, 0), true},
        {"Europe/Berlin", At(2024, 10, 27, 3, 0, 1), false},
        {"Europe/Berlin", At(1975, 7, 1, 12), false}, // no summer time in Germany then
        {"America/New_York", At(2024, 3, 10, 1, 59), false},
        {"America/New_York", At(2024, 3, 10, 3, 0), true},
        {"America/New_York", At(2006, 3, 20, 12), false}, // the rules changed in 2007
        {"America/New_York", At(2007, 3, 20, 12), true},
        {"Australia/Sydney", At(2024, 1, 15, 12), true}, // southern summer
        {"Australia/Sydney", At(2024, 7, 15, 12), false},
        {"Australia/Sydney", At(2024, 4, 7, 3, 0, 1), false},
        {"Australia/Sydney", At(2024, 10, 6, 1, 59), false},
        {"Australia/Sydney", At(2024, 10, 6, 3, 0), true},
    };
    for (const Case& c : cases) {
        EnvGuard tz("TZ", c.Zone);
        EXPECT_EQ(IsDaylightTime(c.Local), c.Daylight) << c.Zone << " " << Fmt(c.Local);
    }
}

TEST(TimeZones, LocalAndUtcUseTheBiasOfTheDate) {
    struct Case {
        const char* Zone;
        TDateTime Local;
        TDateTime Utc;
    };
    const Case cases[] = {
        {"UTC", At(2024, 7, 15, 12), At(2024, 7, 15, 12)},
        {"Europe/Berlin", At(2024, 1, 15, 12), At(2024, 1, 15, 11)},
        {"Europe/Berlin", At(2024, 7, 15, 12), At(2024, 7, 15, 10)},
        {"Europe/Berlin", At(2024, 3, 31, 3, 30), At(2024, 3, 31, 1, 30)},
        {"Europe/Berlin", At(1975, 7, 1, 12), At(1975, 7, 1, 11)},
        {"America/New_York", At(2024, 1, 15, 12), At(2024, 1, 15, 17)},
        {"America/New_York", At(2024, 7, 15, 12), At(2024, 7, 15, 16)},
        {"America/New_York", At(2006, 3, 20, 12), At(2006, 3, 20, 17)},
        {"America/New_York", At(2007, 3, 20, 12), At(2007, 3, 20, 16)},
        {"America/New_York", At(2024, 1, 15, 22, 0, 0, 250), At(2024, 1, 16, 3, 0, 0, 250)},
        {"Australia/Sydney", At(2024, 1, 15, 12), At(2024, 1, 15, 1)},
        {"Australia/Sydney", At(2024, 7, 15, 12), At(2024, 7, 15, 2)},
        {"Australia/Sydney", At(2024, 1, 1, 5), At(2023, 12, 31, 18)},
        {"Asia/Kolkata", At(2024, 7, 15, 12), At(2024, 7, 15, 6, 30)},
        {"Asia/Kolkata", At(2024, 1, 1, 3, 0, 0, 999), At(2023, 12, 31, 21, 30, 0, 999)},
    };
    for (const Case& c : cases) {
        EnvGuard tz("TZ", c.Zone);
        EXPECT_EQ(Fmt(LocalToUtc(c.Local)), Fmt(c.Utc)) << c.Zone;
        EXPECT_EQ(Fmt(UtcToLocal(c.Utc)), Fmt(c.Local)) << c.Zone;
    }
}

TEST(TimeZones, OutOfRangeDatesDoNotFail) {
    for (const char* zone : Zones) {
        EnvGuard tz("TZ", zone);
        for (TDateTime d : {At(1, 1, 1), At(9999, 12, 31, 23, 59, 59), -700000.0, 1e300, -1e300}) {
            (void)IsDaylightTime(d);
            (void)LocalToUtc(d);
            (void)UtcToLocal(d);
            (void)DateTimeToUnixDate(d);
            (void)DateTimeToDosDate(d);
            (void)IncMonths(7, d);
        }
        EXPECT_EQ(DateTimeToDosDate(1e300), 0xFF9FBF7Du) << zone;
        EXPECT_EQ(DateTimeToDosDate(-1e300), 0x00210000u) << zone;
    }
}

// Local times become Unix seconds as mktime makes them, in zones with every kind of change:
// an hour, half an hour (Lord Howe), at midnight (Sao Paulo, Havana), a skipped day (Apia), a
// change of the standard offset (Moscow), half-hour offsets (St Johns, Kolkata), a negative
// summer time (Dublin). Around every change of 1968-2040 each minute is tried as the local time
// it shows, and the local times the old and the new offset would give (skipped and repeated
// ones); elsewhere one time every 97 minutes times seven.
TEST(TimeZones, LocalTimesBecomeTheSecondsMktimeGives) {
    const char* const zones[] = {
        "UTC",          "Europe/Berlin",       "America/New_York",  "Australia/Sydney",
        "Asia/Kolkata", "Australia/Lord_Howe", "America/Sao_Paulo", "America/Havana",
        "Pacific/Apia", "Europe/Moscow",       "America/St_Johns",  "Europe/Dublin"};
    auto partsOf = [](const std::tm& Tm) {
        return TDateTimeParts{Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday, Tm.tm_hour,
                              Tm.tm_min,         Tm.tm_sec,     0};
    };
    auto check = [&](const char* Zone, const TDateTimeParts& P) {
        std::tm tm{};
        tm.tm_year = P.Year - 1900;
        tm.tm_mon = P.Month - 1;
        tm.tm_mday = P.Day;
        tm.tm_hour = P.Hour;
        tm.tm_min = P.Minute;
        tm.tm_sec = P.Second;
        tm.tm_isdst = -1;
        const auto expected = static_cast<std::int64_t>(std::mktime(&tm));
        const TDateTime local = EncodeDateTime(P);
        ASSERT_EQ(DateTimeToUnixDate(local), expected) << Zone << " " << Fmt(local);
        ASSERT_EQ(IsDaylightTime(local), tm.tm_isdst > 0) << Zone << " " << Fmt(local);
        if (P.Year >= 1980 && P.Second % 2 == 0) {
            const std::uint32_t dos = Dos(P.Year, P.Month, P.Day, P.Hour, P.Minute, P.Second);
            ASSERT_EQ(static_cast<std::int64_t>(DosTimeToFileTime(dos)), expected)
                << Zone << " " << Fmt(local);
        }
    };
    auto localAt = [&](std::int64_t T) {
        const auto t = static_cast<std::time_t>(T);
        std::tm tm{};
        localtime_r(&t, &tm);
        return tm;
    };
    auto wallAt = [&](std::int64_t T, long Offset) {
        const auto t = static_cast<std::time_t>(T + Offset);
        std::tm tm{};
        gmtime_r(&t, &tm);
        return partsOf(tm);
    };
    constexpr std::int64_t from = -63158400; // 1968-01-01
    constexpr std::int64_t to = 2208988800;  // 2040-01-01
    constexpr std::int64_t step = 97 * 60;
    for (const char* zone : zones) {
        EnvGuard tz("TZ", zone);
        long before = localAt(from).tm_gmtoff;
        for (std::int64_t t = from; t < to; t += step) {
            const long now = localAt(t).tm_gmtoff;
            if (now != before) {
                // The change lies in the last step: the minutes around it.
                for (std::int64_t u = t - step - 3600; u < t + 3600; u += 60) {
                    check(zone, partsOf(localAt(u)));
                    check(zone, partsOf(localAt(u + 59)));
                    check(zone, wallAt(u, before));
                    check(zone, wallAt(u, now));
                }
            }
            before = now;
            if ((t - from) / step % 7 == 0) check(zone, partsOf(localAt(t + 17)));
        }
    }
}

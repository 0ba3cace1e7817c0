// Dates and times as the office says them: in the board's time zone, with
// the zone's rules applied at each use, so that "14:00 every Tuesday" stays
// 14:00 across a change to or from summer time.
#pragma once

#include <cstdint>
#include <string>

struct LocalStamp {
    int year = 1970, month = 1, day = 1;
    int minute = 0;  // of the day, 0..1439
    bool operator==(const LocalStamp& o) const {
        return year == o.year && month == o.month && day == o.day && minute == o.minute;
    }
    bool operator<(const LocalStamp& o) const { return Days() < o.Days() || (Days() == o.Days() && minute < o.minute); }
    std::int64_t Days() const;  // days since 1970-01-01
};

// Days since 1970-01-01 and back (the proleptic Gregorian calendar).
std::int64_t DaysFromCivil(int year, int month, int day);
LocalStamp CivilFromDays(std::int64_t days, int minute = 0);
// 0 Monday .. 6 Sunday.
int WeekdayOf(std::int64_t days);

// "2027-01-05" (a whole day: `dateOnly`) or "2027-01-05T14:00" (a space for
// the T, and ":00" seconds, are taken too); false for anything else, a
// 30 February included.
bool ParseLocalStamp(const std::string& text, LocalStamp& stamp, bool& dateOnly);
std::string LocalText(const LocalStamp& stamp, bool dateOnly);

// The moment (ms since 1970 UTC) a local time names in the board's zone; a
// time that the spring change skips is taken as the same time after it.
std::int64_t LocalToUtcMs(const LocalStamp& stamp);
LocalStamp UtcToLocal(std::int64_t ms);

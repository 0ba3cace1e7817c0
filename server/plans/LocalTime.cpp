#include "LocalTime.h"

#include <cstdio>
#include <ctime>

std::int64_t DaysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil.
    const std::int64_t y = year - (month <= 2);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

LocalStamp CivilFromDays(std::int64_t z, int minute) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    LocalStamp s;
    s.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    s.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    s.year = static_cast<int>(yoe + era * 400 + (s.month <= 2));
    s.minute = minute;
    return s;
}

std::int64_t LocalStamp::Days() const { return DaysFromCivil(year, month, day); }

int WeekdayOf(std::int64_t days) { return static_cast<int>(((days % 7) + 7 + 3) % 7); }  // 1970-01-01 was a Thursday

bool ParseLocalStamp(const std::string& text, LocalStamp& stamp, bool& dateOnly) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep = 0, tail = 0;
    LocalStamp read;
    if (text.size() == 10 && std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) == 3) {
        dateOnly = true;
    } else if ((text.size() == 16 || text.size() == 19) &&
               std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d", &y, &mo, &d, &sep, &h, &mi) == 6 &&
               (sep == 'T' || sep == ' ') &&
               (text.size() == 16 || (std::sscanf(text.c_str() + 16, ":%2d%c", &s, &tail) == 1 && s == 0))) {
        dateOnly = false;
    } else {
        return false;
    }
    for (std::size_t i : {4u, 7u})
        if (text[i] != '-') return false;
    if (y < 1971 || y > 9999 || mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || h < 0 || mi < 0) return false;
    const LocalStamp back = CivilFromDays(DaysFromCivil(y, mo, d));
    if (back.day != d || back.month != mo) return false;  // 30 February
    read.year = y;
    read.month = mo;
    read.day = d;
    read.minute = dateOnly ? 0 : h * 60 + mi;
    stamp = read;
    return true;
}

std::string LocalText(const LocalStamp& s, bool dateOnly) {
    char text[64];
    if (dateOnly)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", s.year, s.month, s.day);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d", s.year, s.month, s.day, s.minute / 60,
                      s.minute % 60);
    return text;
}

std::int64_t LocalToUtcMs(const LocalStamp& s) {
    std::tm parts{};
    parts.tm_year = s.year - 1900;
    parts.tm_mon = s.month - 1;
    parts.tm_mday = s.day;
    parts.tm_hour = s.minute / 60;
    parts.tm_min = s.minute % 60;
    parts.tm_isdst = -1;  // the zone's rules say whether summer time holds then
    const std::time_t t = std::mktime(&parts);
    return static_cast<std::int64_t>(t) * 1000;
}

LocalStamp UtcToLocal(std::int64_t ms) {
    const std::time_t t = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &t);
#else
    localtime_r(&t, &parts);
#endif
    LocalStamp s;
    s.year = parts.tm_year + 1900;
    s.month = parts.tm_mon + 1;
    s.day = parts.tm_mday;
    s.minute = parts.tm_hour * 60 + parts.tm_min;
    return s;
}

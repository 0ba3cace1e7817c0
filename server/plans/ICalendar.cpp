#include "ICalendar.h"

#include <cstdio>
#include <cstdlib>
#include <set>

#include "StatusRecord.h"
#include "Windows1252.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <fstream>
#include <unistd.h>
#endif

namespace {

const char* const IcalDays[7] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};

std::string Two(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string DateOf(const LocalStamp& s) { return std::to_string(s.year) + Two(s.month) + Two(s.day); }

std::string DateTimeOf(const LocalStamp& s) { return DateOf(s) + "T" + Two(s.minute / 60) + Two(s.minute % 60) + "00"; }

std::string UtcOf(std::int64_t ms) {
    const std::int64_t seconds = ms / 1000;
    const std::int64_t days = seconds / 86400 - (seconds % 86400 < 0);
    const std::int64_t rest = seconds - days * 86400;
    const LocalStamp day = CivilFromDays(days);
    return DateOf(day) + "T" + Two(static_cast<int>(rest / 3600)) + Two(static_cast<int>(rest / 60 % 60)) +
           Two(static_cast<int>(rest % 60)) + "Z";
}

// Seconds east of UTC at a moment, as the system's zone says.
std::int64_t OffsetAt(std::int64_t ms) {
    const LocalStamp local = UtcToLocal(ms);
    const std::int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    return local.Days() * 86400 + local.minute * 60 - (seconds - seconds % 60);
}

std::string OffsetText(std::int64_t seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const std::int64_t a = seconds < 0 ? -seconds : seconds;
    return std::string(1, sign) + Two(static_cast<int>(a / 3600)) + Two(static_cast<int>(a / 60 % 60));
}

// The zone's changes in the years of the plans: each as a STANDARD or
// DAYLIGHT part with its own DTSTART, found by the offsets on either side.
std::string Timezone(const std::string& tzid, int firstYear, int lastYear) {
    std::string out = "BEGIN:VTIMEZONE\r\n" + FoldLine("TZID:" + tzid);
    const std::int64_t from = LocalToUtcMs({firstYear, 1, 1, 0}), to = LocalToUtcMs({lastYear + 1, 1, 1, 0});
    std::int64_t before = OffsetAt(from);
    const std::int64_t first = before;
    bool any = false;
    std::int64_t lowest = before;
    for (std::int64_t day = from; day < to; day += 86400000) lowest = std::min(lowest, OffsetAt(day));
    for (std::int64_t day = from; day < to; day += 86400000) {
        const std::int64_t after = OffsetAt(day + 86400000);
        if (after == before) continue;
        std::int64_t low = day, high = day + 86400000;  // the change is in (low, high]
        while (high - low > 60000) {
            const std::int64_t mid = low + (high - low) / 2 / 60000 * 60000;
            if (OffsetAt(mid) == before)
                low = mid;
            else
                high = mid;
        }
        const bool daylight = after > lowest;
        // DTSTART is the local time just before the change, on the old offset.
        const std::int64_t localSeconds = high / 1000 + before;
        const std::int64_t days = localSeconds / 86400 - (localSeconds % 86400 < 0);
        const LocalStamp at = CivilFromDays(days, static_cast<int>((localSeconds - days * 86400) / 60));
        out += std::string("BEGIN:") + (daylight ? "DAYLIGHT" : "STANDARD") + "\r\nDTSTART:" + DateTimeOf(at) +
               "\r\nTZOFFSETFROM:" + OffsetText(before) + "\r\nTZOFFSETTO:" + OffsetText(after) +
               "\r\nEND:" + (daylight ? "DAYLIGHT" : "STANDARD") + "\r\n";
        before = after;
        any = true;
    }
    if (!any)  // a zone without summer time
        out += "BEGIN:STANDARD\r\nDTSTART:" + std::to_string(firstYear) +
               "0101T000000\r\nTZOFFSETFROM:" + OffsetText(first) + "\r\nTZOFFSETTO:" + OffsetText(first) +
               "\r\nEND:STANDARD\r\n";
    return out + "END:VTIMEZONE\r\n";
}

std::string Event(const CalendarFeed& feed, const Plan& p, const std::string& tzid) {
    std::string e = "BEGIN:VEVENT\r\n";
    e += FoldLine("UID:plan-" + std::to_string(p.id) + "@" + feed.host);
    e += "DTSTAMP:" + UtcOf(p.createdMs ? p.createdMs : feed.nowMs) + "\r\n";
    if (p.allDay) {
        e += "DTSTART;VALUE=DATE:" + DateOf(p.start) + "\r\n";
        e += "DTEND;VALUE=DATE:" + DateOf(CivilFromDays(p.end.Days() + 1)) + "\r\n";  // the day after the last
    } else {
        e += FoldLine("DTSTART;TZID=" + tzid + ":" + DateTimeOf(p.start));
        e += FoldLine("DTEND;TZID=" + tzid + ":" + DateTimeOf(p.end));
    }
    const std::string who = feed.called ? feed.called(p.name) : Windows1252ToUtf8(p.name);
    const std::string message = Windows1252ToUtf8(p.message);
    e += FoldLine("SUMMARY:" +
                  CalendarEscape(who + ": " + StatusName(p.status) + (message.empty() ? "" : ", " + message)));
    if (p.repeats) {
        std::string rule = "RRULE:FREQ=WEEKLY;INTERVAL=" + std::to_string(p.repeat.every) + ";BYDAY=";
        bool first = true;
        for (int d = 0; d < 7; ++d)
            if (p.repeat.weekdays & (1u << d)) rule += std::string(first ? "" : ",") + IcalDays[d], first = false;
        // With a zone, UNTIL is in UTC: the end of the last day it may start on.
        if (p.repeat.hasUntil)
            rule += ";UNTIL=" + (p.allDay ? DateOf(p.repeat.until)
                                          : UtcOf(LocalToUtcMs(CivilFromDays(p.repeat.until.Days() + 1)) - 1000));
        rule += ";WKST=MO";
        e += FoldLine(rule);
        for (const LocalStamp& day : p.repeat.except) {
            LocalStamp at = day;
            at.minute = p.start.minute;
            e += p.allDay ? "EXDATE;VALUE=DATE:" + DateOf(day) + "\r\n"
                          : FoldLine("EXDATE;TZID=" + tzid + ":" + DateTimeOf(at));
        }
    }
    e += std::string("TRANSP:TRANSPARENT\r\nCATEGORIES:") + (p.status == StatusOut ? "Out" : "Other") + "\r\n";
    return e + "END:VEVENT\r\n";
}

}  // namespace

std::string LocalZoneName() {
#ifdef _WIN32
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    if (GetDynamicTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID && zone.TimeZoneKeyName[0]) {
        char name[256] = {};
        WideCharToMultiByte(CP_UTF8, 0, zone.TimeZoneKeyName, -1, name, sizeof name - 1, nullptr, nullptr);
        return name;
    }
#else
    const char* tz = std::getenv("TZ");
    if (tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
    char target[PATH_MAX] = {};
    const ssize_t n = readlink("/etc/localtime", target, sizeof target - 1);
    const std::string link = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
    const std::size_t at = link.find("zoneinfo/");
    if (at != std::string::npos) return link.substr(at + 9);
    std::ifstream named("/etc/timezone");
    std::string line;
    if (std::getline(named, line) && !line.empty()) return line;
#endif
    return "Pegora/Board";
}

std::string CalendarEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == ';' || c == ',')
            out += '\\', out += c;
        else if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

std::string FoldLine(const std::string& line) {
    std::string out;
    std::size_t width = 0;
    for (std::size_t i = 0; i < line.size();) {
        std::size_t n = 1;  // a whole UTF-8 sequence at a time
        while (i + n < line.size() && (static_cast<unsigned char>(line[i + n]) & 0xC0) == 0x80) ++n;
        if (width + n > 75) {
            out += "\r\n ";
            width = 1;
        }
        out.append(line, i, n);
        width += n;
        i += n;
    }
    return out + "\r\n";
}

std::string CalendarText(const CalendarFeed& feed, const std::vector<Plan>& plans) {
    // A zone given by its rules ("GMT0BST,M3.5.0/1,M10.5.0") would break the TZID parameter.
    std::string tzid = LocalZoneName();
    for (char& c : tzid)
        if (c == ',' || c == ';' || c == ':' || c == '"') c = '_';
    std::string out =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Pegora//Pegora board//EN\r\nCALSCALE:GREGORIAN\r\n"
        "METHOD:PUBLISH\r\n" +
        FoldLine("X-WR-CALNAME:" + CalendarEscape(feed.title)) + FoldLine("X-WR-TIMEZONE:" + tzid);
    int first = UtcToLocal(feed.nowMs).year, last = first;
    bool timed = false;
    for (const Plan& p : plans) {
        if (p.allDay) continue;
        timed = true;
        first = std::min(first, p.start.year);
        last = std::max(last, p.repeats ? (p.repeat.hasUntil ? p.repeat.until.year : last + 1) : p.end.year);
    }
    if (timed) out += Timezone(tzid, first, std::min(last, first + 20));
    for (const Plan& p : plans) out += Event(feed, p, tzid);
    return out + "END:VCALENDAR\r\n";
}

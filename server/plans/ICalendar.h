// Plans as an iCalendar feed (RFC 5545) that Outlook and phones subscribe to:
// CRLF lines folded at 75 octets, text escaped, a stable UID per plan, whole
// days as VALUE=DATE, repeats as RRULE, and the board's zone as VTIMEZONE.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Plan.h"

// The board's zone: its name as calendars know it, and its offsets from UTC
// as the system's rules give them.
std::string LocalZoneName();

struct CalendarFeed {
    std::string title;  // "Pegora: office"
    std::string host;   // for the UIDs: plan-<id>@<host>
    std::int64_t nowMs = 0;
    // The name people answer to for a row's key (UTF-8).
    std::function<std::string(const std::string& name)> called;
};

// The whole feed, UTF-8.
std::string CalendarText(const CalendarFeed& feed, const std::vector<Plan>& plans);

// One content line folded at 75 octets, never inside a UTF-8 sequence, with its CRLF.
std::string FoldLine(const std::string& line);
// TEXT escaped: backslash, semicolon, comma and line breaks.
std::string CalendarEscape(const std::string& text);

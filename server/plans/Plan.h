// An absence entered ahead: a person, a start and an end (whole days, or
// dates and times in the board's zone), the word and message the row shows
// meanwhile, and perhaps a weekly repeat. Its occurrences are worked out from
// the local dates at each use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LocalTime.h"

struct PlanRepeat {
    unsigned weekdays = 0;  // bit 0 Monday .. bit 6 Sunday
    int every = 1;          // weeks, 1..52
    bool hasUntil = false;
    LocalStamp until;                // the last day it may start on
    std::vector<LocalStamp> except;  // days it does not start on
};

struct Plan {
    std::int64_t id = 0;
    std::string name;  // the row's key, Windows-1252
    LocalStamp start, end;
    bool allDay = false;  // whole days: `end` is the last day, included
    std::int32_t status = 2;
    std::string message;  // Windows-1252, at most the record's message length
    bool repeats = false;
    PlanRepeat repeat;
    std::string source = "page";  // page, import or calendar
    std::string author;           // who entered it (Windows-1252); empty under the code's rules
    std::int64_t createdMs = 0;
};

// One time the plan holds: [startMs, endMs).
struct Occurrence {
    std::int64_t startMs = 0, endMs = 0;
};

// A plan may hold no longer than this at a time, and a weekly repeat step
// no further apart.
const int MaxPlanDays = 366;
const int MaxEveryWeeks = 52;

// What is wrong with a plan in a sentence, or empty.
std::string PlanProblem(const Plan& plan);

// The occurrences that overlap [fromMs, toMs), in order, at most `limit`.
std::vector<Occurrence> Occurrences(const Plan& plan, std::int64_t fromMs, std::int64_t toMs, std::size_t limit = 1000);

// When the plan holds for the last time (its end), or -1 for a repeat with no end.
std::int64_t LastEndMs(const Plan& plan);

// Weekday names as the routes take them: "mon" .. "sun".
const char* const WeekdayNames[7] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

#include "Plan.h"

#include <algorithm>

#include "StatusRecord.h"

namespace {

// The local start and end of the occurrence that starts on day `days`.
Occurrence OnDay(const Plan& plan, std::int64_t days) {
    const std::int64_t length = plan.end.Days() - plan.start.Days();
    Occurrence o;
    if (plan.allDay) {
        o.startMs = LocalToUtcMs(CivilFromDays(days));
        o.endMs = LocalToUtcMs(CivilFromDays(days + length + 1));
    } else {
        o.startMs = LocalToUtcMs(CivilFromDays(days, plan.start.minute));
        o.endMs = LocalToUtcMs(CivilFromDays(days + length, plan.end.minute));
    }
    return o;
}

bool Excepted(const Plan& plan, std::int64_t days) {
    for (const LocalStamp& day : plan.repeat.except)
        if (day.Days() == days) return true;
    return false;
}

}  // namespace

std::string PlanProblem(const Plan& plan) {
    if (plan.name.empty()) return "The plan needs a name.";
    if (plan.status != StatusOut && plan.status != StatusOther) return "A plan is for out or other.";
    if (plan.message.size() > StatusRecord::MessageSize - 1)
        return "The message is longer than " + std::to_string(StatusRecord::MessageSize - 1) + " characters.";
    if (plan.allDay ? plan.end.Days() < plan.start.Days() : !(plan.start < plan.end))
        return "The plan ends before it starts.";
    if (plan.end.Days() - plan.start.Days() > MaxPlanDays) return "A plan holds for at most a year at a time.";
    if (plan.repeats) {
        if (plan.repeat.weekdays == 0 || plan.repeat.weekdays > 0x7f) return "A repeat needs its weekdays.";
        if (plan.repeat.every < 1 || plan.repeat.every > MaxEveryWeeks) return "A repeat is every 1 to 52 weeks.";
        if (plan.end.Days() - plan.start.Days() >= 7 * plan.repeat.every)
            return "A plan that repeats must end before it starts again.";
        if (plan.repeat.hasUntil && plan.repeat.until.Days() < plan.start.Days())
            return "The repeat ends before the plan starts.";
        if (plan.repeat.except.size() > 366) return "A repeat leaves out at most 366 days.";
    }
    return std::string();
}

std::vector<Occurrence> Occurrences(const Plan& plan, std::int64_t fromMs, std::int64_t toMs, std::size_t limit) {
    std::vector<Occurrence> found;
    if (!plan.repeats) {
        const Occurrence o = OnDay(plan, plan.start.Days());
        if (o.endMs > fromMs && o.startMs < toMs) found.push_back(o);
        return found;
    }
    const std::int64_t length = plan.end.Days() - plan.start.Days();
    const std::int64_t first = plan.start.Days();
    const std::int64_t firstMonday = first - WeekdayOf(first);
    const int every = std::max(1, plan.repeat.every);
    // From the week in which an occurrence still holding at `fromMs` would have started.
    std::int64_t fromDay = UtcToLocal(fromMs).Days() - length - 1;
    std::int64_t week = std::max<std::int64_t>(0, (fromDay - firstMonday) / (7 * every));
    const std::int64_t lastDay = plan.repeat.hasUntil ? plan.repeat.until.Days() : INT64_MAX;
    const std::int64_t toDay = UtcToLocal(toMs).Days() + 1;
    for (;; ++week) {
        const std::int64_t monday = firstMonday + week * 7 * every;
        if (monday > toDay || monday > lastDay) break;
        for (int d = 0; d < 7; ++d) {
            const std::int64_t day = monday + d;
            if (!(plan.repeat.weekdays & (1u << d)) || day < first || day > lastDay || Excepted(plan, day)) continue;
            const Occurrence o = OnDay(plan, day);
            if (o.startMs >= toMs) return found;
            if (o.endMs > fromMs) found.push_back(o);
            if (found.size() >= limit) return found;
        }
    }
    return found;
}

std::int64_t LastEndMs(const Plan& plan) {
    if (!plan.repeats) return OnDay(plan, plan.start.Days()).endMs;
    if (!plan.repeat.hasUntil) return -1;
    return OnDay(plan, plan.repeat.until.Days()).endMs;
}

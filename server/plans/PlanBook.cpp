#include "PlanBook.h"

#include <algorithm>

#include "AsciiText.h"

namespace {

// The plan's first start or end after `afterMs`.
bool NextEvent(const Plan& plan, std::int64_t afterMs, PlanEvent& event) {
    // Weekly repeats start again within `every` weeks; a single plan is found at once.
    const std::int64_t horizon = (7LL * MaxEveryWeeks + MaxPlanDays + 2) * 86400000LL;
    for (const Occurrence& o : Occurrences(plan, afterMs + 1, afterMs + horizon, 4)) {
        if (o.startMs > afterMs) {
            event = {plan.id, true, o};
            return true;
        }
        if (o.endMs > afterMs) {
            event = {plan.id, false, o};
            return true;
        }
    }
    return false;
}

std::int64_t EventMs(const PlanEvent& e) { return e.start ? e.occurrence.startMs : e.occurrence.endMs; }

}  // namespace

void PlanBook::Index(const Plan& plan, std::int64_t afterMs) {
    PlanEvent event;
    if (!NextEvent(plan, afterMs, event)) return;
    index[{EventMs(event), plan.id}] = event;
    indexedAt[plan.id] = EventMs(event);
}

void PlanBook::Unindex(std::int64_t id) {
    auto at = indexedAt.find(id);
    if (at == indexedAt.end()) return;
    index.erase({at->second, id});
    indexedAt.erase(at);
}

void PlanBook::Put(const Plan& plan, std::int64_t nowMs) {
    Remove(plan.id);
    plans[plan.id] = plan;
    byName.emplace(AsciiLower(plan.name), plan.id);
    Index(plan, nowMs);
}

bool PlanBook::Remove(std::int64_t id) {
    auto it = plans.find(id);
    if (it == plans.end()) return false;
    auto range = byName.equal_range(AsciiLower(it->second.name));
    for (auto n = range.first; n != range.second; ++n)
        if (n->second == id) {
            byName.erase(n);
            break;
        }
    Unindex(id);
    plans.erase(it);
    return true;
}

const Plan* PlanBook::Find(std::int64_t id) const {
    auto it = plans.find(id);
    return it == plans.end() ? nullptr : &it->second;
}

std::vector<Plan> PlanBook::Of(const std::string& name) const {
    std::vector<Plan> found;
    if (name.empty()) {
        for (const auto& p : plans) found.push_back(p.second);
    } else {
        auto range = byName.equal_range(AsciiLower(name));
        for (auto n = range.first; n != range.second; ++n) found.push_back(plans.at(n->second));
    }
    std::stable_sort(found.begin(), found.end(), [](const Plan& a, const Plan& b) { return a.start < b.start; });
    return found;
}

std::vector<PlanEvent> PlanBook::Due(std::int64_t nowMs) {
    std::vector<PlanEvent> due;
    while (!index.empty() && index.begin()->first.first <= nowMs) {
        const PlanEvent event = index.begin()->second;
        const std::int64_t at = index.begin()->first.first;
        index.erase(index.begin());
        indexedAt.erase(event.planId);
        due.push_back(event);
        Index(plans.at(event.planId), at);
    }
    return due;
}

bool PlanBook::Holding(const std::string& name, std::int64_t nowMs, Plan& plan, Occurrence& occurrence) const {
    bool found = false;
    auto range = byName.equal_range(AsciiLower(name));
    for (auto n = range.first; n != range.second; ++n) {
        const Plan& p = plans.at(n->second);
        for (const Occurrence& o : Occurrences(p, nowMs, nowMs + 1, 1))
            if (o.startMs <= nowMs && (!found || o.startMs > occurrence.startMs)) {
                plan = p;
                occurrence = o;
                found = true;
            }
    }
    return found;
}

bool PlanBook::Next(const std::string& name, std::int64_t nowMs, std::int64_t withinMs, Plan& plan,
                    Occurrence& occurrence) const {
    bool found = false;
    auto range = byName.equal_range(AsciiLower(name));
    for (auto n = range.first; n != range.second; ++n) {
        const Plan& p = plans.at(n->second);
        for (const Occurrence& o : Occurrences(p, nowMs + 1, nowMs + withinMs, 2))
            if (o.startMs > nowMs && (!found || o.startMs < occurrence.startMs)) {
                plan = p;
                occurrence = o;
                found = true;
                break;
            }
    }
    return found;
}

std::vector<std::int64_t> PlanBook::Forget(std::int64_t beforeMs) {
    std::vector<std::int64_t> gone;
    for (const auto& p : plans) {
        const std::int64_t last = LastEndMs(p.second);
        if (last >= 0 && last < beforeMs) gone.push_back(p.first);
    }
    for (std::int64_t id : gone) Remove(id);
    return gone;
}

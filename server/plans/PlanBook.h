// Every plan the board keeps, with an index by the moment each will next
// start or end: a tick asks only for what is due, never scans every plan.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Plan.h"

struct PlanEvent {
    std::int64_t planId = 0;
    bool start = true;  // an occurrence starts; otherwise it ends
    Occurrence occurrence;
};

class PlanBook {
public:
    // Added or replaced, its next change indexed after `nowMs`.
    void Put(const Plan& plan, std::int64_t nowMs);
    bool Remove(std::int64_t id);
    const Plan* Find(std::int64_t id) const;
    std::size_t Size() const { return plans.size(); }
    // A person's plans (the key rule), or everybody's for an empty name, by start.
    std::vector<Plan> Of(const std::string& name) const;
    // The starts and ends that came by `nowMs`, in time order, each plan's
    // next one indexed in its place.
    std::vector<PlanEvent> Due(std::int64_t nowMs);
    // The occurrence of `name`'s plans holding at `nowMs` that started last.
    bool Holding(const std::string& name, std::int64_t nowMs, Plan& plan, Occurrence& occurrence) const;
    // The next occurrence of `name`'s plans to start after `nowMs`, within `withinMs`.
    bool Next(const std::string& name, std::int64_t nowMs, std::int64_t withinMs, Plan& plan,
              Occurrence& occurrence) const;
    // Plans that last held before `beforeMs` dropped; their ids.
    std::vector<std::int64_t> Forget(std::int64_t beforeMs);

private:
    void Index(const Plan& plan, std::int64_t afterMs);
    void Unindex(std::int64_t id);

    std::map<std::int64_t, Plan> plans;
    std::multimap<std::string, std::int64_t> byName;                   // by the key rule's lower case
    std::map<std::pair<std::int64_t, std::int64_t>, PlanEvent> index;  // (when, id)
    std::map<std::int64_t, std::int64_t> indexedAt;                    // id -> when
};

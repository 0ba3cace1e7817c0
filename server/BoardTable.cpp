#include "BoardTable.h"

#include "BoardClock.h"

bool TableLock::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(mutex);
    if (!freed.wait_for(guard, timeout, [this] { return !taken; })) return false;
    taken = true;
    return true;
}

void TableLock::Release() {
    {
        std::lock_guard<std::mutex> guard(mutex);
        taken = false;
    }
    freed.notify_one();
}

std::size_t BoardTable::Store(const StatusRecord& record) { return Store(record, std::chrono::steady_clock::now()); }

std::size_t BoardTable::RowFor(const StatusRecord& record, std::chrono::steady_clock::time_point when) {
    std::int32_t found = Find(record.Name());
    if (found >= 0) return static_cast<std::size_t>(found);
    // Room for all three first, so a failure leaves the table as it was.
    lastStored.reserve(rows.size() + 1);
    words.reserve(rows.size() + 1);
    rows.push_back(record);
    lastStored.push_back(when);
    words.push_back(RowWord());
    rowCount.store(static_cast<std::int32_t>(rows.size()));
    return rows.size() - 1;
}

std::size_t BoardTable::Store(const StatusRecord& record, std::chrono::steady_clock::time_point when) {
    std::size_t i = RowFor(record, when);
    OnRecord(rows[i], words[i], record, WallMs());
    lastStored[i] = when;
    return i;
}

std::size_t BoardTable::StoreFromDesk(const StatusRecord& record, bool& shown, std::int64_t nowMs) {
    const auto now = std::chrono::steady_clock::now();
    std::size_t i = RowFor(record, now);
    shown = OnDeskRecord(rows[i], words[i], record, nowMs);
    lastStored[i] = now;
    return i;
}

std::size_t BoardTable::StoreFromBrowser(const StatusRecord& record, bool hasUntil, std::int64_t untilMs,
                                         std::int64_t nowMs, const std::string& author) {
    const auto now = std::chrono::steady_clock::now();
    std::size_t i = RowFor(record, now);
    OnBrowserWord(rows[i], words[i], record, hasUntil, untilMs, nowMs, author);
    lastStored[i] = now;
    return i;
}

bool BoardTable::StartPlan(const StatusRecord& record, std::int64_t planId, std::int64_t startMs, std::int64_t untilMs,
                           const std::string& author, bool& added) {
    added = Find(record.Name()) < 0;
    std::size_t i = RowFor(record, std::chrono::steady_clock::now());
    return OnPlanStart(rows[i], words[i], !added, record, planId, startMs, untilMs, author);
}

PlanEnd BoardTable::EndPlan(const std::string& name, std::int64_t planId, std::int64_t startMs,
                            std::chrono::steady_clock::duration speaking, std::int64_t nowMs) {
    const std::int32_t found = Find(name);
    if (found < 0) return PlanEnd::NotShown;
    const PlanEnd end = EndPlanAt(static_cast<std::size_t>(found), planId, startMs, speaking, nowMs);
    if (end == PlanEnd::Gone) Remove(name);
    return end;
}

bool BoardTable::StartPlanAt(std::size_t i, const StatusRecord& record, std::int64_t planId, std::int64_t startMs,
                             std::int64_t untilMs, const std::string& author) {
    return OnPlanStart(rows[i], words[i], true, record, planId, startMs, untilMs, author);
}

PlanEnd BoardTable::EndPlanAt(std::size_t i, std::int64_t planId, std::int64_t startMs,
                              std::chrono::steady_clock::duration speaking, std::int64_t nowMs) {
    const bool deskSpeaks = std::chrono::steady_clock::now() - lastStored[i] <= speaking;
    return OnPlanEnd(rows[i], words[i], planId, startMs, deskSpeaks, nowMs);
}

std::size_t BoardTable::Restore(const StatusRecord& record, std::chrono::steady_clock::time_point when,
                                const RowWord& word) {
    std::size_t i = RowFor(record, when);
    rows[i] = record;
    lastStored[i] = when;
    words[i] = word;
    return i;
}

bool BoardTable::Remove(const std::string& name) {
    std::int32_t found = Find(name);
    if (found < 0) return false;
    const auto at = static_cast<std::ptrdiff_t>(found);
    rowCount.store(static_cast<std::int32_t>(rows.size() - 1));
    rows.erase(rows.begin() + at);
    lastStored.erase(lastStored.begin() + at);
    words.erase(words.begin() + at);
    return true;
}

std::size_t BoardTable::PassUntil(std::int64_t nowMs,
                                  const std::function<void(const StatusRecord& before, std::size_t index)>& passed) {
    std::size_t changed = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const StatusRecord before = rows[i];
        if (!OnUntilPassed(rows[i], words[i], nowMs)) continue;
        ++changed;
        if (passed) passed(before, i);
    }
    return changed;
}

std::int32_t BoardTable::Find(const std::string& name) const {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (NamesEqual(rows[i].Name(), name)) return static_cast<std::int32_t>(i);
    return -1;
}

std::size_t BoardTable::Forget(std::chrono::steady_clock::time_point cutoff, std::vector<StatusRecord>* gone) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        // A row showing a plan in force stays however long its desk has been silent:
        // parental leave outlasts ForgetDays.
        if (lastStored[i] < cutoff && words[i].source != RowSource::Plan) {
            if (gone) gone->push_back(rows[i]);
            continue;
        }
        rows[kept] = rows[i];
        lastStored[kept] = lastStored[i];
        words[kept] = words[i];
        ++kept;
    }
    std::size_t forgotten = rows.size() - kept;
    rowCount.store(static_cast<std::int32_t>(kept));
    rows.resize(kept);
    lastStored.resize(kept);
    words.resize(kept);
    return forgotten;
}

#include "BoardTable.h"

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

std::size_t BoardTable::Store(const StatusRecord& record, std::chrono::steady_clock::time_point when) {
    std::int32_t found = Find(record.Name());
    if (found >= 0) {
        std::size_t i = static_cast<std::size_t>(found);
        rows[i] = record;
        lastStored[i] = when;
        return i;
    }
    // Room for both first, so a failure leaves the table as it was.
    lastStored.reserve(rows.size() + 1);
    rows.push_back(record);
    lastStored.push_back(when);
    rowCount.store(static_cast<std::int32_t>(rows.size()));
    return rows.size() - 1;
}

std::int32_t BoardTable::Find(const std::string& name) const {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (NamesEqual(rows[i].Name(), name)) return static_cast<std::int32_t>(i);
    return -1;
}

std::size_t BoardTable::Forget(std::chrono::steady_clock::time_point cutoff) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (lastStored[i] < cutoff) continue;
        rows[kept] = rows[i];
        lastStored[kept] = lastStored[i];
        ++kept;
    }
    std::size_t gone = rows.size() - kept;
    rowCount.store(static_cast<std::int32_t>(kept));
    rows.resize(kept);
    lastStored.resize(kept);
    return gone;
}

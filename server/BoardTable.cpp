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

std::size_t BoardTable::Store(const StatusRecord& record) {
    const std::string name = record.Name();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (NamesEqual(rows[i].Name(), name)) {
            rows[i] = record;
            lastStored[i] = std::chrono::steady_clock::now();
            return i;
        }
    }
    // Room for both first, so a failure leaves the table as it was.
    lastStored.reserve(rows.size() + 1);
    rows.push_back(record);
    lastStored.push_back(std::chrono::steady_clock::now());
    rowCount.store(static_cast<std::int32_t>(rows.size()));
    return rows.size() - 1;
}

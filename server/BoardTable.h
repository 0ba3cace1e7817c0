// The board's rows, one per name, and the lock that guards them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "StatusRecord.h"

// A semaphore of count 1, taken with a time-out.
class TableLock {
public:
    bool WaitFor(std::chrono::milliseconds timeout);
    void Release();

private:
    std::mutex mutex;
    std::condition_variable freed;
    bool taken = false;
};

class BoardTable {
public:
    // Replaces the first row whose name matches by the key rule, or appends.
    // The caller holds tableLock. Returns the row's index.
    std::size_t Store(const StatusRecord& record);
    // Rows are read and changed only under tableLock.
    StatusRecord& Row(std::size_t index) { return rows[index]; }
    // When the row's last record was stored; kept beside the record, never sent.
    std::chrono::steady_clock::time_point LastStored(std::size_t index) const { return lastStored[index]; }
    // Readable at any moment, without the lock.
    std::int32_t RowCount() const { return rowCount.load(); }

private:
    std::vector<StatusRecord> rows;
    std::vector<std::chrono::steady_clock::time_point> lastStored;
    std::atomic<std::int32_t> rowCount{0};
};

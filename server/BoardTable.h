// The board's rows, one per name, and the lock that guards them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "BoardClock.h"
#include "RowRule.h"
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

// The table held for a scope: taken with a time-out, released however the
// scope ends, an exception included. False when the time ran out.
class TableHold {
public:
    TableHold(TableLock& lock_, std::chrono::milliseconds timeout) : lock(lock_), held(lock_.WaitFor(timeout)) {}
    ~TableHold() {
        if (held) lock.Release();
    }
    TableHold(const TableHold&) = delete;
    TableHold& operator=(const TableHold&) = delete;
    explicit operator bool() const { return held; }

private:
    TableLock& lock;
    const bool held;
};

class BoardTable {
public:
    // Replaces the first row whose name matches by the key rule, or appends.
    // The caller holds tableLock. Returns the row's index.
    std::size_t Store(const StatusRecord& record);
    // The same, with the time the record was stored given (rows read back from disk).
    std::size_t Store(const StatusRecord& record, std::chrono::steady_clock::time_point when);
    // The index of the row the key rule gives for `name`, or -1.
    std::int32_t Find(const std::string& name) const;
    // The rule of whose word is shown (RowRule.h), for when the board takes
    // words from browsers. The caller holds tableLock. A record from a desk:
    // `shown` tells whether the row now shows it.
    // `nowMs`, the calendar time, dates the row's since.
    std::size_t StoreFromDesk(const StatusRecord& record, bool& shown, std::int64_t nowMs = WallMs());
    std::size_t StoreFromBrowser(const StatusRecord& record, bool hasUntil, std::int64_t untilMs,
                                 std::int64_t nowMs = WallMs(), const std::string& author = std::string());
    // A plan's time starts on the row of the record's name, made when there is
    // none (`added`); true when the row now shows it.
    bool StartPlan(const StatusRecord& record, std::int64_t planId, std::int64_t startMs, std::int64_t untilMs,
                   const std::string& author, bool& added);
    // A plan's time ends on the row of `name`: the desk still speaks when it was
    // heard within `speaking`. A row with nothing to go back to leaves the board.
    PlanEnd EndPlan(const std::string& name, std::int64_t planId, std::int64_t startMs,
                    std::chrono::steady_clock::duration speaking, std::int64_t nowMs);
    // The same at a row's index, for many rows at once: a row with nothing to go
    // back to is left for the caller to remove (PlanEnd::Gone).
    bool StartPlanAt(std::size_t index, const StatusRecord& record, std::int64_t planId, std::int64_t startMs,
                     std::int64_t untilMs, const std::string& author);
    PlanEnd EndPlanAt(std::size_t index, std::int64_t planId, std::int64_t startMs,
                      std::chrono::steady_clock::duration speaking, std::int64_t nowMs);
    // A row read back from disk with its word, as it was.
    std::size_t Restore(const StatusRecord& record, std::chrono::steady_clock::time_point when, const RowWord& word);
    // The row leaves the board; false when there is none of that name.
    bool Remove(const std::string& name);
    // Browser words whose time has come go back to their desk's record; how
    // many did. Each row that did is told to `passed` with what it showed before.
    std::size_t PassUntil(std::int64_t nowMs,
                          const std::function<void(const StatusRecord& before, std::size_t index)>& passed = nullptr);
    const RowWord& Word(std::size_t index) const { return words[index]; }
    // Drops every row last stored before `cutoff` that shows no plan, keeping the others' order.
    // The caller holds tableLock. Returns how many went (and, with `gone`, which).
    std::size_t Forget(std::chrono::steady_clock::time_point cutoff, std::vector<StatusRecord>* gone = nullptr);
    // Rows are read and changed only under tableLock.
    StatusRecord& Row(std::size_t index) { return rows[index]; }
    // When the row's last record was stored; kept beside the record, never sent.
    std::chrono::steady_clock::time_point LastStored(std::size_t index) const { return lastStored[index]; }
    // Readable at any moment, without the lock.
    std::int32_t RowCount() const { return rowCount.load(); }

private:
    std::vector<StatusRecord> rows;
    std::vector<std::chrono::steady_clock::time_point> lastStored;
    std::vector<RowWord> words;
    // The row for the record's name, appended when there is none.
    std::size_t RowFor(const StatusRecord& record, std::chrono::steady_clock::time_point when);
    std::atomic<std::int32_t> rowCount{0};
};

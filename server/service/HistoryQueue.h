// The history's entries on their way to the database. Those that a busy, locked or
// full database could not take wait here with their own times and are written with the
// next ones, oldest first; past the limit the oldest give way, counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "HistoryEntry.h"

class HistoryQueue {
public:
    using Write = std::function<bool(const std::vector<HistoryEntry>& entries, std::string& error)>;
    // `limit`: how many may wait; `chunk`: how many one write takes at most.
    HistoryQueue(std::size_t limit, std::size_t chunk) : limit(limit), chunk(chunk) {}
    void Add(const std::vector<HistoryEntry>& entries);
    // The waiting entries through `write`, a chunk at a time; false with its error, the
    // entries still waiting, at the first that fails.
    bool Flush(const Write& write, std::string& error);
    // From any thread: how many wait, and how many gave way since the start.
    std::size_t Waiting() const { return waitingCount.load(); }
    std::uint64_t Dropped() const { return dropped.load(); }

private:
    const std::size_t limit, chunk;
    std::deque<HistoryEntry> waiting;
    std::atomic<std::size_t> waitingCount{0};
    std::atomic<std::uint64_t> dropped{0};
};

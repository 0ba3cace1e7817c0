#include "HistoryQueue.h"

void HistoryQueue::Add(const std::vector<HistoryEntry>& entries) {
    waiting.insert(waiting.end(), entries.begin(), entries.end());
    if (waiting.size() > limit) {
        dropped += waiting.size() - limit;
        waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(waiting.size() - limit));
    }
    waitingCount = waiting.size();
}

bool HistoryQueue::Flush(const Write& write, std::string& error) {
    while (!waiting.empty()) {
        const std::size_t n = waiting.size() < chunk ? waiting.size() : chunk;
        const std::vector<HistoryEntry> next(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(n));
        if (!write(next, error)) return false;
        waiting.erase(waiting.begin(), waiting.begin() + static_cast<std::ptrdiff_t>(n));
        waitingCount = waiting.size();
    }
    return true;
}

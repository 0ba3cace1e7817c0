// The service's history: opened with the store, its entries kept through a queue while
// the database cannot take them, old ones deleted, and what the web view reads of it.
#include "BoardService.h"

namespace {

typedef std::chrono::steady_clock Clock;

}  // namespace

void BoardService::ServeHistory() {
    web.history = [this](const std::string& name, std::int64_t fromMs, std::int64_t toMs, std::size_t limit,
                         std::vector<HistoryEntry>& entries) {
        std::string error;
        return storeReader && storeReader->History(name, fromMs, toMs, limit, entries, error);
    };
    web.standingAt = [this](std::int64_t atMs, std::vector<HistoryEntry>& standing) {
        std::string error;
        return storeReader && storeReader->StandingAt(atMs, standing, error);
    };
    web.healthNote = [this] {
        const std::size_t waiting = history.Waiting();
        const std::uint64_t lost = history.Dropped();
        if (!waiting && !lost) return std::string();
        return "history: " + std::to_string(waiting) + " changes wait for the database" +
               (lost ? ", " + std::to_string(lost) + " could not wait and are not in it" : "");
    };
}

bool BoardService::OpenHistory() {
    if (!config.historyDays) return true;
    std::string error;
    // The web view reads on a connection of its own.
    if (!(storeReader = BoardStore::Connect(config.stateFile, error))) {
        host.Log(LogError,
                 "the database " + config.stateFile + " cannot be opened for reading: " + error + "; not starting");
        return false;
    }
    host.Log(LogInfo, "keeping " + std::to_string(config.historyDays) + " days of history in " + config.stateFile);
    ForgetHistory();
    return true;
}

void BoardService::KeepHistory(const std::vector<HistoryEntry>& entries) {
    history.Add(entries);
    FlushHistory();
}

void BoardService::FlushHistory(bool force) {
    if (history.Dropped() != droppedTold) {
        host.Log(LogWarning, std::to_string(history.Dropped() - droppedTold) +
                                 " changes waited too long for the database and are not in the history");
        droppedTold = history.Dropped();
    }
    if (!store || history.Waiting() == 0) return;
    // A database that failed is tried again every few seconds, not at each tick: a busy one holds each try.
    const Clock::time_point now = Clock::now();
    if (!force && !lastHistoryError.empty() && now - lastHistoryTry < HistoryRetryInterval) return;
    lastHistoryTry = now;
    const std::size_t had = history.Waiting();
    std::string error;
    if (history.Flush(
            [this](const std::vector<HistoryEntry>& e, std::string& why) { return store->AddHistory(e, why); },
            error)) {
        if (!lastHistoryError.empty())
            host.Log(LogInfo, "the history is written to " + config.stateFile + " again; the " + std::to_string(had) +
                                  " changes that waited are in it");
        lastHistoryError.clear();
        return;
    }
    // Once per distinct error, with what waits; the board serves on.
    if (error != lastHistoryError)
        host.Log(LogError, "cannot write the history to " + config.stateFile + ": " + error + "; " +
                               std::to_string(history.Waiting()) + " changes wait to be written");
    lastHistoryError = error;
}

void BoardService::ForgetHistory() {
    lastRetention = Clock::now();
    if (!store || !config.historyDays) return;
    std::int64_t deleted = 0;
    std::string error;
    const std::int64_t before = WallMs() - static_cast<std::int64_t>(config.historyDays) * 86400 * 1000;
    if (!store->ForgetHistory(before, deleted, error))
        host.Log(LogError, "cannot delete old history: " + error);
    else if (deleted)
        host.Log(LogInfo, std::to_string(deleted) + " history entries older than " +
                              std::to_string(config.historyDays) + " days deleted");
}

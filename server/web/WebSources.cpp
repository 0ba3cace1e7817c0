// The web view's wiring to the board: the snapshot and its JSON, browsers'
// words stored through the board's rule, health, metrics and the roll call.
#include <ctime>

#include "BeastMessages.h"
#include "BoardMetrics.h"
#include "BoardSnapshot.h"
#include "BrowserWords.h"
#include "RollCall.h"
#include "WebServerImpl.h"

bool WebServer::Impl::BoardJsonText(std::string& json) {
    BoardSnapshot snapshot;
    if (!TakeSnapshot(board, snapshot)) return false;
    {
        std::lock_guard<std::mutex> guard(updatesLock);
        snapshot.updates = updateSettings.on;
        snapshot.codeNeeded = updateSettings.on && !updateSettings.code.empty();
    }
    json = BoardJson(snapshot);  // formatted after the lock is left
    return true;
}

WebSources WebServer::Impl::Sources() {
    WebSources sources;
    sources.updates = [this] {
        std::lock_guard<std::mutex> guard(updatesLock);
        return updateSettings;
    };
    sources.guard = &codeGuard;
    sources.notice = notice;
    sources.setWord = [this](const BrowserWord& word, const std::string& sender) {
        StatusRecord record;
        record.SetName(word.name);
        record.SetStatus(word.status);
        record.SetMessage(word.message);
        std::int64_t until = word.hasUntil ? UntilMs(word.hour, word.minute, WallMs()) : 0;
        return StoreBrowserWord(board, record, word.hasUntil, until, word.hasUntil ? ClockText(until) : "",
                                AddressOf(sender));
    };
    sources.removeRow = [this](const std::string& name, const std::string& sender, bool& found) {
        return RemoveBrowserRow(board, name, AddressOf(sender), found);
    };
    sources.boardJson = [this](std::string& json) { return BoardJsonText(json); };
    sources.healthy = [this](std::string& reason) { return BoardHealthy(board, SteadyMs(), reason); };
    sources.healthNote = [this] {
        if (!board.directory) return std::string();
        const DirectoryState d = board.directory->State();
        if (d.updatedMs == 0) return "staff directory: never read" + (d.error.empty() ? "" : ": " + d.error);
        const std::int64_t minutes = (WallMs() - d.updatedMs) / 60000;
        return "staff directory: " + std::to_string(d.list->people.size()) + " people, read " +
               std::to_string(minutes < 0 ? 0 : minutes) + " min ago" + (d.error.empty() ? "" : "; " + d.error);
    };
    sources.metrics = [this] {
        MetricsValues values = ReadMetrics(board, answered);
        BoardSnapshot snapshot;
        if (values.directory && TakeSnapshot(board, snapshot))
            values.directoryUnheard = static_cast<std::int64_t>(snapshot.unheard.size());
        return MetricsText(values);
    };
    sources.rollCsv = [this](std::string& csv) {
        BoardSnapshot snapshot;
        if (!TakeSnapshot(board, snapshot)) return false;
        csv = RollCsv(snapshot, std::time(nullptr));
        return true;
    };
    return sources;
}

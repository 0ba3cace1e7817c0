// The web view's wiring to the board: the snapshot and its JSON, browsers'
// words stored through the board's rule, health, metrics and the roll call.
#include <ctime>

#include "BeastMessages.h"
#include "BoardMetrics.h"
#include "BoardSnapshot.h"
#include "BrowserWords.h"
#include "Gzip.h"
#include "RollCall.h"
#include "WebServerImpl.h"

bool WebServer::Impl::BoardJsonFor(const std::string& ifNoneMatch, bool gzip, BoardJsonAnswer& answer) {
    BoardSnapshot snapshot;
    if (!TakeSnapshot(board, snapshot)) return false;
    {
        std::lock_guard<std::mutex> guard(updatesLock);
        snapshot.updates = updateSettings.on;
        snapshot.signIn = updateSettings.on && signIn != nullptr;
        snapshot.codeNeeded = updateSettings.on && !updateSettings.code.empty() && !snapshot.signIn;
        snapshot.history = (snapshot.codeNeeded || snapshot.signIn) && history != nullptr;
    }
    if (nextPlan) {
        const std::int64_t now = WallMs();
        for (auto* rows : {&snapshot.rows, &snapshot.unheard})
            for (SnapshotRow& row : *rows) {
                Plan plan;
                Occurrence next;
                if (!nextPlan(row.name, now, plan, next)) continue;
                row.hasNextPlan = true;
                row.nextStart = LocalText(UtcToLocal(next.startMs), plan.allDay);
                // A whole-day plan's end is its last day, as the office says it.
                row.nextEnd = LocalText(UtcToLocal(plan.allDay ? next.endMs - 1 : next.endMs), plan.allDay);
                row.nextStatus = plan.status;
                row.nextMessage = plan.message;
            }
    }
    answer.etag = BoardEtag(snapshot);
    if (!ifNoneMatch.empty() && ifNoneMatch.find(answer.etag.substr(2)) != std::string::npos) return true;
    const auto now = std::chrono::steady_clock::now();
    if (lastJson.etag != answer.etag || now - lastJson.made > std::chrono::seconds(1)) {
        lastJson.etag = answer.etag;
        lastJson.body = std::make_shared<const std::string>(BoardJson(snapshot));  // after the lock is left
        lastJson.gzipped.reset();
        lastJson.made = now;
    }
    if (gzip && !lastJson.gzipped) lastJson.gzipped = std::make_shared<const std::string>(Gzip(*lastJson.body));
    answer.body = gzip ? lastJson.gzipped : lastJson.body;
    answer.gzipped = gzip;
    return true;
}

// The staff directory's line for /healthz: how many people, read how long ago, and its trouble.
std::string WebServer::Impl::StaffNote() const {
    if (!board.directory) return std::string();
    const DirectoryState d = board.directory->State();
    const std::string trouble = d.error.empty() ? "" : d.error + " (at " + ClockText(d.errorMs) + ")";
    if (d.updatedMs == 0) return "staff directory: never read" + (trouble.empty() ? "" : ": " + trouble);
    const std::int64_t minutes = (WallMs() - d.updatedMs) / 60000;
    return "staff directory: " + std::to_string(d.list->people.size()) + " people, read " +
           std::to_string(minutes < 0 ? 0 : minutes) + " min ago" + (trouble.empty() ? "" : "; " + trouble);
}

WebSources WebServer::Impl::Sources() {
    WebSources sources;
    sources.updates = [this] {
        std::lock_guard<std::mutex> guard(updatesLock);
        return updateSettings;
    };
    sources.guard = &codeGuard;
    sources.notice = notice;
    sources.history = history;
    if (standingAt)
        sources.rollAt = [this](std::int64_t atMs, BoardSnapshot& snapshot) {
            std::vector<HistoryEntry> standing;
            if (!standingAt(atMs, standing)) return false;
            snapshot = SnapshotAt(atMs, standing, board.directory.get());
            snapshot.signIn = signIn != nullptr;
            return true;
        };
    sources.setWord = [this](const BrowserWord& word, const std::string& sender, const std::string& author) {
        StatusRecord record;
        record.SetName(word.name);
        record.SetStatus(word.status);
        record.SetMessage(word.message);
        std::int64_t until = word.hasUntil ? UntilMs(word.hour, word.minute, WallMs()) : 0;
        return StoreBrowserWord(board, record, word.hasUntil, until, word.hasUntil ? ClockText(until) : "",
                                AddressOf(sender), author);
    };
    sources.removeRow = [this](const std::string& name, const std::string& sender, bool& found,
                               const std::string& author) {
        return RemoveBrowserRow(board, name, AddressOf(sender), found, author);
    };
    sources.signIn = signIn;
    sources.accountGuard = &accountGuard;
    sources.plans = plans;
    sources.boardJson = [this](const std::string& ifNoneMatch, bool gzip, BoardJsonAnswer& answer) {
        return BoardJsonFor(ifNoneMatch, gzip, answer);
    };
    sources.healthy = [this](std::string& reason) { return BoardHealthy(board, SteadyMs(), reason); };
    sources.healthNote = [this] {
        const std::string own = serviceNote ? serviceNote() : std::string();
        const std::string staff = StaffNote();
        return own + (!own.empty() && !staff.empty() ? "\n" : "") + staff;
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
        snapshot.signIn = signIn != nullptr;
        csv = RollCsv(snapshot, std::time(nullptr));
        return true;
    };
    return sources;
}

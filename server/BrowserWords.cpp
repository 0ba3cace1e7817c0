#include "BrowserWords.h"

namespace {

const std::chrono::milliseconds StoreWait{1000};

}  // namespace

bool StoreBrowserWord(BoardServer& board, const StatusRecord& record, bool hasUntil, std::int64_t untilMs,
                      const std::string& untilText, std::uint32_t sender, const std::string& author) {
    TableHold hold(board.tableLock, StoreWait);
    if (!hold) return false;
    RowChange change;
    std::int32_t before = board.table.Find(record.Name());
    change.added = before < 0;
    if (!change.added) {
        const std::size_t at = static_cast<std::size_t>(before);
        const RowWord& was = board.table.Word(at);
        change.before = board.table.Row(at);
        change.unchanged = was.source == RowSource::Browser && change.before.Status() == record.Status() &&
                           change.before.Message() == record.Message() && was.hasUntil == hasUntil &&
                           (!hasUntil || was.untilMs == untilMs) && was.author == author;
    }
    board.table.StoreFromBrowser(record, hasUntil, untilMs, WallMs(), author);
    change.after = record;
    change.sender = sender;
    change.author = author;
    change.fromBrowser = true;
    change.until = hasUntil ? untilText : std::string();
    if (board.rowChanged) board.rowChanged(change);
    if (board.boardChanged) board.boardChanged();
    return true;
}

bool RemoveBrowserRow(BoardServer& board, const std::string& name, std::uint32_t sender, bool& found,
                      const std::string& author) {
    TableHold hold(board.tableLock, StoreWait);
    if (!hold) return false;
    RowChange change;
    std::int32_t at = board.table.Find(name);
    found = at >= 0;
    if (found) change.after = board.table.Row(static_cast<std::size_t>(at));
    found = found && board.table.Remove(name);
    if (found) {
        change.sender = sender;
        change.author = author;
        change.fromBrowser = true;
        change.removed = true;
        if (board.rowChanged) board.rowChanged(change);
        if (board.boardChanged) board.boardChanged();
    }
    return true;
}

void PassBrowserWords(BoardServer& board, std::int64_t nowMs) {
    TableHold hold(board.tableLock, std::chrono::milliseconds(50));
    if (!hold) return;  // the next tick tries again
    std::size_t changed = board.table.PassUntil(nowMs, [&board](const StatusRecord& before, std::size_t index) {
        if (!board.rowChanged) return;
        RowChange change;
        change.before = before;
        change.after = board.table.Row(index);
        change.untilPassed = true;
        board.rowChanged(change);
    });
    if (changed && board.boardChanged) board.boardChanged();
}

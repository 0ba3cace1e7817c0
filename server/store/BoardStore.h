// The service's one store: an SQLite database in WAL mode holding the rows,
// the last good staff list and, when the office keeps one, the history of what
// the rows showed. Its schema is `PRAGMA user_version`, brought up to date one
// migration at a time when it is opened. Used from one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HistoryEntry.h"
#include "Plan.h"
#include "StaffList.h"
#include "StoredRow.h"

struct sqlite3;

// The schema this code writes; each version before it has its migration.
const int StoreVersion = 4;

// A signed-in browser, known by the hash of its token (never the token).
struct StoredSession {
    std::string tokenHash;
    std::string name;  // the account, by the board's key rule
    bool reception = false;
    bool keep = false;  // "keep me signed in": a longer idle time
    std::int64_t createdMs = 0, seenMs = 0;
};

class BoardStore {
public:
    enum class Found { New, Existing, SetAside };
    // Opens (or makes) the database at `path` and brings its schema up to date.
    // A file that is not a sound database is renamed <path>.damaged and a new one
    // made (`found` says so); null with `error` when the file cannot be opened or
    // written, or was written by a newer version.
    static std::unique_ptr<BoardStore> Open(const std::string& path, Found& found, std::string& error);
    // One more connection to a database that Open has made ready, for another thread.
    static std::unique_ptr<BoardStore> Connect(const std::string& path, std::string& error);
    ~BoardStore();
    BoardStore(const BoardStore&) = delete;
    BoardStore& operator=(const BoardStore&) = delete;

    int Version() const;
    // Every row, in board order, in one transaction that writes only the rows
    // changed since the last save or load; `savedMs`: when (ms since 1970).
    bool SaveRows(const std::vector<StoredRow>& rows, std::int64_t savedMs, std::string& error);
    // `savedMs`: when they were saved (0: never).
    bool LoadRows(std::vector<StoredRow>& rows, std::int64_t& savedMs, std::string& error);
    // Rows and, when given, a staff list brought in from elsewhere, as one transaction.
    bool Take(const std::vector<StoredRow>& rows, const StaffList* staff, std::int64_t readMs, std::int64_t savedMs,
              std::string& error);
    bool SaveStaff(const StaffList& list, std::int64_t readMs, std::string& error);
    // False (and nothing in `list`) when no list was ever kept.
    bool LoadStaff(StaffList& list, std::int64_t& readMs, std::string& error);

    bool AddHistory(const std::vector<HistoryEntry>& entries, std::string& error);
    // A row's changes (by the board's key rule; empty: everybody's) from `fromMs`
    // up to `toMs`, both included: the newest `limit` of them, oldest first.
    bool History(const std::string& name, std::int64_t fromMs, std::int64_t toMs, std::size_t limit,
                 std::vector<HistoryEntry>& entries, std::string& error);
    // Each row's last entry at or before `atMs` (what it showed then), rows
    // removed or forgotten by then left out; in no particular order.
    bool StandingAt(std::int64_t atMs, std::vector<HistoryEntry>& entries, std::string& error);
    // Entries older than `beforeMs` deleted; how many.
    bool ForgetHistory(std::int64_t beforeMs, std::int64_t& deleted, std::string& error);
    bool AddSession(const StoredSession& session, std::string& error);
    // `found` false when there is no such session.
    bool FindSession(const std::string& tokenHash, StoredSession& session, bool& found, std::string& error);
    bool TouchSession(const std::string& tokenHash, std::int64_t seenMs, std::string& error);
    bool EndSession(const std::string& tokenHash, std::string& error);
    // Every session of the account `name` (by the key rule); how many.
    bool EndSessionsOf(const std::string& name, std::int64_t& ended, std::string& error);
    // Sessions idle since before `before` (`keptBefore` for kept ones) ended.
    bool ForgetSessions(std::int64_t before, std::int64_t keptBefore, std::string& error);
    // A wall screen's view-only key (its hash) added; `replace`: the only one, the others ended.
    bool AddWallKey(const std::string& keyHash, std::int64_t madeMs, bool replace, std::string& error);
    bool WallKeyKnown(const std::string& keyHash, bool& known, std::string& error);
    // A calendar feed's key (its hash) added, the feed named "office", "group:NAME"
    // or "person:name"; `replace`: the feed's only one. A feed keeps its 10 newest.
    bool AddCalendarKey(const std::string& keyHash, const std::string& feed, std::int64_t madeMs, bool replace,
                        std::string& error);
    // The feed a key opens; empty when none.
    bool CalendarFeedOf(const std::string& keyHash, std::string& feed, std::string& error);
    // Plans: added (a new id given) or replaced, deleted, and every one read.
    bool PutPlan(Plan& plan, std::string& error);
    bool DeletePlan(std::int64_t id, std::string& error);
    bool LoadPlans(std::vector<Plan>& plans, std::string& error);
    // Plans added by another program (an import) as one step, and the time it
    // marks, which the service watches to read them; 0 when none did.
    bool PutPlans(std::vector<Plan>& plans, std::int64_t nowMs, std::string& error);
    bool PlansChangedMs(std::int64_t& ms, std::string& error);

    // A whole copy at `path`, safe while the service writes.
    bool Backup(const std::string& path, std::string& error);
    // A copy of the database at `from` (which must be there) put at `to` whole or
    // not at all; safe while the service runs.
    static bool BackupFile(const std::string& from, const std::string& to, std::string& error);

private:
    explicit BoardStore(sqlite3* db_) : db(db_) {}
    bool Exec(const std::string& sql, std::string& error);
    // Ends the transaction begun: committed when every step went well, else rolled back with the error.
    bool Finish(bool good, std::string& error);
    // Within a transaction.
    bool PutRows(const std::vector<StoredRow>& rows, std::int64_t savedMs);
    bool PutStaff(const StaffList& list, std::int64_t readMs);
    sqlite3* db;
    std::vector<StoredRow> written;  // the rows as last saved or loaded
};

#include "BoardStore.h"

#include <cstdio>
#include <cstring>
#include <sqlite3.h>

#include "AsciiText.h"
#include "AtomicFile.h"
#include "StoreStatement.h"

namespace {

// Migration N takes a database of version N to N + 1.
const char* const Migrations[] = {
    "CREATE TABLE board_rows(position INTEGER PRIMARY KEY, record BLOB NOT NULL,"
    " source INTEGER NOT NULL, desk BLOB, until_ms INTEGER, since_ms INTEGER NOT NULL);"
    // When each row was last heard, apart: a desk's re-send changes only this.
    "CREATE TABLE board_heard(position INTEGER PRIMARY KEY, stored_ms INTEGER NOT NULL);"
    "CREATE TABLE staff(position INTEGER PRIMARY KEY, name TEXT NOT NULL, display_name TEXT NOT NULL,"
    " grp TEXT NOT NULL, phone TEXT NOT NULL);"
    // When the rows were last saved and the staff list last read good.
    "CREATE TABLE marks(name TEXT PRIMARY KEY, ms INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE history(id INTEGER PRIMARY KEY, at_ms INTEGER NOT NULL, name_key BLOB NOT NULL, name BLOB NOT NULL,"
    " status INTEGER NOT NULL, message BLOB NOT NULL, until TEXT NOT NULL, source TEXT NOT NULL,"
    " sender TEXT NOT NULL);"
    "CREATE INDEX history_by_name ON history(name_key, at_ms);"
    "CREATE INDEX history_by_time ON history(at_ms);"
    // Everybody the history names, so that a moment's roll call looks each one up.
    "CREATE TABLE history_people(name_key BLOB PRIMARY KEY) WITHOUT ROWID;",
    // Sign-in: the sessions, and who set a browser's word.
    "CREATE TABLE sessions(token_hash BLOB PRIMARY KEY, name BLOB NOT NULL, reception INTEGER NOT NULL,"
    " keep INTEGER NOT NULL, created_ms INTEGER NOT NULL, seen_ms INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX sessions_by_name ON sessions(name);"
    "ALTER TABLE board_rows ADD COLUMN author BLOB NOT NULL DEFAULT '';"
    "ALTER TABLE history ADD COLUMN author BLOB NOT NULL DEFAULT '';",
    // The view-only keys of wall screens, hashed.
    "CREATE TABLE wall_keys(key_hash BLOB PRIMARY KEY, made_ms INTEGER NOT NULL) WITHOUT ROWID;"
    // Plans entered ahead, their times as the office wrote them (local), and
    // on each row which plan's time it last showed and what stood before it.
    "CREATE TABLE plans(id INTEGER PRIMARY KEY, name_key BLOB NOT NULL, name BLOB NOT NULL, start TEXT NOT NULL,"
    " end TEXT NOT NULL, all_day INTEGER NOT NULL, status INTEGER NOT NULL, message BLOB NOT NULL,"
    " weekdays INTEGER NOT NULL, every INTEGER NOT NULL, until TEXT NOT NULL, except_days TEXT NOT NULL,"
    " source TEXT NOT NULL, author BLOB NOT NULL, created_ms INTEGER NOT NULL);"
    "CREATE INDEX plans_by_name ON plans(name_key);"
    "ALTER TABLE board_rows ADD COLUMN plan BLOB;"
    // The keys in calendar feeds' addresses, hashed, each for one feed.
    "CREATE TABLE calendar_keys(key_hash BLOB PRIMARY KEY, feed BLOB NOT NULL, made_ms INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX calendar_keys_by_feed ON calendar_keys(feed, made_ms);",
};
static_assert(sizeof Migrations / sizeof Migrations[0] == StoreVersion, "one migration per version");

std::string RecordBytes(const StatusRecord& record) {
    return std::string(reinterpret_cast<const char*>(record.Bytes()), StatusRecord::Size);
}

StatusRecord RecordOf(const std::string& bytes) {
    StatusRecord record;
    if (bytes.size() == StatusRecord::Size) std::memcpy(record.Bytes(), bytes.data(), StatusRecord::Size);
    return record;
}

// A row's plan: the time it last showed and what stood before; empty for none.
std::string PlanBytes(const RowWord& w) {
    if (!w.planId && !w.hasBefore) return std::string();
    std::string bytes(18, '\0');
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>((static_cast<std::uint64_t>(w.planId) >> (8 * i)) & 0xff);
        bytes[8 + i] = static_cast<char>((static_cast<std::uint64_t>(w.planStartMs) >> (8 * i)) & 0xff);
    }
    bytes[16] = w.hasBefore ? 1 : 0;
    bytes[17] = static_cast<char>(w.beforeSource);
    return bytes + RecordBytes(w.before) + w.beforeAuthor;
}

void TakePlanBytes(const std::string& bytes, RowWord& w) {
    if (bytes.size() < 18 + StatusRecord::Size) return;  // none, or not this board's
    std::uint64_t id = 0, start = 0;
    for (int i = 7; i >= 0; --i) {
        id = (id << 8) | static_cast<unsigned char>(bytes[i]);
        start = (start << 8) | static_cast<unsigned char>(bytes[8 + i]);
    }
    w.planId = static_cast<std::int64_t>(id);
    w.planStartMs = static_cast<std::int64_t>(start);
    w.hasBefore = bytes[16] == 1;
    w.beforeSource = bytes[17] == 1 ? RowSource::Browser : RowSource::Desk;
    w.before = RecordOf(bytes.substr(18, StatusRecord::Size));
    w.beforeAuthor = bytes.substr(18 + StatusRecord::Size);
}

// Whether a row's words (all but when it was last heard) are as saved.
bool SameWords(const StoredRow& a, const StoredRow& b) {
    return std::memcmp(a.record.Bytes(), b.record.Bytes(), StatusRecord::Size) == 0 && a.word.source == b.word.source &&
           a.word.hasDesk == b.word.hasDesk &&
           (!a.word.hasDesk || std::memcmp(a.word.desk.Bytes(), b.word.desk.Bytes(), StatusRecord::Size) == 0) &&
           a.word.hasUntil == b.word.hasUntil && (!a.word.hasUntil || a.word.untilMs == b.word.untilMs) &&
           a.word.sinceMs == b.word.sinceMs && a.word.author == b.word.author && PlanBytes(a.word) == PlanBytes(b.word);
}

// The entries a query gives, its columns in HistoryEntry's order.
bool ReadEntries(sqlite3* db, Statement& select, std::vector<HistoryEntry>& entries, std::string& error) {
    entries.clear();
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
        HistoryEntry e;
        e.atMs = select.Int(0);
        e.name = select.Bytes(1);
        e.status = static_cast<std::int32_t>(select.Int(2));
        e.message = select.Bytes(3);
        e.until = select.Bytes(4);
        e.source = select.Bytes(5);
        e.from = select.Bytes(6);
        e.author = select.Bytes(7);
        entries.push_back(e);
    }
    if (rc == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

// Whether the file is a database SQLite can read whole.
bool Sound(sqlite3* db) {
    Statement check(db, "PRAGMA quick_check");
    if (!check || check.Step() != SQLITE_ROW) return false;
    return check.Bytes(0) == "ok";
}

// `make`: a file not there yet is made.
sqlite3* OpenFile(const std::string& path, bool make, std::string& error) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (make ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = Why(db);
        sqlite3_close(db);
        return nullptr;
    }
    // Only the service's own connections write, each for a moment; a tick never
    // waits longer than this for another.
    sqlite3_busy_timeout(db, 2000);
    return db;
}

}  // namespace

std::unique_ptr<BoardStore> BoardStore::Open(const std::string& path, Found& found, std::string& error) {
    found = Found::Existing;
    std::FILE* existing = std::fopen(path.c_str(), "rb");
    if (!existing) found = Found::New;
    if (existing) std::fclose(existing);
    sqlite3* db = OpenFile(path, true, error);
    if (!db) return nullptr;
    if (found == Found::Existing && !Sound(db)) {
        // Damaged: set aside for whoever wants to look at it; the board starts again.
        sqlite3_close(db);
        const std::string aside = path + ".damaged";
        std::remove(aside.c_str());
        for (const char* part : {"-wal", "-shm"}) std::remove((path + part).c_str());
        if (std::rename(path.c_str(), aside.c_str()) != 0) {
            error = "the damaged database cannot be set aside as " + aside;
            return nullptr;
        }
        found = Found::SetAside;
        if (!(db = OpenFile(path, true, error))) return nullptr;
    }
    std::unique_ptr<BoardStore> store(new BoardStore(db));
    if (sqlite3_db_readonly(db, "main") == 1) {
        error = "the database cannot be written (read-only)";
        return nullptr;
    }
    const int version = store->Version();
    if (version > StoreVersion) {
        error = "the database is of version " + std::to_string(version) + ", newer than this program's " +
                std::to_string(StoreVersion);
        return nullptr;
    }
    if (!store->Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error)) return nullptr;
    for (int v = version; v < StoreVersion; ++v) {
        const std::string step =
            std::string("BEGIN;") + Migrations[v] + "PRAGMA user_version=" + std::to_string(v + 1) + ";COMMIT;";
        if (!store->Exec(step, error)) {
            store->Exec("ROLLBACK;", error);
            error = "the database cannot be brought to version " + std::to_string(v + 1) + ": " + Why(db);
            return nullptr;
        }
    }
    return store;
}

std::unique_ptr<BoardStore> BoardStore::Connect(const std::string& path, std::string& error) {
    sqlite3* db = OpenFile(path, false, error);
    return std::unique_ptr<BoardStore>(db ? new BoardStore(db) : nullptr);
}

BoardStore::~BoardStore() { sqlite3_close(db); }

bool BoardStore::Exec(const std::string& sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = message ? message : Why(db);
    sqlite3_free(message);
    return false;
}

bool BoardStore::Finish(bool good, std::string& error) {
    if (good && Exec("COMMIT;", error)) return true;
    if (error.empty()) error = Why(db);
    std::string ignored;
    Exec("ROLLBACK;", ignored);
    return false;
}

int BoardStore::Version() const {
    Statement version(db, "PRAGMA user_version");
    return version && version.Step() == SQLITE_ROW ? static_cast<int>(version.Int(0)) : 0;
}

bool BoardStore::PutRows(const std::vector<StoredRow>& rows, std::int64_t savedMs) {
    // Only what changed since the last save is written: a tick touches a few rows, not all.
    Statement words(
        db,
        "INSERT OR REPLACE INTO board_rows(position, record, source, desk, until_ms, since_ms, author, plan)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    Statement heard(db, "INSERT OR REPLACE INTO board_heard(position, stored_ms) VALUES (?, ?)");
    Statement cut(db, "DELETE FROM board_rows WHERE position >= ?");
    Statement cutHeard(db, "DELETE FROM board_heard WHERE position >= ?");
    Statement mark(db, "INSERT OR REPLACE INTO marks(name, ms) VALUES ('rows_saved', ?)");
    bool good = words && heard && cut && cutHeard && mark;
    for (std::size_t i = 0; good && i < rows.size(); ++i) {
        const StoredRow& row = rows[i];
        const bool known = i < written.size();
        if (!known || !SameWords(row, written[i])) {
            words.Number(1, static_cast<std::int64_t>(i)).Blob(2, RecordBytes(row.record));
            words.Number(3, static_cast<std::int64_t>(row.word.source));
            if (row.word.hasDesk)
                words.Blob(4, RecordBytes(row.word.desk));
            else
                words.Null(4);
            if (row.word.hasUntil)
                words.Number(5, row.word.untilMs);
            else
                words.Null(5);
            words.Number(6, row.word.sinceMs).Blob(7, row.word.author);
            const std::string plan = PlanBytes(row.word);
            if (plan.empty())
                words.Null(8);
            else
                words.Blob(8, plan);
            good = words.Step() == SQLITE_DONE;
            words.Reset();
        }
        if (good && (!known || row.storedMs != written[i].storedMs)) {
            good = heard.Number(1, static_cast<std::int64_t>(i)).Number(2, row.storedMs).Step() == SQLITE_DONE;
            heard.Reset();
        }
    }
    good = good && cut.Number(1, static_cast<std::int64_t>(rows.size())).Step() == SQLITE_DONE;
    good = good && cutHeard.Number(1, static_cast<std::int64_t>(rows.size())).Step() == SQLITE_DONE;
    return good && mark.Number(1, savedMs).Step() == SQLITE_DONE;
}

bool BoardStore::SaveRows(const std::vector<StoredRow>& rows, std::int64_t savedMs, std::string& error) {
    if (!Exec("BEGIN IMMEDIATE;", error)) return false;
    if (!Finish(PutRows(rows, savedMs), error)) {
        written.clear();  // not known what stands: the next save writes every row
        return false;
    }
    written = rows;
    return true;
}

bool BoardStore::Take(const std::vector<StoredRow>& rows, const StaffList* staff, std::int64_t readMs,
                      std::int64_t savedMs, std::string& error) {
    if (!Exec("BEGIN IMMEDIATE;", error)) return false;
    const bool good = PutRows(rows, savedMs) && (!staff || PutStaff(*staff, readMs));
    if (!Finish(good, error)) {
        written.clear();
        return false;
    }
    written = rows;
    return true;
}

bool BoardStore::LoadRows(std::vector<StoredRow>& rows, std::int64_t& savedMs, std::string& error) {
    Statement mark(db, "SELECT ms FROM marks WHERE name = 'rows_saved'");
    savedMs = mark && mark.Step() == SQLITE_ROW ? mark.Int(0) : 0;
    Statement select(db,
                     "SELECT r.record, coalesce(h.stored_ms, 0), r.source, r.desk, r.until_ms, r.since_ms, r.author,"
                     " r.plan"
                     " FROM board_rows r"
                     " LEFT JOIN board_heard h ON h.position = r.position ORDER BY r.position");
    if (!select) {
        error = Why(db);
        return false;
    }
    rows.clear();
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
        StoredRow row;
        row.record = RecordOf(select.Bytes(0));
        row.storedMs = select.Int(1);
        const std::int64_t source = select.Int(2);
        row.word.source = source == 1 ? RowSource::Browser : source == 2 ? RowSource::Plan : RowSource::Desk;
        row.word.hasDesk = !select.IsNull(3);
        if (row.word.hasDesk) row.word.desk = RecordOf(select.Bytes(3));
        row.word.hasUntil = !select.IsNull(4);
        row.word.untilMs = select.Int(4);
        row.word.sinceMs = select.Int(5);
        row.word.author = select.Bytes(6);
        TakePlanBytes(select.Bytes(7), row.word);
        rows.push_back(row);
    }
    written.clear();
    if (rc == SQLITE_DONE) {
        written = rows;
        return true;
    }
    rows.clear();
    error = Why(db);
    return false;
}

bool BoardStore::PutStaff(const StaffList& list, std::int64_t readMs) {
    Statement insert(db, "INSERT INTO staff(position, name, display_name, grp, phone) VALUES (?, ?, ?, ?, ?)");
    Statement read(db, "INSERT OR REPLACE INTO marks(name, ms) VALUES ('staff_read', ?)");
    std::string error;
    bool good = insert && read && Exec("DELETE FROM staff;", error);
    for (std::size_t i = 0; good && i < list.people.size(); ++i) {
        const StaffPerson& p = list.people[i];
        insert.Number(1, static_cast<std::int64_t>(i)).Blob(2, p.key).Text(3, p.displayName).Text(4, p.group);
        insert.Text(5, p.phone);
        good = insert.Step() == SQLITE_DONE;
        insert.Reset();
    }
    return good && read.Number(1, readMs).Step() == SQLITE_DONE;
}

bool BoardStore::SaveStaff(const StaffList& list, std::int64_t readMs, std::string& error) {
    if (!Exec("BEGIN IMMEDIATE;", error)) return false;
    return Finish(PutStaff(list, readMs), error);
}

bool BoardStore::LoadStaff(StaffList& list, std::int64_t& readMs, std::string& error) {
    Statement read(db, "SELECT ms FROM marks WHERE name = 'staff_read'");
    Statement select(db, "SELECT name, display_name, grp, phone FROM staff ORDER BY position");
    if (!read || !select) {
        error = Why(db);
        return false;
    }
    if (read.Step() != SQLITE_ROW) return false;
    readMs = read.Int(0);
    list = StaffList();
    while (select.Step() == SQLITE_ROW) {
        StaffPerson p{select.Bytes(0), select.Bytes(1), select.Bytes(2), select.Bytes(3)};
        list.byKey.emplace(AsciiLower(p.key), list.people.size());
        list.people.push_back(p);
    }
    return true;
}

bool BoardStore::AddHistory(const std::vector<HistoryEntry>& entries, std::string& error) {
    if (entries.empty()) return true;
    if (!Exec("BEGIN IMMEDIATE;", error)) return false;
    Statement insert(db,
                     "INSERT INTO history(at_ms, name_key, name, status, message, until, source, sender, author)"
                     " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    Statement person(db, "INSERT OR IGNORE INTO history_people(name_key) VALUES (?)");
    bool good = insert && person;
    for (std::size_t i = 0; good && i < entries.size(); ++i) {
        const HistoryEntry& e = entries[i];
        insert.Number(1, e.atMs).Blob(2, AsciiLower(e.name)).Blob(3, e.name).Number(4, e.status);
        insert.Blob(5, e.message).Text(6, e.until).Text(7, e.source).Text(8, e.from).Blob(9, e.author);
        good = insert.Step() == SQLITE_DONE && person.Blob(1, AsciiLower(e.name)).Step() == SQLITE_DONE;
        insert.Reset();
        person.Reset();
    }
    return Finish(good, error);
}

bool BoardStore::History(const std::string& name, std::int64_t fromMs, std::int64_t toMs, std::size_t limit,
                         std::vector<HistoryEntry>& entries, std::string& error) {
    // The newest `limit` of them, given oldest first.
    Statement select(db, name.empty()
                             ? "SELECT * FROM (SELECT at_ms, name, status, message, until, source, sender, author, id"
                               " FROM history WHERE at_ms >= ? AND at_ms <= ? ORDER BY at_ms DESC, id DESC"
                               " LIMIT ?) ORDER BY at_ms, id"
                             : "SELECT * FROM (SELECT at_ms, name, status, message, until, source, sender, author, id"
                               " FROM history WHERE at_ms >= ? AND at_ms <= ? AND name_key = ?"
                               " ORDER BY at_ms DESC, id DESC LIMIT ?) ORDER BY at_ms, id");
    if (!select) {
        error = Why(db);
        return false;
    }
    select.Number(1, fromMs).Number(2, toMs);
    if (!name.empty()) select.Blob(3, AsciiLower(name));
    select.Number(name.empty() ? 3 : 4, static_cast<std::int64_t>(limit));
    return ReadEntries(db, select, entries, error);
}

bool BoardStore::StandingAt(std::int64_t atMs, std::vector<HistoryEntry>& entries, std::string& error) {
    // Each person's last entry by then, looked up by the index: the last written
    // where two share a millisecond.
    Statement select(db,
                     "SELECT h.at_ms, h.name, h.status, h.message, h.until, h.source, h.sender, h.author"
                     " FROM history_people p"
                     " JOIN history h ON h.id = (SELECT id FROM history WHERE name_key = p.name_key AND at_ms <= ?1"
                     " ORDER BY at_ms DESC, id DESC LIMIT 1) WHERE h.source NOT IN ('removed', 'forgotten')");
    if (!select) {
        error = Why(db);
        return false;
    }
    select.Number(1, atMs);
    return ReadEntries(db, select, entries, error);
}

bool BoardStore::ForgetHistory(std::int64_t beforeMs, std::int64_t& deleted, std::string& error) {
    Statement remove(db, "DELETE FROM history WHERE at_ms < ?");
    if (!remove || remove.Number(1, beforeMs).Step() != SQLITE_DONE) {
        error = Why(db);
        return false;
    }
    deleted = sqlite3_changes(db);
    // Nobody is named who has no entry left.
    return deleted == 0 || Exec(
                               "DELETE FROM history_people WHERE NOT EXISTS"
                               " (SELECT 1 FROM history WHERE name_key = history_people.name_key)",
                               error);
}

bool BoardStore::BackupFile(const std::string& from, const std::string& to, std::string& error) {
    // The service's file as it stands, never made, migrated or set aside from here.
    std::unique_ptr<BoardStore> store = Connect(from, error);
    if (!store) return false;
    const std::string part = to + ".part";
    std::remove(part.c_str());
    if (!store->Backup(part, error)) {
        std::remove(part.c_str());
        return false;
    }
    if (!MoveReplacing(part, to)) {
        error = "the copy cannot be put at " + to;
        std::remove(part.c_str());
        return false;
    }
    return true;
}

bool BoardStore::Backup(const std::string& path, std::string& error) {
    sqlite3* copy = OpenFile(path, true, error);
    if (!copy) return false;
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", db, "main");
    int rc = backup ? sqlite3_backup_step(backup, -1) : SQLITE_ERROR;
    if (backup) sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) error = Why(copy);
    sqlite3_close(copy);
    return rc == SQLITE_DONE;
}

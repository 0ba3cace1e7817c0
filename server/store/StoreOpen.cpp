// Opening the one database: made where there is none, checked, set aside only where a
// check found damage, brought to this program's version, and copied whole for a backup.
#include "BoardStore.h"

#include <cstdio>
#include <sqlite3.h>

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
    // A plan's id is never given again once deleted: a row keeps the id of the plan whose
    // time it showed, and a new plan with an old id and start would never show.
    "CREATE TABLE plans_kept(id INTEGER PRIMARY KEY AUTOINCREMENT, name_key BLOB NOT NULL, name BLOB NOT NULL,"
    " start TEXT NOT NULL, end TEXT NOT NULL, all_day INTEGER NOT NULL, status INTEGER NOT NULL,"
    " message BLOB NOT NULL, weekdays INTEGER NOT NULL, every INTEGER NOT NULL, until TEXT NOT NULL,"
    " except_days TEXT NOT NULL, source TEXT NOT NULL, author BLOB NOT NULL, created_ms INTEGER NOT NULL);"
    "INSERT INTO plans_kept SELECT id, name_key, name, start, end, all_day, status, message, weekdays, every, until,"
    " except_days, source, author, created_ms FROM plans;"
    "DROP TABLE plans;"
    "ALTER TABLE plans_kept RENAME TO plans;"
    "CREATE INDEX plans_by_name ON plans(name_key);",
};
static_assert(sizeof Migrations / sizeof Migrations[0] == StoreVersion, "one migration per version");

enum class Check { Sound, Damaged, Unknown };

// Whether the file is a database SQLite can read whole. Only a check that ran and found
// damage, or a file that is no database at all, is damage: a file another program holds
// (busy, locked), a failing disk or a lack of memory say nothing of the rows in it.
Check CheckFile(sqlite3* db, std::string& error) {
    Statement check(db, "PRAGMA quick_check");
    const int rc = check ? check.Step() : sqlite3_errcode(db);
    if (rc == SQLITE_ROW) return check.Bytes(0) == "ok" ? Check::Sound : Check::Damaged;
    const int primary = sqlite3_extended_errcode(db) & 0xff;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) return Check::Damaged;
    error = "it cannot be checked (" + Why(db) + "); nothing was changed";
    return Check::Unknown;
}

// `make`: a file not there yet is made; `look`: read only, which leaves the file and its
// journal exactly as they are when the connection closes.
sqlite3* OpenFile(const std::string& path, bool make, std::string& error, bool look = false) {
    sqlite3* db = nullptr;
    const int flags =
        (look ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | (make ? SQLITE_OPEN_CREATE : 0)) | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = Why(db);
        sqlite3_close(db);
        return nullptr;
    }
    // Only the service's own connections write, each for a moment; a tick never
    // waits longer than this for another.
    sqlite3_busy_timeout(db, 2000);
    // The journal goes back to a few MB once written through, however large the last import was.
    sqlite3_exec(db, "PRAGMA journal_size_limit=4194304", nullptr, nullptr, nullptr);
    return db;
}

}  // namespace

std::unique_ptr<BoardStore> BoardStore::Open(const std::string& path, Found& found, std::string& error) {
    found = Found::Existing;
    std::FILE* existing = std::fopen(path.c_str(), "rb");
    if (!existing) found = Found::New;
    if (existing) std::fclose(existing);
    // Opened for writing first, for its words when it cannot be; checked on a connection of
    // its own that only reads, so nothing is changed before the check has spoken.
    sqlite3* db = OpenFile(path, true, error);
    if (!db) return nullptr;
    Check check = Check::Sound;
    if (found == Found::Existing) {
        sqlite3* look = OpenFile(path, false, error, true);
        check = look ? CheckFile(look, error) : Check::Unknown;
        sqlite3_close(look);
    }
    if (check == Check::Unknown) {
        sqlite3_close(db);
        return nullptr;
    }
    if (check == Check::Damaged) {
        // Damaged: set aside with its journal, whose commits may be all that is left, for
        // whoever wants to look at it; the board starts again.
        sqlite3_close(db);
        const std::string aside = path + ".damaged";
        for (const char* part : {"", "-wal", "-shm"}) std::remove((aside + part).c_str());
        if (std::rename(path.c_str(), aside.c_str()) != 0) {
            error = "the damaged database cannot be set aside as " + aside;
            return nullptr;
        }
        for (const char* part : {"-wal", "-shm"}) {
            std::FILE* journal = std::fopen((path + part).c_str(), "rb");
            if (!journal) continue;
            std::fclose(journal);
            if (std::rename((path + part).c_str(), (aside + part).c_str()) != 0) {
                error =
                    "the damaged database's " + std::string(part + 1) + " file cannot be set aside as " + aside + part;
                return nullptr;
            }
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

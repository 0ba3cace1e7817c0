// Sign-in's part of the store: sessions, wall screens' keys and calendar
// feeds' keys, each kept as a hash only.
#include "AsciiText.h"
#include "BoardStore.h"
#include "StoreStatement.h"

bool BoardStore::AddSession(const StoredSession& session, std::string& error) {
    Statement insert(db,
                     "INSERT OR REPLACE INTO sessions(token_hash, name, reception, keep, created_ms, seen_ms)"
                     " VALUES (?, ?, ?, ?, ?, ?)");
    if (insert) {
        insert.Blob(1, session.tokenHash).Blob(2, AsciiLower(session.name)).Number(3, session.reception);
        insert.Number(4, session.keep).Number(5, session.createdMs).Number(6, session.seenMs);
    }
    if (insert && insert.Step() == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

bool BoardStore::FindSession(const std::string& tokenHash, StoredSession& session, bool& found, std::string& error) {
    Statement select(db, "SELECT name, reception, keep, created_ms, seen_ms FROM sessions WHERE token_hash = ?");
    if (!select) {
        error = Why(db);
        return false;
    }
    const int rc = select.Blob(1, tokenHash).Step();
    found = rc == SQLITE_ROW;
    if (found) {
        session.tokenHash = tokenHash;
        session.name = select.Bytes(0);
        session.reception = select.Int(1) != 0;
        session.keep = select.Int(2) != 0;
        session.createdMs = select.Int(3);
        session.seenMs = select.Int(4);
    }
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

bool BoardStore::TouchSession(const std::string& tokenHash, std::int64_t seenMs, std::string& error) {
    Statement update(db, "UPDATE sessions SET seen_ms = ? WHERE token_hash = ?");
    if (update && update.Number(1, seenMs).Blob(2, tokenHash).Step() == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

bool BoardStore::EndSession(const std::string& tokenHash, std::string& error) {
    Statement remove(db, "DELETE FROM sessions WHERE token_hash = ?");
    if (remove && remove.Blob(1, tokenHash).Step() == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

bool BoardStore::EndSessionsOf(const std::string& name, std::int64_t& ended, std::string& error) {
    Statement remove(db, "DELETE FROM sessions WHERE name = ?");
    if (!remove || remove.Blob(1, AsciiLower(name)).Step() != SQLITE_DONE) {
        error = Why(db);
        return false;
    }
    ended = sqlite3_changes(db);
    return true;
}

bool BoardStore::ForgetSessions(std::int64_t before, std::int64_t keptBefore, std::string& error) {
    Statement remove(db, "DELETE FROM sessions WHERE seen_ms < CASE keep WHEN 0 THEN ? ELSE ? END");
    if (remove && remove.Number(1, before).Number(2, keptBefore).Step() == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

bool BoardStore::AddWallKey(const std::string& keyHash, std::int64_t madeMs, bool replace, std::string& error) {
    if (!Exec(replace ? "BEGIN IMMEDIATE;DELETE FROM wall_keys;" : "BEGIN IMMEDIATE;", error)) return false;
    Statement insert(db, "INSERT OR REPLACE INTO wall_keys(key_hash, made_ms) VALUES (?, ?)");
    if (insert && insert.Blob(1, keyHash).Number(2, madeMs).Step() == SQLITE_DONE) return Exec("COMMIT;", error);
    error = Why(db);
    std::string ignored;
    Exec("ROLLBACK;", ignored);
    return false;
}

bool BoardStore::WallKeyKnown(const std::string& keyHash, bool& known, std::string& error) {
    Statement select(db, "SELECT 1 FROM wall_keys WHERE key_hash = ?");
    const int rc = select ? select.Blob(1, keyHash).Step() : SQLITE_ERROR;
    known = rc == SQLITE_ROW;
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

bool BoardStore::AddCalendarKey(const std::string& keyHash, const std::string& feed, std::int64_t madeMs, bool replace,
                                std::string& error) {
    if (!Exec("BEGIN IMMEDIATE;", error)) return false;
    Statement clear(db, "DELETE FROM calendar_keys WHERE feed = ?");
    Statement insert(db, "INSERT OR REPLACE INTO calendar_keys(key_hash, feed, made_ms) VALUES (?, ?, ?)");
    Statement trim(db,
                   "DELETE FROM calendar_keys WHERE feed = ?1 AND key_hash NOT IN"
                   " (SELECT key_hash FROM calendar_keys WHERE feed = ?1 ORDER BY made_ms DESC LIMIT 10)");
    bool good = clear && insert && trim && (!replace || clear.Blob(1, feed).Step() == SQLITE_DONE);
    good = good && insert.Blob(1, keyHash).Blob(2, feed).Number(3, madeMs).Step() == SQLITE_DONE;
    good = good && trim.Blob(1, feed).Step() == SQLITE_DONE;
    if (good) return Exec("COMMIT;", error);
    error = Why(db);
    std::string ignored;
    Exec("ROLLBACK;", ignored);
    return false;
}

bool BoardStore::CalendarFeedOf(const std::string& keyHash, std::string& feed, std::string& error) {
    Statement select(db, "SELECT feed FROM calendar_keys WHERE key_hash = ?");
    const int rc = select ? select.Blob(1, keyHash).Step() : SQLITE_ERROR;
    feed = rc == SQLITE_ROW ? select.Bytes(0) : std::string();
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

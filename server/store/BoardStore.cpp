#include "BoardStore.h"

#include <cstdio>
#include <cstring>
#include <sqlite3.h>

#include "AsciiText.h"
#include "StoreStatement.h"

namespace {

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

}  // namespace

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

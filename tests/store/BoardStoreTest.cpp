#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

#include "BoardStore.h"
#include "Records.h"

namespace {

// A database in a folder of its own, removed with the folder's files afterwards.
class Store : public ::testing::Test {
protected:
    void SetUp() override {
        path = ::testing::TempDir() + "pegora-store-" + std::to_string(::getpid()) + ".db";
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean() {
        for (const char* part : {"", "-wal", "-shm", ".damaged", ".damaged-wal", ".damaged-shm", ".copy"})
            std::remove((path + part).c_str());
    }
    std::unique_ptr<BoardStore> Open(BoardStore::Found expected) {
        BoardStore::Found found;
        std::string error;
        std::unique_ptr<BoardStore> store = BoardStore::Open(path, found, error);
        EXPECT_TRUE(store) << error;
        EXPECT_EQ(found, expected);
        return store;
    }
    std::string path;
};

// A statement run on the file directly, as another program (or a later version) would.
void Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

StoredRow Row(const char* name, std::int32_t status, const char* message, std::int64_t storedMs) {
    StoredRow row;
    row.record = MakeRecord(name, status, message);
    row.storedMs = storedMs;
    row.word.sinceMs = storedMs - 1000;
    return row;
}

}  // namespace

// Made at the schema's version, rows and the staff list kept across a reopen
// exactly, each save replacing the last as one transaction.
TEST_F(Store, RowsAndTheStaffListOutliveAReopen) {
    std::string error;
    {
        std::unique_ptr<BoardStore> store = Open(BoardStore::Found::New);
        ASSERT_TRUE(store);
        EXPECT_EQ(store->Version(), StoreVersion);
        StaffList none;
        std::int64_t readMs = 0;
        EXPECT_FALSE(store->LoadStaff(none, readMs, error)) << "no list kept yet";
        std::vector<StoredRow> rows = {Row("Anna", 1, "at my desk", 1000), Row("Ren\xe9", 3, "caf\xe9", 2000)};
        rows[1].word.source = RowSource::Browser;
        rows[1].word.hasDesk = true;
        rows[1].word.desk = MakeRecord("Ren\xe9", 1, "desk");
        rows[1].word.hasUntil = true;
        rows[1].word.untilMs = 5000;
        ASSERT_TRUE(
            store->SaveRows({Row("Gone", 2, "", 1), Row("Gone too", 2, "", 1), Row("Anna", 1, "", 1)}, 7, error))
            << error;
        ASSERT_TRUE(store->SaveRows(rows, 8, error)) << error;
        StaffList staff =
            MakeStaffList({{"jsmith", "Jo Smith", "Sales", "+44", "x:2"}, {"Ren\xc3\xa9", "", "", "", "x"}});
        ASSERT_TRUE(store->SaveStaff(staff, 4242, error)) << error;
    }
    std::unique_ptr<BoardStore> store = Open(BoardStore::Found::Existing);
    ASSERT_TRUE(store);
    std::vector<StoredRow> rows;
    std::int64_t savedMs = 0;
    ASSERT_TRUE(store->LoadRows(rows, savedMs, error)) << error;
    ASSERT_EQ(rows.size(), 2u) << "the second save replaced the first";
    EXPECT_EQ(savedMs, 8);
    EXPECT_EQ(rows[0].record.Name(), "Anna");
    EXPECT_EQ(rows[0].storedMs, 1000);
    EXPECT_EQ(rows[0].word.sinceMs, 0);
    EXPECT_EQ(rows[0].word.source, RowSource::Desk);
    EXPECT_FALSE(rows[0].word.hasUntil);
    EXPECT_EQ(rows[1].record.Message(), "caf\xe9");
    EXPECT_EQ(rows[1].word.source, RowSource::Browser);
    EXPECT_EQ(rows[1].word.desk.Message(), "desk");
    EXPECT_EQ(rows[1].word.untilMs, 5000);
    EXPECT_EQ(rows[1].word.sinceMs, 1000);
    StaffList staff;
    std::int64_t readMs = 0;
    ASSERT_TRUE(store->LoadStaff(staff, readMs, error));
    EXPECT_EQ(readMs, 4242);
    ASSERT_EQ(staff.people.size(), 2u);
    EXPECT_EQ(staff.people[1].key, "Ren\xe9");
    EXPECT_NE(FindStaff(staff, "JSMITH"), nullptr) << "found by the key rule again";
    EXPECT_EQ(FindStaff(staff, "JSMITH")->displayName, "Jo Smith");

    // A save after a load writes what changed: a message, a re-send's time, a row gone.
    rows[0].record = MakeRecord("Anna", 2, "gone home");
    rows[1].storedMs = 4321;
    std::unique_ptr<BoardStore> again = BoardStore::Connect(path, error);
    ASSERT_TRUE(again) << error;
    for (std::size_t n : {2, 1}) {
        rows.resize(n);
        ASSERT_TRUE(store->SaveRows(rows, 8 + n, error)) << error;
        std::vector<StoredRow> back;
        ASSERT_TRUE(again->LoadRows(back, savedMs, error)) << error;
        ASSERT_EQ(back.size(), n);
        EXPECT_EQ(back[0].record.Message(), "gone home");
        EXPECT_EQ(back.back().storedMs, n == 2 ? 4321 : 1000);
        EXPECT_EQ(savedMs, 8 + n);
    }
}

// A file that is not a sound database is set aside and a new one made; a
// database from a newer version is refused rather than written over.
TEST_F(Store, ADamagedOrNewerDatabase) {
    std::ofstream(path, std::ios::binary) << std::string(4096, 'x');
    std::ofstream(path + "-wal", std::ios::binary) << "committed";
    ASSERT_TRUE(Open(BoardStore::Found::SetAside));
    std::ifstream aside(path + ".damaged", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), std::string(4096, 'x')) << "kept as it was";
    std::ifstream journal(path + ".damaged-wal", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(journal), {}), "committed") << "with its journal, not deleted";
    {
        std::unique_ptr<BoardStore> store = Open(BoardStore::Found::Existing);
        std::string error;
        std::vector<StoredRow> rows;
        std::int64_t savedMs = -1;
        ASSERT_TRUE(store->LoadRows(rows, savedMs, error));
        EXPECT_TRUE(rows.empty());
        EXPECT_EQ(savedMs, 0) << "never saved";
    }
    BoardStore::Found found;
    std::string error;
    {
        std::unique_ptr<BoardStore> store = BoardStore::Open(path, found, error);
        ASSERT_TRUE(store);
        std::vector<StoredRow> rows{Row("Anna", 1, "", 1)};
        ASSERT_TRUE(store->SaveRows(rows, 1, error));
        // The copy made from outside while the service holds the database open.
        ASSERT_TRUE(BoardStore::BackupFile(path, path + ".copy", error)) << error;
        EXPECT_FALSE(BoardStore::BackupFile(path + ".none", path + ".copy", error)) << "nothing to copy";
    }
    BoardStore::Found copied;
    std::unique_ptr<BoardStore> copy = BoardStore::Open(path + ".copy", copied, error);
    ASSERT_TRUE(copy) << error;
    std::vector<StoredRow> rows;
    std::int64_t savedMs = 0;
    ASSERT_TRUE(copy->LoadRows(rows, savedMs, error));
    EXPECT_EQ(rows.size(), 1u) << "the backup holds the rows";
    copy.reset();

    Sql(path, "PRAGMA user_version = " + std::to_string(StoreVersion + 1));
    EXPECT_FALSE(BoardStore::Open(path, found, error));
    EXPECT_NE(error.find("newer than this program's"), std::string::npos) << error;
}

// A sound database that another program holds when the service starts is not called
// damaged: the start is refused with the reason, and nothing is moved or deleted.
TEST_F(Store, ADatabaseHeldByAnotherProgramIsLeftAsItIs) {
    {
        std::unique_ptr<BoardStore> store = Open(BoardStore::Found::New);
        std::string error;
        ASSERT_TRUE(store->SaveRows({Row("Anna", 1, "at my desk", 5)}, 5, error)) << error;
    }
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    BoardStore::Found found;
    std::string error;
    EXPECT_FALSE(BoardStore::Open(path, found, error));
    EXPECT_NE(error.find("cannot be checked (database is locked)"), std::string::npos) << error;
    EXPECT_FALSE(std::ifstream(path + ".damaged")) << "not set aside";
    sqlite3_exec(holder, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    std::unique_ptr<BoardStore> store = Open(BoardStore::Found::Existing);
    std::vector<StoredRow> rows;
    std::int64_t savedMs = 0;
    ASSERT_TRUE(store && store->LoadRows(rows, savedMs, error)) << error;
    ASSERT_EQ(rows.size(), 1u) << "the rows are all there once the other program lets go";
    EXPECT_EQ(rows[0].record.Message(), "at my desk");
}

// Each migration from the version before it: version 0 is an existing database
// without the schema (a file made by hand, or by an interrupted first start).
TEST_F(Store, EveryMigrationFromTheVersionBefore) {
    Sql(path, "CREATE TABLE unrelated(x)");
    std::unique_ptr<BoardStore> store = Open(BoardStore::Found::Existing);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->Version(), StoreVersion);
    std::string error;
    EXPECT_TRUE(store->SaveRows({Row("Anna", 1, "", 1)}, 1, error)) << error;
}

// A database as version 1 wrote it, its rows and history read on at version 2.
TEST_F(Store, AVersionOneDatabaseKeepsItsRowsAndHistory) {
    const std::string record(StatusRecord::Size, 'A');
    Sql(path,
        "CREATE TABLE board_rows(position INTEGER PRIMARY KEY, record BLOB NOT NULL, source INTEGER NOT NULL,"
        " desk BLOB, until_ms INTEGER, since_ms INTEGER NOT NULL);"
        "CREATE TABLE board_heard(position INTEGER PRIMARY KEY, stored_ms INTEGER NOT NULL);"
        "CREATE TABLE marks(name TEXT PRIMARY KEY, ms INTEGER NOT NULL) WITHOUT ROWID;"
        "CREATE TABLE staff(position INTEGER PRIMARY KEY, name TEXT NOT NULL, display_name TEXT NOT NULL,"
        " grp TEXT NOT NULL, phone TEXT NOT NULL);"
        "CREATE TABLE history(id INTEGER PRIMARY KEY, at_ms INTEGER NOT NULL, name_key BLOB NOT NULL,"
        " name BLOB NOT NULL, status INTEGER NOT NULL, message BLOB NOT NULL, until TEXT NOT NULL,"
        " source TEXT NOT NULL, sender TEXT NOT NULL);"
        "CREATE TABLE history_people(name_key BLOB PRIMARY KEY) WITHOUT ROWID;"
        "INSERT INTO board_rows VALUES (0, x'" +
            std::string(StatusRecord::Size * 2, '4') +
            "', 1, NULL, NULL, 5);"
            "INSERT INTO board_heard VALUES (0, 7);"
            "INSERT INTO history VALUES (1, 100, CAST('anna' AS BLOB), CAST('Anna' AS BLOB), 1, CAST('in' AS BLOB), "
            "'', 'desk',"
            " '10.0.0.1');"
            "INSERT INTO history_people VALUES (CAST('anna' AS BLOB));"
            "PRAGMA user_version = 1;");
    std::unique_ptr<BoardStore> store = Open(BoardStore::Found::Existing);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->Version(), StoreVersion);
    std::string error;
    std::vector<StoredRow> rows;
    std::int64_t savedMs = 0;
    ASSERT_TRUE(store->LoadRows(rows, savedMs, error)) << error;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].storedMs, 7);
    EXPECT_EQ(rows[0].word.source, RowSource::Browser);
    EXPECT_EQ(rows[0].word.author, "") << "set before anybody signed in";
    std::vector<HistoryEntry> found;
    ASSERT_TRUE(store->History("ANNA", 0, 1000, 10, found, error)) << error;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].from, "10.0.0.1");
    rows[0].word.author = "nnorth";
    ASSERT_TRUE(store->SaveRows(rows, 8, error)) << error;
    ASSERT_TRUE(store->LoadRows(rows, savedMs, error));
    EXPECT_EQ(rows[0].word.author, "nnorth") << "an author is a change of its own";
}

// Sessions by their token's hash: found, touched, ended one by one or all of
// a person's, and forgotten when idle past their time.
TEST_F(Store, SessionsAreFoundTouchedAndEnded) {
    std::unique_ptr<BoardStore> store = Open(BoardStore::Found::New);
    std::string error;
    for (const char* hash : {"h1", "h2", "h3"}) {
        StoredSession s;
        s.tokenHash = hash;
        s.name = hash == std::string("h3") ? "bert" : "Anna";
        s.keep = hash == std::string("h2");
        s.createdMs = s.seenMs = 1000;
        ASSERT_TRUE(store->AddSession(s, error)) << error;
    }
    StoredSession found;
    bool there = false;
    ASSERT_TRUE(store->FindSession("h1", found, there, error));
    EXPECT_TRUE(there);
    EXPECT_EQ(found.name, "anna");
    ASSERT_TRUE(store->TouchSession("h1", 5000, error));
    ASSERT_TRUE(store->ForgetSessions(2000, 500, error));
    ASSERT_TRUE(store->FindSession("h3", found, there, error));
    EXPECT_FALSE(there) << "idle past its time";
    ASSERT_TRUE(store->FindSession("h2", found, there, error));
    EXPECT_TRUE(there && found.keep) << "a kept one has longer";
    std::int64_t ended = 0;
    ASSERT_TRUE(store->EndSessionsOf("ANNA", ended, error));
    EXPECT_EQ(ended, 2);
    ASSERT_TRUE(store->FindSession("h1", found, there, error));
    EXPECT_FALSE(there);
}

// What a row showed, by the key rule, within a time; retention deletes what is
// older and nothing else.
TEST_F(Store, HistoryByNameAndTimeAndItsRetention) {
    std::unique_ptr<BoardStore> store = Open(BoardStore::Found::New);
    std::string error;
    std::vector<HistoryEntry> entries;
    for (std::int64_t at : {100, 200, 300, 400}) {
        HistoryEntry e;
        e.atMs = at;
        e.name = at % 200 == 0 ? "Anna" : "bert";
        e.status = static_cast<std::int32_t>(at / 100);
        e.message = "m" + std::to_string(at);
        e.source = "desk";
        entries.push_back(e);
    }
    entries[3].source = "removed";
    entries[3].until = "14:00";
    ASSERT_TRUE(store->AddHistory(entries, error)) << error;
    std::vector<HistoryEntry> found;
    ASSERT_TRUE(store->History("ANNA", 0, 1000, 100, found, error));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].message, "m200");
    EXPECT_EQ(found[1].source, "removed");
    EXPECT_EQ(found[1].until, "14:00");
    ASSERT_TRUE(store->History("", 150, 300, 100, found, error));
    EXPECT_EQ(found.size(), 2u) << "everybody's, within the time, both ends included";
    ASSERT_TRUE(store->History("", 0, 1000, 3, found, error));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].atMs, 200) << "the newest three, oldest first";
    ASSERT_TRUE(store->StandingAt(350, found, error));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].message + found[1].message, found[0].name == "Anna" ? "m200m300" : "m300m200")
        << "each row's last word by then";
    ASSERT_TRUE(store->StandingAt(400, found, error));
    ASSERT_EQ(found.size(), 1u) << "Anna was removed at 400";
    EXPECT_EQ(found[0].name, "bert");
    std::int64_t deleted = 0;
    ASSERT_TRUE(store->ForgetHistory(300, deleted, error));
    EXPECT_EQ(deleted, 2);
    ASSERT_TRUE(store->History("", 0, 1000, 100, found, error));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].atMs, 300);
}

// Plans come back as written, repeat and all; a row keeps which plan's time
// it showed and what stood before it; a plan edited into nonsense by hand is
// left out, not taken.
TEST_F(Store, PlansAndARowsPlanOutliveAReopen) {
    std::string error;
    Plan plan;
    plan.name = "Anna";
    plan.start = {2027, 1, 4, 9 * 60};
    plan.end = {2027, 1, 4, 10 * 60};
    plan.status = StatusOther;
    plan.message = "stand-up";
    plan.repeats = true;
    plan.repeat.weekdays = 0x15;
    plan.repeat.every = 2;
    plan.repeat.hasUntil = true;
    plan.repeat.until = {2027, 3, 31, 0};
    plan.repeat.except = {{2027, 1, 6, 0}, {2027, 2, 3, 0}};
    plan.author = "nina";
    StoredRow row = Row("Anna", StatusOut, "holiday", 5000);
    row.word.source = RowSource::Plan;
    row.word.planId = 7;
    row.word.planStartMs = 1234567890123;
    row.word.hasBefore = true;
    row.word.before = MakeRecord("Anna", StatusOther, "dentist");
    row.word.beforeSource = RowSource::Browser;
    row.word.beforeAuthor = "bert";
    {
        std::unique_ptr<BoardStore> store = Open(BoardStore::Found::New);
        ASSERT_TRUE(store && store->PutPlan(plan, error) && store->SaveRows({row}, 1, error)) << error;
        EXPECT_EQ(plan.id, 1);
        Plan wrong = plan;
        wrong.id = 0;
        ASSERT_TRUE(store->PutPlan(wrong, error)) << error;
        Sql(path, "UPDATE plans SET end = '2026-01-01T00:00' WHERE id = 2");
    }
    std::unique_ptr<BoardStore> store = Open(BoardStore::Found::Existing);
    std::vector<Plan> plans;
    std::vector<StoredRow> rows;
    std::int64_t savedMs = 0;
    ASSERT_TRUE(store && store->LoadPlans(plans, error) && store->LoadRows(rows, savedMs, error)) << error;
    ASSERT_EQ(plans.size(), 1u);
    const Plan& back = plans[0];
    EXPECT_TRUE(back.start == plan.start && back.end == plan.end && back.repeat.until == plan.repeat.until);
    EXPECT_EQ(back.repeat.except.size(), 2u);
    EXPECT_EQ(back.repeat.weekdays, 0x15u);
    EXPECT_EQ(back.repeat.every, 2);
    EXPECT_EQ(back.message + back.author + back.source, "stand-upninapage");
    ASSERT_EQ(rows.size(), 1u);
    const RowWord& w = rows[0].word;
    EXPECT_EQ(w.source, RowSource::Plan);
    EXPECT_EQ(w.planId, 7);
    EXPECT_EQ(w.planStartMs, 1234567890123);
    EXPECT_TRUE(w.hasBefore && w.beforeSource == RowSource::Browser && w.beforeAuthor == "bert");
    EXPECT_EQ(w.before.Message(), "dentist");
    ASSERT_TRUE(store->DeletePlan(1, error) && store->LoadPlans(plans, error)) << error;
    EXPECT_TRUE(plans.empty());
    // Deleted, the newest plan's id is not given again: a row may still carry it.
    ASSERT_TRUE(store->DeletePlan(2, error)) << error;
    Plan again = plan;
    again.id = 0;
    ASSERT_TRUE(store->PutPlan(again, error)) << error;
    EXPECT_EQ(again.id, 3);

    // A large import leaves no large journal behind it.
    std::vector<Plan> imported(30000, plan);
    for (Plan& p : imported) {
        p.id = 0;
        p.message = std::string(400, 'm');
    }
    ASSERT_TRUE(store->PutPlans(imported, 1, error)) << error;
    std::ifstream journal(path + "-wal", std::ios::binary | std::ios::ate);
    EXPECT_LE(static_cast<long long>(journal.tellg()), 4194304LL) << "the journal stays a few MB";
}

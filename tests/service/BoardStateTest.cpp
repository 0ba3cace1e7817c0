#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <functional>

#include "BoardMetrics.h"
#include "BoardSnapshot.h"
#include "BrowserWords.h"
#include "ServiceFixture.h"
#include "TableRows.h"

namespace {

std::vector<StoredRow> TwoRows() {
    StoredRow a, b;
    a.record = MakeRecord("Anna", 1, "at my desk");
    std::memcpy(const_cast<unsigned char*>(a.record.Bytes()) + 300, "behind the message", 18);
    a.storedMs = 1700000000123;
    a.word.sinceMs = 1699999990000;
    b.record = MakeRecord("Jos\xe9", 3, "lunch");
    b.storedMs = -5;
    b.word.source = RowSource::Browser;  // set from a browser until a time, over the desk's own record
    b.word.hasDesk = true;
    b.word.desk = MakeRecord("jos\xe9", 1, "at my desk");
    b.word.hasUntil = true;
    b.word.untilMs = 1700000900000;
    b.word.sinceMs = 1700000500000;
    return {a, b};
}

void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

}  // namespace

TEST(BoardState, RoundTripKeepsEveryByteAndLaterFieldsAreSkipped) {
    std::vector<StoredRow> rows = TwoRows(), back;
    std::string problem;
    std::string bytes = EncodeBoardState(rows);
    EXPECT_EQ(bytes.size(), 20u + 2 * 1052 + 4);
    ASSERT_TRUE(DecodeBoardState(bytes, back, problem)) << problem;
    ASSERT_EQ(back.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(std::memcmp(back[i].record.Bytes(), rows[i].record.Bytes(), StatusRecord::Size), 0) << i;
        EXPECT_EQ(back[i].storedMs, rows[i].storedMs) << i;
        EXPECT_EQ(back[i].word.source, rows[i].word.source) << i;
        EXPECT_EQ(back[i].word.hasUntil, rows[i].word.hasUntil) << i;
        EXPECT_EQ(back[i].word.untilMs, rows[i].word.untilMs) << i;
        EXPECT_EQ(back[i].word.sinceMs, rows[i].word.sinceMs) << i;
        EXPECT_EQ(std::memcmp(back[i].word.desk.Bytes(), rows[i].word.desk.Bytes(), StatusRecord::Size), 0) << i;
    }

    // A file from before browsers had a word: 520-byte rows, each its desk's own record.
    std::string older = bytes.substr(0, 16) + std::string("\x08\x02\x00\x00", 4);
    for (int i = 0; i < 2; ++i) older += bytes.substr(20 + i * 1052, 520);
    std::uint32_t olderSum = StateChecksum(older);
    for (int i = 0; i < 4; ++i) older += static_cast<char>((olderSum >> (8 * i)) & 0xFF);
    ASSERT_TRUE(DecodeBoardState(older, back, problem)) << problem;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].word.source, RowSource::Desk);
    EXPECT_TRUE(back[1].word.hasDesk);
    EXPECT_EQ(back[1].word.desk.Message(), "lunch");
    EXPECT_EQ(back[0].word.sinceMs, rows[0].storedMs) << "an older row has stood since it was last heard";

    // A file from before rows kept their since: 1044-byte rows.
    std::string unsinced = bytes.substr(0, 16) + std::string("\x14\x04\x00\x00", 4);
    for (int i = 0; i < 2; ++i) unsinced += bytes.substr(20 + i * 1052, 1044);
    std::uint32_t unsincedSum = StateChecksum(unsinced);
    for (int i = 0; i < 4; ++i) unsinced += static_cast<char>((unsincedSum >> (8 * i)) & 0xFF);
    ASSERT_TRUE(DecodeBoardState(unsinced, back, problem)) << problem;
    EXPECT_EQ(back[1].word.untilMs, rows[1].word.untilMs);
    EXPECT_EQ(back[1].word.sinceMs, rows[1].storedMs);
    ASSERT_TRUE(DecodeBoardState(EncodeBoardState({}), back, problem));
    EXPECT_TRUE(back.empty());

    // A later version's rows are longer: this reader takes what it knows of each.
    std::string longer = bytes.substr(0, 16) + std::string("\x6c\x04\x00\x00", 4);  // 1132 bytes a row
    for (int i = 0; i < 2; ++i) longer += bytes.substr(20 + i * 1052, 1052) + std::string(80, '\x7f');
    std::uint32_t sum = StateChecksum(longer);
    for (int i = 0; i < 4; ++i) longer += static_cast<char>((sum >> (8 * i)) & 0xFF);
    ASSERT_TRUE(DecodeBoardState(longer, back, problem)) << problem;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].record.Name(), "Jos\xe9");
    EXPECT_EQ(back[1].storedMs, -5);
    EXPECT_EQ(back[1].word.desk.Message(), "at my desk");
    EXPECT_EQ(back[1].word.sinceMs, rows[1].word.sinceMs);
}

namespace {

// A good file of two rows, damaged one way.
struct Damage {
    const char* problem;
    std::function<std::string(std::string)> damage;
};
std::string Set(std::string bytes, std::size_t at, const std::string& with) {
    return bytes.replace(at, with.size(), with);
}
const Damage damages[] = {
    {"it is truncated (0 bytes)", [](std::string) { return std::string(); }},
    {"it is truncated (23 bytes)", [](std::string good) { return good.substr(0, 23); }},
    {"it is not a board state file", [](std::string good) { return Set(good, 0, "PEGSTATX"); }},
    {"its version 2 is unknown", [](std::string good) { return Set(good, 8, "\x02"); }},
    {"its row size 10 is impossible", [](std::string good) { return Set(good, 16, std::string("\x0a\0", 2)); }},
    {"its length does not match its 2 rows (truncated or damaged)",
     [](std::string good) { return good.substr(0, good.size() - 1); }},
    {"its length does not match its 2 rows (truncated or damaged)", [](std::string good) { return good + "x"; }},
    {"its length does not match its 4294967295 rows (truncated or damaged)",
     [](std::string good) { return Set(good, 12, "\xff\xff\xff\xff"); }},
    {"its checksum does not match", [](std::string good) { return Set(good, 100, std::string(1, good[100] ^ 1)); }},
};

}  // namespace

class EveryKindOfDamageIsRefusedInWords : public ::testing::TestWithParam<Damage> {};

TEST_P(EveryKindOfDamageIsRefusedInWords, AndChangesNothing) {
    const Damage& row = GetParam();
    std::vector<StoredRow> back = TwoRows();
    std::string problem;
    EXPECT_FALSE(DecodeBoardState(row.damage(EncodeBoardState(TwoRows())), back, problem)) << row.problem;
    EXPECT_EQ(problem, row.problem);
    EXPECT_EQ(back.size(), 2u) << "a refused file changes nothing";
}
INSTANTIATE_TEST_SUITE_P(Rows, EveryKindOfDamageIsRefusedInWords, ::testing::ValuesIn(damages),
                         RowsNamedBy(&Damage::problem));

// Rows of the version before, and its kept staff list, moved into the database
// at the first start; every age going on from there across restarts.
TEST_F(ServiceTest, RowsAndTheirAgesSurviveARestart) {
    // Heard 3 hours before, from a clock that has since gone back, and a moment ago.
    std::vector<StoredRow> rows = TwoRows();
    rows[0].storedMs = NowMs() - 3 * 3600 * 1000;
    rows[1].storedMs = NowMs() + 3600 * 1000;
    Write(OldState(), EncodeBoardState(rows));
    Write(Folder() + "staff.kept.csv", "name,display name\ncleo,Cleo C\nbert,\n");
    BoardService& s = Start();
    EXPECT_EQ(host.ready, 1);
    EXPECT_EQ(host.Count("2 rows loaded"), 1);
    EXPECT_EQ(host.Count("<6>2 rows from " + OldState() + " and the staff list of 2 people from " + Folder() +
                         "staff.kept.csv moved into the database " + config.stateFile),
              1);
    EXPECT_EQ(FileBytes(OldState() + ".migrated"), EncodeBoardState(rows)) << "the old file is kept as it was";
    EXPECT_NE(FileBytes(Folder() + "staff.kept.csv.migrated").find("cleo"), std::string::npos);
    {
        std::string error;
        std::unique_ptr<BoardStore> store = BoardStore::Connect(config.stateFile, error);
        StaffList staff;
        std::int64_t readMs = 0;
        ASSERT_TRUE(store && store->LoadStaff(staff, readMs, error)) << error;
        ASSERT_EQ(staff.people.size(), 2u);
        EXPECT_EQ(staff.people[0].displayName, "Cleo C");
    }
    BoardTable& table = s.Board().table;
    ASSERT_EQ(table.RowCount(), 2);
    auto now = std::chrono::steady_clock::now();
    EXPECT_NEAR(std::chrono::duration<double>(now - table.LastStored(0)).count(), 3 * 3600, 2);
    EXPECT_NEAR(std::chrono::duration<double>(now - table.LastStored(1)).count(), 0, 2) << "a clock that went back";

    Send("Bert", 2, "gone home");
    Send("anna", 3, "meeting");
    ASSERT_TRUE(TickUntil([&] { return SavedRows().size() == 3; }, 4000)) << "written within 2 seconds of a change";
    EXPECT_EQ(s.Stop(), 0);
    EXPECT_EQ(host.Count("<6>stopped, 3 rows saved"), 1);
    std::vector<StoredRow> saved = SavedRows();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[0].record.Name(), "anna");
    EXPECT_EQ(saved[0].record.Message(), "meeting");
    EXPECT_EQ(saved[1].record.Name(), "Jos\xe9");
    EXPECT_EQ(saved[2].record.Name(), "Bert");
    EXPECT_NEAR(static_cast<double>(NowMs() - saved[2].storedMs), 0, 3000);

    BoardService& again = Start();
    ASSERT_EQ(again.Board().table.RowCount(), 3);
    EXPECT_EQ(again.Board().table.Row(2).Message(), "gone home");
    // A stop that finds the board busy never says "saved": it says what is lost, and ends with 1.
    Send("Cleo", 1, "in");
    ASSERT_TRUE(TickUntil([&] { return again.Board().table.RowCount() == 4; }));
    ASSERT_TRUE(again.Board().tableLock.WaitFor(std::chrono::milliseconds(100)));
    EXPECT_EQ(again.Stop(), 1);
    again.Board().tableLock.Release();
    EXPECT_EQ(host.Count("<3>stopped, the board was busy; the rows saved at "), 1);
    EXPECT_EQ(host.Count(" stand, 1 changes since then are lost"), 1);
    EXPECT_EQ(SavedRows().size(), 3u);
    EXPECT_EQ(host.Count("moved into the database"), 1) << "moved once";
}

// A damaged old state file, or a damaged database, is set aside: the board starts empty.
TEST_F(ServiceTest, ADamagedStateFileIsKeptAsideAndTheBoardStartsEmpty) {
    Write(OldState() + ".damaged", "an older damaged file");
    Write(OldState(), EncodeBoardState(TwoRows()).substr(0, 300));
    BoardService& s = Start();
    EXPECT_EQ(s.Board().table.RowCount(), 0);
    EXPECT_EQ(host.ready, 1) << "it never refuses to start";
    EXPECT_EQ(host.Count("<3>state file " + OldState() + " is damaged: its length does not match"), 1);
    EXPECT_EQ(FileBytes(OldState() + ".damaged").size(), 300u) << "the older damaged file is replaced";
    Send("Anna", 1, "in");
    ASSERT_TRUE(TickUntil([&] { return SavedRows().size() == 1; }, 4000));
    EXPECT_EQ(s.Stop(), 0);

    const std::string garbage(8192, 'x');
    Write(config.stateFile, garbage);
    EXPECT_EQ(Start().Board().table.RowCount(), 0);
    EXPECT_EQ(host.ready, 2);
    EXPECT_EQ(host.Count("<3>the database " + config.stateFile + " is damaged: set aside as " + config.stateFile +
                         ".damaged; the board starts empty"),
              1);
    EXPECT_TRUE(FileBytes(config.stateFile + ".damaged") == garbage) << "kept as it was";
    EXPECT_EQ(service->Stop(), 0);
}

// An old state file that cannot be read is set aside; a database that cannot
// be opened stops the start with the reason.
TEST_F(ServiceTest, AStateFileThatCannotBeReadIsSetAsideNotWrittenOver) {
    // Root reads any file; a folder in its place cannot be read by anybody.
    ASSERT_EQ(::mkdir(OldState().c_str(), 0700), 0);
    Write(OldState() + "/rows", "kept");
    BoardService& s = Start();
    EXPECT_EQ(host.ready, 1);
    EXPECT_EQ(host.Count("<3>state file " + OldState() + ": it cannot be read; kept as " + OldState() +
                         ".unreadable; the board starts empty"),
              1);
    EXPECT_EQ(FileBytes(OldState() + ".unreadable/rows"), "kept");
    Send("Anna", 1, "in");
    ASSERT_TRUE(TickUntil([&] { return SavedRows().size() == 1; }, 4000));
    EXPECT_EQ(s.Stop(), 0);

    config.stateFile = Folder() + "rows";
    ASSERT_EQ(::mkdir(config.stateFile.c_str(), 0700), 0);
    Start(1);
    EXPECT_EQ(host.ready, 1);
    EXPECT_EQ(host.Count("<3>the database " + config.stateFile +
                         " cannot be opened: unable to open database file"
                         "; not starting"),
              1);
}

TEST_F(ServiceTest, RowsSilentPastForgetDaysGoFromBoardAndState) {
    std::vector<StoredRow> rows = TwoRows();
    rows[0].storedMs = NowMs() - 31LL * 24 * 3600 * 1000;
    rows[1].storedMs = NowMs() - 29LL * 24 * 3600 * 1000;
    Write(OldState(), EncodeBoardState(rows));
    config.forgetDays = 30;
    BoardService& s = Start();
    ASSERT_EQ(s.Board().table.RowCount(), 1);
    EXPECT_EQ(s.Board().table.Row(0).Name(), "Jos\xe9");
    EXPECT_EQ(host.Count("1 rows silent for more than 30 days forgotten"), 1);
    ASSERT_TRUE(TickUntil([&] { return SavedRows().size() == 1; }, 4000));
    EXPECT_EQ(s.Stop(), 0);

    // StateFile naming an old file: the database takes its place.
    config.forgetDays = 0;
    config.stateFile = OldState();
    Write(OldState(), EncodeBoardState(rows));
    EXPECT_EQ(Start().Board().table.RowCount(), 2) << "0 keeps rows for good";
    EXPECT_EQ(service->Stop(), 0);
    EXPECT_EQ(FileBytes(OldState() + ".migrated"), EncodeBoardState(rows));
    EXPECT_EQ(SavedRows().size(), 2u) << "the database now at " + OldState();
}

TEST_F(ServiceTest, APortThatCannotBeHadEndsTheStartWithOne) {
    Socket* holder = TestManager().CreateSocket();
    holder->Bind(0);
    holder->Listen();
    config.port = BoundPort(holder);
    Start(1);
    EXPECT_EQ(host.ready, 0);
    EXPECT_EQ(host.Count("<3>cannot listen on the board port " + std::to_string(config.port) + ": "), 1);

    config.port = 0;
    config.webPort = BoundPort(holder);
    Start(1);
    EXPECT_EQ(host.Count("<3>The web view cannot listen on port " + std::to_string(config.webPort)), 1);
    EXPECT_EQ(host.ready, 0);
    delete holder;
}

TEST_F(ServiceTest, ChangesAreLoggedWithTheSenderAndTheWatchdogIsFed) {
    config.logChanges = true;
    BoardService& s = Start();
    Send("Anna", 1, "in");
    Send("Anna", 1, "in");  // a re-send
    Send("Anna", 2, "out");
    ASSERT_TRUE(TickUntil([&] { return host.Count("Anna: in -> out (new message), from 127.0.0.1") == 1; }));
    EXPECT_EQ(host.Count("Anna: new row, in, from 127.0.0.1"), 1);
    EXPECT_EQ(host.Count("Anna:"), 2) << "no line for a re-send";
    s.Board().webUpdates = true;
    ASSERT_TRUE(StoreBrowserWord(s.Board(), MakeRecord("Anna", 3, "dentist"), true, NowMs() + 200, "14:00", 0));
    ASSERT_TRUE(TickUntil([&] { return host.Count("Anna: other -> out, the browser's word ran out") == 1; }));
    EXPECT_GT(host.alive, 0) << "the reader is making passes";
    EXPECT_EQ(s.Stop(), 0);
}

// The staff directory from a CSV file: people on the rows and the unheard listed,
// a changed file taken at a reload, a missing or emptied one leaving the last list.
TEST_F(ServiceTest, TheStaffDirectoryNamesRowsAndListsTheUnheard) {
    const std::string csv = config.stateFile.substr(0, config.stateFile.rfind('/')) + "/staff.csv";
    Write(csv, "name,display name,group,phone\njsmith,Jo Smith,Sales,+44 20 7946 0000\nbert,Bert Berg,HR,\n");
    config.directory = "file";
    config.directoryFile = csv;
    BoardService& s = Start();
    ASSERT_TRUE(TickUntil([&] { return host.Count("<6>directory " + csv + ": 2 people, read as UTF-8") == 1; }));
    Send("JSmith", 1, "in");
    Send("stranger", 2, "out");
    auto json = [&] {
        BoardSnapshot snapshot;
        EXPECT_TRUE(TakeSnapshot(s.Board(), snapshot));
        return BoardJson(snapshot);
    };
    ASSERT_TRUE(TickUntil([&] { return s.Board().table.RowCount() == 2; }));
    std::string board = json();
    EXPECT_NE(board.find("\"name\":\"JSmith\",\"status\":1"), std::string::npos) << board;
    EXPECT_NE(board.find("\"displayName\":\"Jo Smith\",\"group\":\"Sales\",\"phone\":\"+44 20 7946 0000\""),
              std::string::npos)
        << board;
    EXPECT_NE(board.find("\"displayName\":\"\",\"group\":\"\",\"phone\":\"\""), std::string::npos) << "not in it";
    EXPECT_NE(board.find("\"unheard\":[{\"name\":\"bert\",\"displayName\":\"Bert Berg\",\"group\":\"HR\""),
              std::string::npos)
        << board;
    EXPECT_NE(board.find("\"directory\":{\"source\":\"file\",\"entries\":2,\"updated\":"), std::string::npos);
    EXPECT_NE(board.find("\"error\":null}"), std::string::npos);

    std::string error;
    ASSERT_TRUE(s.Web().Start(0, error)) << error;
    EXPECT_NE(HttpGet(s.Web().Port(), "/healthz").find("ok\nstaff directory: 2 people, read 0 min ago\n"),
              std::string::npos);
    const std::string metrics = MetricsText(ReadMetrics(s.Board(), {}));
    EXPECT_NE(metrics.find("\npegora_directory_entries 2\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("\npegora_directory_refresh_failures_total 0\n"), std::string::npos);

    Write(csv, "name\njsmith\nbert\ncleo\n");
    s.ReloadDirectory();
    ASSERT_TRUE(TickUntil([&] { return s.Board().directory->State().list->people.size() == 3; }));
    std::remove(csv.c_str());
    s.ReloadDirectory();
    ASSERT_TRUE(TickUntil([&] { return host.Count("cannot be read: No such file") == 1; }));
    EXPECT_EQ(s.Board().directory->State().list->people.size(), 3u) << "the last good list is kept";
    EXPECT_NE(json().find("\"error\":\"the staff file cannot be read\",\"errorAt\":"), std::string::npos)
        << "and the error is told, without the file's path";
    Write(csv, "name\n");
    s.ReloadDirectory();
    ASSERT_TRUE(
        TickUntil([&] { return host.Count("the directory gave nobody; the last list of 3 people is kept") == 1; }));
    EXPECT_EQ(s.Stop(), 0);
    // Started again while the source is away, or cut to its header: the last good
    // list serves, as it was, and the kept copy is not emptied.
    for (const char* source : {static_cast<const char*>(nullptr), "name\n"}) {
        std::remove(csv.c_str());
        if (source) Write(csv, source);
        BoardService& again = Start();
        ASSERT_TRUE(TickUntil([&] { return again.Board().directory->State().failures == 1; }));
        const DirectoryState kept = again.Board().directory->State();
        ASSERT_EQ(kept.list->people.size(), 3u);
        EXPECT_EQ(kept.list->people[2].key, "cleo");
        EXPECT_GT(kept.updatedMs, 0);
        EXPECT_NE(kept.error.find(source ? "the directory gave nobody" : "the staff file cannot be read"),
                  std::string::npos)
            << kept.error;
        std::string error;
        StaffList keptList;
        std::int64_t readMs = 0;
        std::unique_ptr<BoardStore> store = BoardStore::Connect(config.stateFile, error);
        ASSERT_TRUE(store && store->LoadStaff(keptList, readMs, error)) << error;
        EXPECT_EQ(keptList.people.size(), 3u) << "the kept list is not emptied";
        EXPECT_EQ(again.Stop(), 0);
    }
    EXPECT_EQ(host.Count("the last good list of 3 people"), 2);
}

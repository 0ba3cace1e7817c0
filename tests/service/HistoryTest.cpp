#include <cstdio>
#include <ctime>

#include <sqlite3.h>

#include "BrowserWords.h"
#include "ChangeLog.h"
#include "HistoryQueue.h"
#include "ServiceFixture.h"

namespace {

HistoryEntry Old(const char* name, std::int64_t daysAgo) {
    HistoryEntry e;
    e.atMs = NowMs() - daysAgo * 86400 * 1000;
    e.name = name;
    e.status = 1;
    e.source = "desk";
    return e;
}

}  // namespace

// With HistoryDays every change of what a row shows is kept, re-sends are not,
// entries older than the days are deleted, and only the code's holders read them.
TEST_F(ServiceTest, TheHistoryKeepsEveryChangeForItsDaysAndOnlyForTheCode) {
    config.historyDays = 30;
    config.webUpdates = true;
    config.webUpdateCode = "s3cret";
    const std::string db = config.stateFile;
    {
        BoardStore::Found found;
        std::string error;
        std::unique_ptr<BoardStore> store = BoardStore::Open(db, found, error);
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->AddHistory({Old("Gone", 31), Old("Anna", 29)}, error)) << error;
    }
    BoardService& s = Start();
    EXPECT_EQ(host.Count("1 history entries older than 30 days deleted"), 1);
    s.Board().webUpdates = true;  // as a web port would have it
    UpdateSettings updates;
    updates.on = true;
    updates.code = config.webUpdateCode;
    s.Web().SetUpdates(updates);
    Send("Anna", 1, "in");
    ASSERT_TRUE(TickUntil([&] { return s.Board().table.RowCount() == 1; }));
    Send("anna", 1, "in");  // a re-send
    Send("Anna", 2, "lunch");
    ASSERT_TRUE(TickUntil([&] {
        TableHold hold(s.Board().tableLock, std::chrono::milliseconds(500));  // the reader writes the row
        return hold && s.Board().table.Row(0).Status() == 2;
    }));
    ASSERT_TRUE(
        StoreBrowserWord(s.Board(), MakeRecord("Anna", 3, "dentist"), true, NowMs() + 3600000, "15:00", 0x0500000A));
    bool found = false;
    ASSERT_TRUE(RemoveBrowserRow(s.Board(), "ANNA", 0x0500000A, found));
    std::string error;
    ASSERT_TRUE(s.Web().Start(0, error)) << error;
    const std::uint16_t web = s.Web().Port();
    auto read = [&](const std::string& target) { return HttpGet(web, target, "X-Pegora-Code: s3cret\r\n"); };
    ASSERT_TRUE(TickUntil([&] { return read("/history?name=anna").find("removed") != std::string::npos; }))
        << read("/history?name=anna");
    const std::string json = read("/history?name=anna");
    std::vector<std::string> said;
    for (std::size_t at = 0; (at = json.find("\"word\":\"", at)) != std::string::npos; at += 8)
        said.push_back(json.substr(at + 8, json.find('"', at + 8) - at - 8));
    EXPECT_EQ(said, (std::vector<std::string>{"in", "in", "out", "other", "other"}))
        << "the entry kept, a new row, a change, a browser's word, the removal; no re-send: " << json;
    EXPECT_NE(json.find("\"until\":\"15:00\",\"source\":\"browser\",\"from\":\"10.0.0.5\""), std::string::npos) << json;
    EXPECT_EQ(json.find("Gone"), std::string::npos) << "older than 30 days";
    EXPECT_NE(read("/history.csv?from=2000-01-01").find("\"Time\",\"Name\",\"Status\""), std::string::npos);
    EXPECT_NE(read("/history?to=2000-01-01").find("{\"entries\":[],\"complete\":true}"), std::string::npos);
    EXPECT_NE(read("/history?from=yesterday").find("400 Bad Request"), std::string::npos);
    // The roll call as it stood: before the removal Anna was out with the dentist; after it, nobody.
    const std::int64_t removedAt = NowMs();
    auto at = [](std::int64_t ms) {
        std::time_t when = static_cast<std::time_t>(ms / 1000);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::localtime(&when));
        return std::string(text);
    };
    const std::string then = read("/roll.csv?at=" + at(removedAt - 28LL * 86400 * 1000));
    EXPECT_NE(then.find("\"In\",\"Anna\",\"in\",\"\",\""), std::string::npos) << "the entry of 29 days ago: " << then;
    EXPECT_NE(then.find(",\"As at\"\r\n"), std::string::npos) << then;
    EXPECT_EQ(read("/roll.json?at=" + at(removedAt + 2000)).find("\"name\":\"Anna\""), std::string::npos);
    EXPECT_NE(read("/roll.json?at=" + at(removedAt + 2000)).find("\"asAt\":"), std::string::npos);
    EXPECT_NE(HttpGet(web, "/roll.json?at=" + at(removedAt)).find("403 Forbidden"), std::string::npos);
    EXPECT_NE(HttpGet(web, "/history").find("403 Forbidden"), std::string::npos) << "no code, no history";
    EXPECT_NE(HttpGet(web, "/history", "X-Pegora-Code: guess\r\n").find("The code is wrong."), std::string::npos);
    EXPECT_EQ(s.Stop(), 0);

    // Without a code the history is not served at all; without HistoryDays none is kept.
    config.webUpdateCode.clear();
    BoardService& open = Start();
    ASSERT_TRUE(open.Web().Start(0, error)) << error;
    EXPECT_NE(HttpGet(open.Web().Port(), "/history").find("404 Not Found"), std::string::npos);
    EXPECT_EQ(open.Stop(), 0);
    config.historyDays = 0;
    BoardService& off = Start();
    Send("Bert", 1, "in");
    ASSERT_TRUE(TickUntil([&] { return off.Board().table.RowCount() == 1; }));
    EXPECT_EQ(off.Stop(), 0);
    std::unique_ptr<BoardStore> store = BoardStore::Connect(db, error);
    std::vector<HistoryEntry> entries;
    ASSERT_TRUE(store && store->History("bert", 0, NowMs() + 1000, 10, entries, error)) << error;
    EXPECT_TRUE(entries.empty()) << "nothing written beyond the rows";
}

// Entries a database cannot take wait, oldest first and with their own times, and are
// written a chunk at a time once it can; past the limit the oldest give way, counted.
TEST(HistoryQueue, WaitsForTheDatabaseAndLosesOnlyWhatCannotWait) {
    HistoryQueue queue(5, 2);
    std::vector<std::int64_t> written;
    int refusals = 2;
    const HistoryQueue::Write write = [&](const std::vector<HistoryEntry>& entries, std::string& error) {
        if (refusals-- > 0) {
            error = "database is locked";
            return false;
        }
        EXPECT_LE(entries.size(), 2u) << "a chunk at a time";
        for (const HistoryEntry& e : entries) written.push_back(e.atMs);
        return true;
    };
    std::string error;
    auto at = [](std::int64_t ms) {
        HistoryEntry e;
        e.atMs = ms;
        return std::vector<HistoryEntry>{e};
    };
    queue.Add(at(1));
    EXPECT_FALSE(queue.Flush(write, error));
    EXPECT_EQ(error, "database is locked");
    queue.Add(at(2));
    queue.Add({at(3)[0], at(4)[0]});
    EXPECT_FALSE(queue.Flush(write, error));
    EXPECT_EQ(queue.Waiting(), 4u) << "nothing lost while it waits";
    queue.Add({at(5)[0], at(6)[0]});
    EXPECT_EQ(queue.Dropped(), 1u) << "the oldest gave way to the limit";
    EXPECT_TRUE(queue.Flush(write, error));
    EXPECT_EQ(written, (std::vector<std::int64_t>{2, 3, 4, 5, 6})) << "in order, with their own times";
    EXPECT_EQ(queue.Waiting(), 0u);
}

// While another program holds the database, desks' changes wait and reach the history
// afterwards with their own times; the journal counts what waits, and says when it is in.
TEST_F(ServiceTest, ChangesWhileTheDatabaseIsBusyReachTheHistoryAfterwards) {
    config.historyDays = 7;
    BoardService& s = Start();
    std::string error;
    ASSERT_TRUE(s.Web().Start(0, error)) << error;
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(config.stateFile.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::int64_t before = NowMs();
    Send("Anna", 1, "in");
    Send("Bert", 2, "lunch");
    const auto health = [&] { return HttpGet(s.Web().Port(), "/healthz"); };
    ASSERT_TRUE(TickUntil(
        [&] { return health().find("history: 2 changes wait for the database") != std::string::npos; }, 10000))
        << health();
    EXPECT_EQ(host.Count("cannot write the history to " + config.stateFile + ": database is locked; "), 1)
        << "once, with what waited then";
    sqlite3_exec(holder, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    ASSERT_TRUE(TickUntil([&] { return host.Count("the 2 changes that waited are in it") == 1; }, 20000));
    std::unique_ptr<BoardStore> store = BoardStore::Connect(config.stateFile, error);
    std::vector<HistoryEntry> entries;
    ASSERT_TRUE(store && store->History("", 0, NowMs() + 1, 10, entries, error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    for (const HistoryEntry& e : entries) EXPECT_LT(e.atMs, before + 2000) << "kept with its own time";
    EXPECT_EQ(s.Stop(), 0);
}

// The same word sent again from the form changes nothing: no log line, no history entry.
TEST(BrowserWord, SentAgainUnchangedIsNoChange) {
    SocketManager manager;
    BoardServer board(manager);
    std::vector<bool> changes;
    board.rowChanged = [&](const RowChange& change) { changes.push_back(IsChange(change)); };
    const StatusRecord word = MakeRecord("Anna", 2, "working from home");
    const std::int64_t until = NowMs() + 3600000;
    ASSERT_TRUE(StoreBrowserWord(board, word, true, until, "15:00", 1));
    ASSERT_TRUE(StoreBrowserWord(board, word, true, until, "15:00", 1));
    ASSERT_TRUE(StoreBrowserWord(board, word, true, until + 60000, "15:01", 1));
    ASSERT_TRUE(StoreBrowserWord(board, word, true, until + 60000, "15:01", 1, "nina"));
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true, true})) << "a new until or another author is a change";
}

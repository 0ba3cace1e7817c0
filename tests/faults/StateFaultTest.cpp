#include <cerrno>
#include <sqlite3.h>
#include <sys/stat.h>

#include "../service/ServiceFixture.h"
#include "Injection.h"

// Another program holding the database's write lock past the wait: the board
// serves on from memory, says so once, and writes again when it can.
TEST_F(ServiceTest, ADatabaseThatCannotBeWrittenLeavesTheBoardWhole) {
    BoardService& s = Start();
    Send("Anna", 1, "in");
    ASSERT_TRUE(TickUntil([&] { return SavedRows().size() == 1; }));

    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(config.stateFile.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::string said =
        "cannot write the rows to " + config.stateFile + ": database is locked; the board keeps its rows in memory";
    Send("Bert", 2, "out");
    ASSERT_TRUE(TickUntil([&] { return host.Count(said) == 1; }, 10000));
    Send("Carl", 3, "later");
    ASSERT_TRUE(TickUntil([&] { return s.Board().counters.stateWriteFailures.load() >= 2; }, 10000));
    EXPECT_EQ(host.Count(said), 1) << "once per distinct error";
    EXPECT_EQ(s.Board().table.RowCount(), 3) << "the board serves on from memory";
    sqlite3_close(holder);
    EXPECT_EQ(SavedRows().size(), 1u) << "the rows saved before stand";

    Send("Dora", 1, "back");
    ASSERT_TRUE(TickUntil([&] { return SavedRows().size() == 4; }));
    EXPECT_EQ(host.Count("the rows are written to " + config.stateFile + " again"), 1);
    EXPECT_EQ(s.Stop(), 0);
}

TEST_F(ServiceTest, AStateFileThatCanBeNeitherReadNorSetAsideStopsTheStart) {
    ASSERT_EQ(::mkdir(OldState().c_str(), 0700), 0);
    failRenameWith = EACCES;
    Start(1);
    failRenameWith = 0;
    EXPECT_EQ(host.ready, 0);
    EXPECT_EQ(host.Count("<3>state file " + OldState() + ": it cannot be read; it could not be renamed to " +
                         OldState() + ".unreadable: Permission denied; not starting"),
              1);
    struct stat st;
    EXPECT_TRUE(::stat(OldState().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << "left as it was";
}

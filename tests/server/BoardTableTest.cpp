#include <gtest/gtest.h>

#include <thread>

#include "Records.h"
#include "BoardTable.h"

TEST(BoardTable, KeyRuleAppendsAndReplaces) {
    BoardTable table;
    EXPECT_EQ(table.Store(MakeRecord("Anna", 1, "in")), 0u);
    EXPECT_EQ(table.Store(MakeRecord("Bob", 2, "out")), 1u);
    EXPECT_EQ(table.Store(MakeRecord("ANNA", 3, "gone")), 0u);
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.Row(0).Name(), "ANNA");
    EXPECT_EQ(table.Row(0).Message(), "gone");

    table.Store(MakeRecord("Jos\xe9", 1, ""));
    table.Store(MakeRecord("JOS\xc9", 1, ""));
    EXPECT_EQ(table.RowCount(), 4);

    table.Store(MakeRecord("", 1, "first"));
    table.Store(MakeRecord("", 2, "second"));
    EXPECT_EQ(table.RowCount(), 5);
    EXPECT_EQ(table.Row(4).Message(), "second");
}

TEST(TableLock, TimedWaitFailsWhileHeldAndSucceedsOnRelease) {
    TableLock lock;
    ASSERT_TRUE(lock.WaitFor(std::chrono::milliseconds(10)));
    EXPECT_FALSE(lock.WaitFor(std::chrono::milliseconds(50)));
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lock.Release();
    });
    EXPECT_TRUE(lock.WaitFor(std::chrono::milliseconds(2000)));
    other.join();
    lock.Release();
}

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

TEST(BoardTable, ForgetDropsOnlyRowsSilentSinceTheCutoffAndKeepsTheOrder) {
    BoardTable table;
    const auto now = std::chrono::steady_clock::now();
    const char* names[] = {"old1", "keep1", "old2", "keep2"};
    for (int i = 0; i < 4; ++i) table.Store(MakeRecord(names[i], 1, ""), now - std::chrono::hours(i % 2 ? 1 : 100));
    EXPECT_EQ(table.Forget(now - std::chrono::hours(50)), 2u);
    ASSERT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.Row(0).Name(), "keep1");
    EXPECT_EQ(table.Row(1).Name(), "keep2");
    EXPECT_EQ(table.Find("KEEP2"), 1);
    EXPECT_EQ(table.Find("old1"), -1);
    EXPECT_EQ(table.Forget(now - std::chrono::hours(50)), 0u);
    table.Store(MakeRecord("old1", 2, "back"));
    EXPECT_EQ(table.Find("old1"), 2) << "a desk that is heard again gets a row at the end";
    ASSERT_TRUE(table.StartPlanAt(0, MakeRecord("keep1", 2, "parental leave"), 7, 1000, 2000, ""));
    EXPECT_EQ(table.Forget(now + std::chrono::hours(1)), 2u);
    ASSERT_EQ(table.RowCount(), 1);
    EXPECT_EQ(table.Row(0).Message(), "parental leave") << "a row showing a plan in force is never forgotten";
}

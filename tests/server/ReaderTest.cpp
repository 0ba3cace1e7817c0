#include <cstring>
#include <memory>
#include <thread>

#include "ServerFixture.h"

TEST_F(RunningServer, SameNameInAnyAsciiCaseReplacesTheRow) {
    SendRecord("Anna", StatusIn, "at my desk");
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 1 && server.pendingCount == 0; }));
    SendRecord("Bob", StatusOut, "lunch");
    SendRecord("ANNA", StatusOther, "meeting");
    ASSERT_TRUE(WaitUntil([&] { return server.pendingCount == 0 && RowCopy(0).Message() == "meeting"; }));
    EXPECT_EQ(server.table.RowCount(), 2);
    EXPECT_EQ(RowCopy(0).Name(), "ANNA");
    EXPECT_EQ(RowCopy(1).Name(), "Bob");
    EXPECT_EQ(Counter(), "0/0");
    EXPECT_GE(shell.changes.load(), 3);
}

TEST_F(RunningServer, TenClientsAtOnceAreAllStored) {
    std::vector<std::thread> clients;
    for (int i = 0; i < 10; ++i)
        clients.emplace_back([this, i] { SendRecord("user" + std::to_string(i), StatusIn, "here"); });
    for (auto& c : clients) c.join();
    EXPECT_TRUE(WaitUntil([&] { return server.table.RowCount() == 10; }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return Counter() == "0/0"; }));
}

TEST_F(RunningServer, PiecesShortAndLongDeliveries) {
    StatusRecord whole;
    whole.SetName("split");
    whole.SetStatus(StatusOut);
    whole.SetMessage(std::string(300, 'x'));
    {
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        ASSERT_TRUE(c.Send(whole.Bytes(), 100));
        SleepMs(300);
        ASSERT_TRUE(c.Send(whole.Bytes() + 100, 412));
    }
    std::string shortOne(300, 's');
    shortOne.replace(0, 6, std::string("short\0", 6));
    {
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        ASSERT_TRUE(c.Send(shortOne.data(), shortOne.size()));
    }
    std::string longOne(1000, 'L');
    longOne.replace(0, 5, std::string("long\0", 5));
    {
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        ASSERT_TRUE(c.Send(longOne.data(), longOne.size()));
    }
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 3 && server.pendingCount == 0; }));
    EXPECT_EQ(std::memcmp(RowCopy(0).Bytes(), whole.Bytes(), 512), 0);
    StatusRecord s = RowCopy(1);
    EXPECT_EQ(std::memcmp(s.Bytes(), shortOne.data(), 300), 0);
    for (int i = 300; i < 512; ++i) ASSERT_EQ(s.Bytes()[i], 0) << i;
    EXPECT_EQ(std::memcmp(RowCopy(2).Bytes(), longOne.data(), 512), 0);
}

TEST_F(RunningServer, ConnectionsThatSendNothingAreGivenUp) {
    {
        RawClient quiet;
        ASSERT_TRUE(quiet.Connect(port));
        ASSERT_TRUE(WaitUntil([&] { return Counter() == "1/1"; }));
    }
    EXPECT_TRUE(WaitUntil([&] { return Counter() == "1/0"; })) << Counter();
    {
        RawClient rude;
        ASSERT_TRUE(rude.Connect(port));
        ASSERT_TRUE(WaitUntil([&] { return Counter() == "2/1"; }));
        rude.Reset();
    }
    EXPECT_TRUE(WaitUntil([&] { return Counter() == "2/0"; })) << Counter();
    EXPECT_EQ(server.table.RowCount(), 0);
}

TEST_F(RunningServer, SilentConnectionIsGivenUpAfterItsTime) {
    server.silentConnectionMs = 500;
    RawClient silent;
    ASSERT_TRUE(silent.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return Counter() == "1/1"; }));
    EXPECT_TRUE(WaitUntil([&] { return Counter() == "1/0"; }, 3000)) << Counter();
    // A client that does talk in time is stored as usual.
    SendRecord("talker", StatusIn, "in time");
    EXPECT_TRUE(WaitUntil([&] { return server.table.RowCount() == 1 && Counter() == "1/0"; }));
}

TEST_F(RunningServer, RecordArrivingWhileThePainterHoldsTheLockIsStoredAfterwards) {
    ASSERT_TRUE(server.tableLock.WaitFor(std::chrono::milliseconds(100)));
    SendRecord("late", StatusIn, "patient");
    SleepMs(1800);  // longer than the reader's 1000 ms wait
    EXPECT_EQ(server.table.RowCount(), 0);
    EXPECT_EQ(Counter(), "1/1");
    server.tableLock.Release();
    EXPECT_TRUE(WaitUntil([&] { return server.table.RowCount() == 1 && Counter() == "0/0"; }));
    EXPECT_EQ(RowCopy(0).Message(), "patient");
}

TEST_F(RunningServer, HostileStatusValuesAreStoredAsReceived) {
    SendRecord("odd", 9, "nine");
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 1; }));
    EXPECT_EQ(RowCopy(0).Status(), 9);
}

#if !defined(_WIN32)
#include "ProcessCounts.h"

TEST_F(RunningServer, NoDescriptorIsLeftPerConnection) {
    server.acceptPacingMs = 1;
    SendRecord("warm", StatusIn, "up");
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 1 && Counter() == "0/0"; }));
    int before = HandleCount();
    for (int i = 0; i < 500; ++i) {
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        if (i % 2 == 0) c.Send("x", 1);  // half of them a piece of a record, half nothing at all
    }
    ASSERT_TRUE(WaitUntil([&] { return TestManager().SocketCount() == 1; }, 60000)) << Counter();
    // An endpoint leaves the list a moment before its descriptor closes.
    EXPECT_TRUE(WaitUntil([&] { return HandleCount() <= before; }, 2000)) << HandleCount() << " > " << before;
}
#endif

TEST_F(RunningServer, PastMaxConnectionsTheLongestSilentMakesRoom) {
    server.maxConnections = 3;
    server.acceptPacingMs = 0;
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 5; ++i) {
        idle.emplace_back(new RawClient);
        ASSERT_TRUE(idle.back()->Connect(port));
        SleepMs(150);  // accepted and seen in this order
    }
    ASSERT_TRUE(WaitUntil([&] { return server.counters.closedRoomMade.load() == 2; }));
    EXPECT_TRUE(WaitUntil([&] { return Counter() == "5/3"; })) << Counter();
    SendRecord("Anna", StatusIn, "a desk is never locked out");
    // The row shows a moment before the reader counts it.
    ASSERT_TRUE(WaitUntil([&] { return server.counters.recordsStored.load() == 1u; }, 2000));
    EXPECT_EQ(server.table.RowCount(), 1);
    EXPECT_EQ(server.counters.closedRoomMade.load(), 3u) << "the sender's connection took the place of one more";
}

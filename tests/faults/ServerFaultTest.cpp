#include <cerrno>
#include <cstdlib>

#include "../server/ServerFixture.h"
#include "Injection.h"

class Faults : public ::testing::Test {
protected:
    void SetUp() override { MarkTestThread(); }
    void TearDown() override {
        failListenWith = 0;
        failAllocationsOf = 0;
    }
};

TEST_F(Faults, ListenFailureIsShownAndTheBoardRunsOnAcceptingNothing) {
    PresetServerPort(0);
    RecordingShell shell;
    BoardServer server(TestManager());
    failListenWith = EADDRINUSE;
    ASSERT_EQ(StartBoardServer(server, shell), ServerRunning);
    failListenWith = 0;
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0], "Exception thrown!: listen failed! Address already in use");
    EXPECT_FALSE(shell.hidden);

    RawClient client;
    EXPECT_FALSE(client.Connect(BoundPort(server.listeningSocket)));
    SleepMs(600);  // the accept thread keeps failing, paced, and nothing is counted
    EXPECT_EQ(server.pendingCount.load(), 0);
    EXPECT_EQ(server.table.RowCount(), 0);
    EXPECT_EQ(StopBoardServer(server), 0);
}

class FaultyServer : public RunningServer {
protected:
    void SetUp() override {
        MarkTestThread();
        RunningServer::SetUp();
    }
    void TearDown() override {
        failAllocationsOf = 0;
        RunningServer::TearDown();
    }
};

TEST_F(FaultyServer, NoRoomForARowReleasesTheLockAndKeepsTheRecord) {
    failAllocationsOf = StatusRecord::Size;  // the table's rows, and nothing else
    SendRecord("Anna", StatusIn, "at my desk");
    SleepMs(1500);
    EXPECT_EQ(server.table.RowCount(), 0);
    EXPECT_EQ(server.pendingCount.load(), 1);
    ASSERT_TRUE(server.tableLock.WaitFor(std::chrono::milliseconds(500))) << "the failed store kept tableLock";
    server.tableLock.Release();

    failAllocationsOf = 0;
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 1 && server.pendingCount == 0; }));
    EXPECT_EQ(RowCopy(0).Message(), "at my desk");
    SendRecord("Bert", StatusOut, "lunch");  // and the reader serves on
    EXPECT_TRUE(WaitUntil([&] { return server.table.RowCount() == 2; }));
}

TEST_F(FaultyServer, WorkerThreadsOutliveAShortageOfMemory) {
    failAllocationsOf = 1;                 // every allocation of the worker threads
    SendRecord("Anna", StatusIn, "here");  // lost at the accept: its connection is closed
    SleepMs(800);
    failAllocationsOf = 0;
    SendRecord("Bert", StatusOut, "lunch");
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 1 && server.pendingCount == 0; }));
    EXPECT_EQ(RowCopy(0).Name(), "Bert");
    EXPECT_EQ(Counter(), "0/0");
}

#if GTEST_HAS_DEATH_TEST
// A worker that never ends must not have the board's objects torn down under it.
TEST(FaultsDeathTest, AThreadThatDoesNotEndEndsTheBoardWithExitCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            BoardServer server(TestManager());
            server.readerThread.Start([] {
                for (;;) SleepMs(1000);
            });
            StopBoardServer(server);
            std::_Exit(3);  // returning here means it tore down under a running thread
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

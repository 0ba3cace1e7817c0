// A running board under attack: it keeps running, keeps its rows, and stores
// the next good record.
#include <cstring>
#include <random>
#include <thread>

#include "BoardView.h"
#include "ServerFixture.h"

class HostileInput : public RunningServer {
protected:
    void SetUp() override {
        RunningServer::SetUp();
        SendRecord("Anna", StatusIn, "before the attack");
        SendRecord("Bob", StatusOut, "also before");
        ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 2 && server.pendingCount == 0; }));
        anna = RowCopy(0);
        bob = RowCopy(1);
    }

    // The rows from before are intact and a good record is still stored.
    void ExpectStillServing() {
        EXPECT_EQ(std::memcmp(RowCopy(0).Bytes(), anna.Bytes(), 512), 0);
        EXPECT_EQ(std::memcmp(RowCopy(1).Bytes(), bob.Bytes(), 512), 0);
        const std::int32_t rows = server.table.RowCount();
        SendRecord("Zed", StatusIn, "after the attack");
        ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == rows + 1; }, 10000));
        EXPECT_EQ(RowCopy(static_cast<std::size_t>(rows)).Message(), "after the attack");
    }

    StatusRecord anna, bob;
};

TEST_F(HostileInput, RandomBytesStoreOnlyTheirFirst512) {
    std::mt19937 random(7);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    noise.replace(0, 5, std::string("Anna\0", 5));  // even a key that matches a row: it is replaced whole
    {
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        c.Send(noise.data(), noise.size());
    }
    ASSERT_TRUE(WaitUntil([&] { return RowCopy(0).Message() != "before the attack"; }));
    EXPECT_EQ(std::memcmp(RowCopy(0).Bytes(), noise.data(), 512), 0);
    anna = RowCopy(0);
    ExpectStillServing();
}

TEST_F(HostileInput, RecordWithoutAnyNulStaysInsideItsFields) {
    std::string full(512, 'x');
    {
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        c.Send(full.data(), full.size());
    }
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 3; }));
    BoardView view;
    view.Create(10, 800, 100, 3);
    std::vector<PaintItem> items = PaintBoard(view, server.table, server.tableLock, 0, 1);
    ASSERT_EQ(items.size(), 11u);  // counter; marker and three items; three; three
    EXPECT_EQ(items.back().text, std::string(488, 'x'));
    EXPECT_EQ(items[items.size() - 3].text, std::string(20, 'x'));
    EXPECT_EQ(items[items.size() - 2].text, "other");
    ExpectStillServing();
}

TEST_F(HostileInput, AnyStatusValueIsStoredThenPaintedAsOther) {
    const std::int32_t values[] = {0, 9, -1, 0x7fffffff};
    for (std::int32_t v : values) SendRecord("s" + std::to_string(v), v, "odd");
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == 6; }));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(RowCopy(2 + static_cast<std::size_t>(i)).Status(), values[i]);
    BoardView view;
    view.Create(10, 800, 100, 6);
    PaintBoard(view, server.table, server.tableLock, 0, 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(RowCopy(2 + static_cast<std::size_t>(i)).Status(), StatusOther);
    ExpectStillServing();
}

TEST_F(HostileInput, SilentResetAndDrippingConnections) {
    {
        RawClient silent;
        ASSERT_TRUE(silent.Connect(port));
    }
    {
        RawClient rude;
        ASSERT_TRUE(rude.Connect(port));
        StatusRecord r;
        r.SetName("cut");
        rude.Send(r.Bytes(), 100);
        SleepMs(50);
        rude.Reset();
    }
    RawClient drip;
    ASSERT_TRUE(drip.Connect(port));
    const char name[] = "dripping";
    for (int i = 0; i < 30; ++i) {
        drip.Send(i < 9 ? name + i : "", 1);
        SleepMs(100);
    }
    // The drip is stored as what came within two seconds of its first byte.
    ASSERT_TRUE(WaitUntil([&] {
        for (std::int32_t i = 0; i < server.table.RowCount(); ++i)
            if (RowCopy(static_cast<std::size_t>(i)).Name() == "dripping") return true;
        return false;
    }));
    drip.Close();
    EXPECT_TRUE(WaitUntil([&] { return TestManager().SocketCount() == 1; })) << Counter();
    ExpectStillServing();
}

TEST_F(HostileInput, FiftyClientsAtOnceWhileTheBoardIsPainted) {
    std::atomic<bool> painting{true};
    std::thread painter([&] {
        BoardView view;
        view.Create(12, 800, 600, server.table.RowCount());
        while (painting) {
            PaintBoard(view, server.table, server.tableLock, server.pendingCount, TestManager().SocketCount());
            SleepMs(5);
        }
    });
    std::vector<std::thread> clients;
    for (int i = 0; i < 50; ++i)
        clients.emplace_back([this, i] { SendRecord("crowd" + std::to_string(i), StatusIn, "here"); });
    for (auto& c : clients) c.join();
    EXPECT_TRUE(WaitUntil([&] { return server.table.RowCount() == 52; }, 60000))
        << server.table.RowCount() << " rows, counter " << Counter();
    painting = false;
    painter.join();
    ExpectStillServing();
}

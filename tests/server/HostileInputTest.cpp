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

// Records no client of ours sends: fields without a terminator and status
// values outside 1 to 3. Each is stored as it came and painted inside its
// fields, its status shown (and then stored) as other.
TEST_F(HostileInput, OddRecordsAreStoredAsSentAndPaintedInsideTheirFields) {
    struct Row {
        std::string name;
        std::int32_t status;
        std::string message;
    } rows[] = {{std::string(20, 'x'), 0x78787878, std::string(488, 'x')},  // not one NUL in 512 bytes
                {std::string(20, 'N'), 0, "zero"},
                {"s9", 9, "nine"},
                {"s-1", -1, "minus one"},
                {"smax", 0x7fffffff, std::string(488, 'M')}};
    for (const Row& r : rows) {
        unsigned char raw[512] = {};
        std::memcpy(raw, r.name.data(), r.name.size());
        for (int i = 0; i < 4; ++i)
            raw[20 + i] = static_cast<unsigned char>(static_cast<std::uint32_t>(r.status) >> (8 * i));
        std::memcpy(raw + 24, r.message.data(), r.message.size());
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        c.Send(raw, sizeof raw);
    }
    const std::size_t first = 2, count = sizeof rows / sizeof rows[0];
    ASSERT_TRUE(WaitUntil([&] { return server.table.RowCount() == static_cast<std::int32_t>(first + count); }));
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(RowCopy(first + i).Status(), rows[i].status) << i;

    BoardView view;
    view.Create(10, 800, 10 * static_cast<int>(first + count + 1), static_cast<std::int32_t>(first + count));
    std::vector<PaintItem> items = PaintBoard(view, server.table, server.tableLock, 0, 1);
    ASSERT_EQ(items.size(), 1u + 1u + 3 * (first + count));  // counter, marker, three items a row
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = items.size() - 3 * (count - i);
        EXPECT_EQ(items[at].text, rows[i].name) << i;
        EXPECT_EQ(items[at + 1].text, "other") << i;
        EXPECT_EQ(items[at + 2].text, rows[i].message) << i;
        EXPECT_EQ(RowCopy(first + i).Status(), StatusOther) << i;
    }
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

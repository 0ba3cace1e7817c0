#include <gtest/gtest.h>

#include <chrono>

#include "BoardSnapshot.h"
#include "Loopback.h"
#include "Records.h"

TEST(BoardJson, TextsOrderAgesAndStatuses) {
    BoardSnapshot snapshot;
    snapshot.pending = 2;
    snapshot.open = 3;
    snapshot.silentMinutes = 5;
    snapshot.updates = true;
    snapshot.codeNeeded = true;
    snapshot.rows = {{"Ren\xe9", 1, "says \"hi\" \\ \x80 5", 42},
                     {"Bert", 2, std::string("tab\there\x81", 9), 0},
                     {"<b>x</b>", 9, "<img src=x onerror=\"x()\">", 7261},
                     {"zero", 0, "", -3, true, "15:00", true}};
    snapshot.rows[0].sinceMs = 1765289100000;  // 14:05 UTC on 9 Dec 2025
    snapshot.rows[0].sinceSeconds = 3600;
    snapshot.rows[3].hasDesk = true;
    snapshot.rows[3].deskStatus = 1;
    EXPECT_EQ(
        BoardJson(snapshot),
        "{\"counter\":{\"pending\":2,\"open\":3},\"silentMinutes\":5,\"updates\":true,\"code\":true,\"rows\":["
        "{\"name\":\"Ren\xc3\xa9\",\"status\":1,\"word\":\"in\",\"message\":\"says \\\"hi\\\" \\\\ \xe2\x82\xac 5\","
        "\"age\":42,\"since\":1765289100000,\"sinceAge\":3600,\"source\":\"desk\"},"
        "{\"name\":\"Bert\",\"status\":2,\"word\":\"out\",\"message\":\"tab\\there\xef\xbf\xbd\",\"age\":0,"
        "\"since\":0,\"sinceAge\":0,\"source\":\"desk\"},"
        "{\"name\":\"<b>x</b>\",\"status\":3,\"word\":\"other\",\"message\":\"<img src=x onerror=\\\"x()\\\">\","
        "\"age\":7261,\"since\":0,\"sinceAge\":0,\"source\":\"desk\"},"
        "{\"name\":\"zero\",\"status\":3,\"word\":\"other\",\"message\":\"\",\"age\":0,\"since\":0,"
        "\"sinceAge\":0,\"source\":\"browser\",\"until\":\"15:00\",\"passed\":true,\"desk\":\"in\"}]}");
}

TEST(BoardJson, SnapshotIsTakenUnderTheLockOrNotAtAll) {
    BoardServer board(TestManager());
    board.table.Store(MakeRecord("Anna", 1, "in"));
    board.table.Store(MakeRecord("Bert", 2, "out"));
    board.silentMinutes = 4;
    BoardSnapshot snapshot;
    ASSERT_TRUE(TakeSnapshot(board, snapshot));
    ASSERT_EQ(snapshot.rows.size(), 2u);
    EXPECT_EQ(snapshot.rows[0].name, "Anna");
    EXPECT_EQ(snapshot.rows[1].status, 2);
    EXPECT_LE(snapshot.rows[0].ageSeconds, 1);
    EXPECT_EQ(snapshot.silentMinutes, 4u);
    ASSERT_TRUE(board.tableLock.WaitFor(std::chrono::milliseconds(10)));
    EXPECT_FALSE(TakeSnapshot(board, snapshot));  // the painter's wait, 1500 ms, then no rows
    board.tableLock.Release();
}

#include <gtest/gtest.h>

#include "HostRule.h"
#include "WebServer.h"
#include "TableRows.h"

namespace {

const std::vector<std::string> names = {"board"};

struct RawCase {
    std::string bytes;
    int status;
};
const RawCase rawCases[] = {{"GET / HTTP/1.1\r\nHost: board\r\n\r\n", 200},
                            {"GET /?wall HTTP/1.1\r\nHost: board:8080\r\n\r\n", 200},
                            {"HEAD /app.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 200},
                            {"GET /board.json HTTP/1.1\r\nHost: localhost\r\n\r\n", 200},
                            {"GET /healthz HTTP/1.1\r\nHost: localhost\r\n\r\n", 200},
                            {"GET /roll.csv HTTP/1.1\r\nHost: localhost\r\n\r\n", 200},
                            {"GET /?roll HTTP/1.1\r\nHost: localhost\r\n\r\n", 200},
                            {"GET /roll.js HTTP/1.1\r\nHost: localhost\r\n\r\n", 200},
                            {"GET /roll.csv HTTP/1.1\r\nHost: rebound.example\r\n\r\n", 421},
                            {"HEAD /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n", 200},
                            {"GET /metrics HTTP/1.1\r\nHost: evil.example\r\n\r\n", 421},
                            {"GET /etc/passwd HTTP/1.1\r\nHost: board\r\n\r\n", 404},
                            {"GET /../app.js HTTP/1.1\r\nHost: board\r\n\r\n", 404},
                            {"DELETE / HTTP/1.1\r\nHost: board\r\n\r\n", 405},
                            {"GET / HTTP/1.1\r\nHost: rebound.example\r\n\r\n", 421},
                            {"GET / HTTP/1.0\r\n\r\n", 421},
                            {"GET / HTTP/1.1\r\nHost: board\r\nX: " + std::string(9000, 'a') + "\r\n\r\n", 431},
                            {"\x16\x03\x01 garbage\r\n\r\n", 400},
                            {"GET / HTTP/1.1\r\nHost: bo", 0}};

}  // namespace

class AnsweredAsTheServerWould : public ::testing::TestWithParam<RawCase> {};

TEST_P(AnsweredAsTheServerWould, EachRow) {
    const RawCase& row = GetParam();
    EXPECT_EQ(AnswerRawRequest(row.bytes, names), row.status) << row.bytes.substr(0, 40);
}
INSTANTIATE_TEST_SUITE_P(Rows, AnsweredAsTheServerWould, ::testing::ValuesIn(rawCases), RowsNamedBy(&RawCase::bytes));

TEST(RawRequests, UpdateRoutesReadABodyOnlyAfterTheirHeadersPass) {
    // With updates on, a body is read only for the update routes, after their headers pass.
    UpdateSettings on;
    on.on = true;
    const std::string post = "POST /status HTTP/1.1\r\nHost: board\r\nContent-Type: application/json\r\n";
    const std::string body = "{\"name\":\"Anna\",\"status\":1}";
    struct Update {
        std::string bytes;
        int status;
    } updates[] = {
        {post + "X-Pegora-Update: 1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body, 200},
        {post + "X-Pegora-Update: 1\r\nContent-Length: 40\r\n\r\n" + body, 0},
        {post + "X-Pegora-Update: 1\r\nTransfer-Encoding: chunked\r\n\r\nffff\r\n" + std::string(5000, 'f'), 413},
        {post + "Content-Length: 5\r\n\r\nhello", 403},
        {"GET /app.js HTTP/1.1\r\nHost: board\r\nTransfer-Encoding: chunked\r\n\r\nffff\r\n", 200},
    };
    for (const Update& u : updates) EXPECT_EQ(AnswerRawRequest(u.bytes, names, on), u.status) << u.bytes.substr(0, 60);
}

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "Records.h"
#include "BoardSnapshot.h"
#include "HostRule.h"
#include "RollCall.h"
#include "Loopback.h"
#include "WebServer.h"

namespace {

struct Deleter {
    void operator()(Socket* s) const { delete s; }
};
typedef std::unique_ptr<Socket, Deleter> Endpoint;

// A board with a web view on a loopback port the system chose.
class WebView : public ::testing::Test {
protected:
    void SetUp() override {
        web.idleLimit = std::chrono::milliseconds(800);
        std::string error;
        ASSERT_TRUE(web.Start(0, error)) << error;
        port = web.Port();
    }

    Endpoint Connect() {
        Endpoint c(TestManager().CreateSocket());
        c->Bind(0);
        c->Connect("127.0.0.1", port);
        return c;
    }

    // Everything the server sends until it closes or `limitMs` passes.
    std::string ReadAll(Socket& c, int limitMs = 3000) {
        std::string bytes;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (!WaitReadable({c.Handle()}, 50)[0]) continue;
            std::uint16_t length = 0;
            const char* data = c.Receive(length);
            if (length == 0) break;
            bytes.append(data, length);
        }
        return bytes;
    }

    std::string Ask(const std::string& request) {
        Endpoint c = Connect();
        c->Send(request.data(), static_cast<std::uint16_t>(request.size()));
        return ReadAll(*c);
    }

    static int StatusOf(const std::string& response) {
        return response.size() > 12 ? std::atoi(response.substr(9, 3).c_str()) : 0;
    }

    BoardServer board{TestManager()};
    WebServer web{board};
    std::uint16_t port = 0;
};

}  // namespace

TEST_F(WebView, RoutesHeadersAndRefusals) {
    std::string page = Ask("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(StatusOf(page), 200);
    EXPECT_NE(page.find("<title>Pegora board</title>"), std::string::npos);
    for (const char* header : {"Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; "
                               "connect-src 'self'; img-src 'self' data:; frame-ancestors 'none'",
                               "X-Frame-Options: DENY", "X-Content-Type-Options: nosniff", "Cache-Control: no-store",
                               "Referrer-Policy: no-referrer", "Content-Type: text/html"})
        EXPECT_NE(page.find(header), std::string::npos) << header;

    board.table.Store(MakeRecord("Anna", 1, "at my desk"));
    std::string json = Ask("GET /board.json HTTP/1.1\r\nHost: localhost:1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(StatusOf(json), 200);
    EXPECT_NE(json.find("\"name\":\"Anna\""), std::string::npos);

    std::string head = Ask("HEAD /board.json HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(StatusOf(head), 200);
    EXPECT_NE(head.find("Content-Length: "), std::string::npos);
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n") << "HEAD has no body";

    EXPECT_EQ(StatusOf(Ask("GET /missing HTTP/1.1\r\nHost: localhost\r\n\r\n")), 404);
    std::string post = Ask("POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(StatusOf(post), 405);
    EXPECT_NE(post.find("Allow: GET, HEAD"), std::string::npos);
    EXPECT_EQ(StatusOf(Ask("GET / HTTP/1.1\r\nHost: rebound.example\r\n\r\n")), 421);
    EXPECT_EQ(StatusOf(Ask("GET / HTTP/1.1\r\nHost: localhost\r\nX: " + std::string(9000, 'a') + "\r\n\r\n")), 431);

    // Held by the painter or a store: the reader of the web is told to come back.
    ASSERT_TRUE(board.tableLock.WaitFor(std::chrono::milliseconds(10)));
    std::string busy = Ask("GET /board.json HTTP/1.1\r\nHost: localhost\r\n\r\n");
    board.tableLock.Release();
    EXPECT_EQ(StatusOf(busy), 503);
    EXPECT_NE(busy.find("Retry-After: 1"), std::string::npos);
}

// A page polling every 2 seconds is answered 304 while what it shows stands: a
// desk re-sending the same words changes nothing, a new word does.
TEST_F(WebView, TheBoardsJsonIsTaggedByWhatItShows) {
    auto header = [](const std::string& response, const std::string& name) {
        const std::size_t at = response.find("\r\n" + name + ": ");
        return at == std::string::npos
                   ? std::string()
                   : response.substr(at + name.size() + 4, response.find("\r\n", at + 2) - at - name.size() - 4);
    };
    auto get = [this](const std::string& extra) {
        return Ask("GET /board.json HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + extra + "\r\n");
    };
    board.table.Store(MakeRecord("Anna", 1, "at my desk"));
    const std::string first = get("");
    const std::string tag = header(first, "ETag");
    ASSERT_EQ(tag.substr(0, 3), "W/\"") << first;
    EXPECT_EQ(header(first, "Vary"), "Accept-Encoding");
    SleepMs(1100);
    board.table.Store(MakeRecord("Anna", 1, "at my desk"));  // the minute's re-send
    const std::string same = get("If-None-Match: " + tag + "\r\n");
    EXPECT_EQ(StatusOf(same), 304);
    EXPECT_EQ(header(same, "ETag"), tag);
    EXPECT_EQ(same.substr(same.size() - 4), "\r\n\r\n") << "no body";
    board.table.Store(MakeRecord("Anna", 2, "lunch"));
    const std::string changed = get("If-None-Match: " + tag + "\r\n");
    EXPECT_EQ(StatusOf(changed), 200);
    EXPECT_NE(header(changed, "ETag"), tag);
    EXPECT_NE(changed.find("\"message\":\"lunch\""), std::string::npos);
    const std::string gzipped = get("Accept-Encoding: br, gzip;q=0.8\r\n");
    EXPECT_EQ(header(gzipped, "Content-Encoding"), "gzip");
    EXPECT_NE(gzipped.find("\r\n\r\n\x1f\x8b\x08"), std::string::npos) << "a gzip stream follows the header";
    EXPECT_EQ(header(get("Accept-Encoding: gzip;q=0\r\n"), "Content-Encoding"), "") << "refused by its weight";
}

TEST_F(WebView, HealthSaysWhyAndMetricsNeverNameAnybody) {
    struct Row {
        bool listening;
        std::int64_t passAgoMs;  // -1: no pass yet
        int status;
        const char* body;
    } rows[] = {{true, 100, 200, "ok\n"},
                {false, 100, 503, "the board port is not listening\n"},
                {true, -1, 503, "the reader thread has not completed a pass yet\n"},
                {true, 7000, 503, "the reader thread has not completed a pass for 7 seconds\n"}};
    for (const Row& row : rows) {
        board.listening = row.listening;
        board.lastReaderPassMs = row.passAgoMs < 0 ? 0 : SteadyMs() - row.passAgoMs;
        std::string answer = Ask("GET /healthz HTTP/1.1\r\nHost: localhost\r\n\r\n");
        EXPECT_EQ(StatusOf(answer), row.status) << row.body;
        EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), row.body);
    }
    EXPECT_EQ(StatusOf(Ask("GET /healthz HTTP/1.1\r\nHost: rebound.example\r\n\r\n")), 421);

    board.table.Store(MakeRecord("Secret Name", 1, "secret message"));
    ++board.counters.recordsStored;
    ++board.counters.closedRoomMade;
    std::string metrics = Ask("GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(StatusOf(metrics), 200);
    for (const char* line :
         {"Content-Type: text/plain; version=0.0.4", "X-Content-Type-Options: nosniff", "\npegora_rows 1\n",
          "\npegora_records_stored_total 1\n", "pegora_connections_closed_unread_total{reason=\"room_made\"} 1\n",
          "pegora_web_requests_total{code=\"503\"} 3\n", "pegora_web_requests_total{code=\"421\"} 1\n",
          "# TYPE pegora_start_time_seconds gauge\n"})
        EXPECT_NE(metrics.find(line), std::string::npos) << line;
    EXPECT_EQ(metrics.find("Secret"), std::string::npos);
    EXPECT_EQ(metrics.find("secret"), std::string::npos);
}

TEST_F(WebView, UpdatesFromABrowserAreRefusedOneByOneAndTakenWhenRight) {
    auto post = [this](const std::string& path, const std::string& body, const std::string& headers) {
        return Ask("POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers +
                   "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    };
    const std::string good = "Content-Type: application/json\r\nX-Pegora-Update: 1\r\n";
    const std::string anna =
        "{\"name\":\"Anna\",\"status\":2,\"message\":\"at a client\",\"until\":\"23:59\",\"code\":\"s3cret\"}";
    EXPECT_EQ(StatusOf(post("/status", anna, good)), 404) << "off: as any unknown route";
    EXPECT_EQ(StatusOf(post("/remove", anna, good)), 404);

    UpdateSettings on;
    on.on = true;
    on.code = "s3cret";
    web.SetUpdates(on);
    board.webUpdates = true;
    board.table.Store(MakeRecord("Anna", 1, "at my desk"));
    struct Row {
        std::string path, headers, body;
        int status;
        const char* says;
    } rows[] = {
        {"/status", "Content-Type: application/json\r\n", anna, 403, "did not come from the board's page"},
        {"/status", "Content-Type: text/plain\r\nX-Pegora-Update: 1\r\n", anna, 415, "must be JSON"},
        {"/status", good + "Origin: http://evil.example\r\n", anna, 403, "another site"},
        {"/status", good + "Sec-Fetch-Site: cross-site\r\n", anna, 403, "another site"},
        {"/status", good, std::string(4097, ' '), 413, ""},
        {"/status", good, "not json", 400, "not a JSON object"},
        {"/status", good, "{\"name\":\"Twenty characters ok\",\"status\":1,\"code\":\"s3cret\"}", 400,
         "name is longer than 19"},
        {"/status", good, "{\"name\":\"\",\"status\":1,\"code\":\"s3cret\"}", 400, "name is missing"},
        {"/status", good, "{\"name\":\"Anna\",\"status\":4,\"code\":\"s3cret\"}", 400, "in, out or other"},
        {"/status", good, "{\"name\":\"Anna\",\"status\":\"1\",\"code\":\"s3cret\"}", 400, "in, out or other"},
        {"/status", good, "{\"name\":\"Anna\",\"status\":1,\"until\":\"24:00\",\"code\":\"s3cret\"}", 400, "HH:MM"},
        {"/status", good, "{\"name\":\"\xce\xa9mega\",\"status\":1,\"code\":\"s3cret\"}", 400,
         "character the board cannot show"},
        {"/status", good,
         "{\"name\":\"Anna\",\"status\":1,\"message\":\"" + std::string(488, 'm') + "\",\"code\":\"s3cret\"}", 400,
         "message is longer than 487"},
        {"/status", good + "Origin: http://127.0.0.1\r\nSec-Fetch-Site: same-origin\r\n", anna, 200, "\"ok\":true"},
        {"/remove", good, "{\"name\":\"nobody\",\"code\":\"s3cret\"}", 404, "Nobody of that name"},
    };
    for (const Row& row : rows) {
        std::string answer = post(row.path, row.body, row.headers);
        EXPECT_EQ(StatusOf(answer), row.status) << row.says << "\n" << answer.substr(0, 200);
        EXPECT_NE(answer.find(row.says), std::string::npos) << row.says;
    }
    std::string json = Ask("GET /board.json HTTP/1.1\r\nHost: localhost\r\n\r\n");
    EXPECT_NE(json.find("\"updates\":true,\"code\":true"), std::string::npos);
    EXPECT_NE(json.find("\"message\":\"at a client\",\"age\":0,\"since\":"), std::string::npos) << json;
    EXPECT_NE(json.find(",\"source\":\"browser\",\"until\":\"23:59\""), std::string::npos) << json;

    on.code.clear();
    web.SetUpdates(on);
    EXPECT_EQ(StatusOf(post("/status", "{\"name\":\"Bert\",\"status\":1}", good)), 200) << "no code needed";
    EXPECT_EQ(StatusOf(post("/remove", "{\"name\":\"Bert\"}", good)), 403) << "no removal without a code";
    on.code = "s3cret";
    web.SetUpdates(on);
    EXPECT_EQ(StatusOf(post("/remove", "{\"name\":\"bert\",\"code\":\"s3cret\"}", good)), 200);

    // Wrong codes: four are told so, the fifth shuts the address out for a minute, the right one too.
    const std::string wrong = "{\"name\":\"Anna\",\"code\":\"guess\"}";
    for (int i = 0; i < 5; ++i) EXPECT_EQ(StatusOf(post("/remove", wrong, good)), 403) << i;
    std::string shut = post("/remove", "{\"name\":\"Anna\",\"code\":\"s3cret\"}", good);
    EXPECT_EQ(StatusOf(shut), 429);
    EXPECT_NE(shut.find("try again in a minute"), std::string::npos);
    EXPECT_NE(shut.find("Retry-After: 6"), std::string::npos) << "about a minute: " << shut;
    EXPECT_EQ(board.table.RowCount(), 1) << "nothing changed while shut out";
}

TEST_F(WebView, IdleAndDribblingConnectionsAreClosed) {
    Endpoint idle = Connect();
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadAll(*idle, 5000), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3000)) << "idle one closed";

    Endpoint drip = Connect();
    started = std::chrono::steady_clock::now();
    const std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";
    bool closed = false;
    for (char c : request) {
        SleepMs(150);
        try {
            drip->Send(&c, 1);
        } catch (const CExcept&) {
            closed = true;
            break;
        }
        if (std::chrono::steady_clock::now() - started > std::chrono::milliseconds(2500)) break;
    }
    std::string answer = ReadAll(*drip, 2000);
    EXPECT_TRUE(closed || answer.empty()) << "a dribble is cut at the limit, not answered";
}

namespace {
bool ClosedSoon(Socket& c) {
    if (!WaitReadable({c.Handle()}, 2000)[0]) return false;
    std::uint16_t length = 1;
    try {
        c.Receive(length);
    } catch (const CExcept&) {
        length = 0;  // a reset is a close too
    }
    return length == 0;
}

std::string AskOn(Socket& c, const std::string& request) {
    c.Send(request.data(), static_cast<std::uint16_t>(request.size()));
    if (!WaitReadable({c.Handle()}, 3000)[0]) return "";
    std::uint16_t length = 0;
    const char* data = c.Receive(length);
    return std::string(data, length);
}
}  // namespace

// At most maxConnections at once. When full, the connection that has waited
// longest for a request makes room, whether it never asked or was answered
// and kept alive.
TEST(WebViewLimits, PlacesAreBoundedAndSilentOnesMakeRoom) {
    BoardServer board(TestManager());
    WebServer web(board);
    web.maxConnections = 3;
    std::string error;
    ASSERT_TRUE(web.Start(0, error)) << error;
    auto connect = [&] {
        Endpoint c(TestManager().CreateSocket());
        c->Bind(0);
        c->Connect("127.0.0.1", web.Port());
        return c;
    };
    const std::string request = "GET /app.css HTTP/1.1\r\nHost: localhost\r\n\r\n";
    std::vector<Endpoint> silent;
    for (int i = 0; i < 3; ++i) silent.push_back(connect());
    SleepMs(300);
    Endpoint reader = connect();
    EXPECT_TRUE(ClosedSoon(*silent[0])) << "the oldest silent one made room";
    EXPECT_EQ(AskOn(*reader, request).substr(0, 12), "HTTP/1.1 200") << "the newcomer is served";

    // Every place a reader that was answered and keeps its connection: the one
    // idle longest makes room, so kept-alive connections cannot lock readers out.
    Endpoint second = connect();  // evicts silent[1]
    Endpoint third = connect();   // evicts silent[2]
    EXPECT_EQ(AskOn(*second, request).substr(0, 12), "HTTP/1.1 200");
    EXPECT_EQ(AskOn(*third, request).substr(0, 12), "HTTP/1.1 200");
    SleepMs(100);
    EXPECT_EQ(AskOn(*second, request).substr(0, 12), "HTTP/1.1 200") << "second asks again: reader is idle longest";
    Endpoint surplus = connect();
    EXPECT_TRUE(ClosedSoon(*reader)) << "the reader idle longest made room";
    EXPECT_EQ(AskOn(*surplus, request).substr(0, 12), "HTTP/1.1 200") << "the newcomer is served";
    EXPECT_EQ(AskOn(*third, request).substr(0, 12), "HTTP/1.1 200") << "the others keep their places";
}

// Readers that ask for a large board and never read the answer hold no place
// for long: each answer waits a second at most before it may make room.
TEST(WebViewLimits, AnswersNobodyReadsMakeRoom) {
    BoardServer board(TestManager());
    for (int i = 0; i < 2000; ++i)
        board.table.Store(MakeRecord("person" + std::to_string(i), 1, std::string(400, 'm')));
    WebServer web(board);
    web.maxConnections = 3;
    std::string error;
    ASSERT_TRUE(web.Start(0, error)) << error;
    std::vector<Endpoint> stuck;
    std::string asks;
    for (int i = 0; i < 20; ++i) asks += "GET /board.json HTTP/1.1\r\nHost: localhost\r\n\r\n";
    for (int i = 0; i < 3; ++i) {
        stuck.emplace_back(TestManager().CreateSocket());
        stuck.back()->Bind(0);
        stuck.back()->Connect("127.0.0.1", web.Port());
        stuck.back()->Send(asks.data(), static_cast<std::uint16_t>(asks.size()));
    }
    // Room is made once the stuck answers are found unread, which a slow (sanitized) build
    // takes longer to reach: a reader refused meanwhile asks again, for a bounded time.
    std::string answer;
    for (int tries = 0; tries < 10 && answer.substr(0, 12) != "HTTP/1.1 503"; ++tries) {
        SleepMs(2500);
        Endpoint reader(TestManager().CreateSocket());
        reader->Bind(0);
        reader->Connect("127.0.0.1", web.Port());
        try {
            answer = AskOn(*reader, "GET /healthz HTTP/1.1\r\nHost: localhost\r\n\r\n");
        } catch (const CExcept&) {
            answer.clear();  // closed: every place still taken
        }
    }
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 503") << "answered (503: no reader thread runs here)";
}

TEST(WebViewOptions, TakenAtOnceAndABusyPortIsSaid) {
    BoardServer board(TestManager());
    WebServer web(board);
    Socket* holder = TestManager().CreateSocket();
    holder->Bind(0);
    holder->Listen();
    const std::uint16_t held = BoundPort(holder);

    std::string error;
    EXPECT_FALSE(ApplyBoardOptions(board, web, TestOptions(held, 7), error));
    EXPECT_EQ(error, "The web view cannot listen on port " + std::to_string(held) + ": Address already in use");
    EXPECT_FALSE(web.Running());
    EXPECT_EQ(board.silentMinutes.load(), 7u) << "the grey rows do not wait for the web";
    delete holder;

    ASSERT_TRUE(ApplyBoardOptions(board, web, TestOptions(held, 0), error)) << error;
    EXPECT_TRUE(web.Running());
    EXPECT_EQ(web.Port(), held);
    EXPECT_EQ(board.silentMinutes.load(), 0u);
    ASSERT_TRUE(ApplyBoardOptions(board, web, TestOptions(0, 0), error));
    EXPECT_FALSE(web.Running());
}

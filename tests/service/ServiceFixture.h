// A board service on system-chosen loopback ports with its database in a
// folder of its own, and a host that records what the service manager would see.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "BoardService.h"
#include "BoardState.h"
#include "Loopback.h"
#include "Records.h"

struct RecordingHost : ServiceHost {
    std::mutex lock;
    std::vector<std::string> lines;  // "<priority>text"
    int ready = 0, stopping = 0, alive = 0;

    void Log(int priority, const std::string& line) override {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back("<" + std::to_string(priority) + ">" + line);
    }
    void Ready() override { ++ready; }
    void Stopping() override { ++stopping; }
    void Alive() override { ++alive; }

    int Count(const std::string& part) {
        std::lock_guard<std::mutex> guard(lock);
        int n = 0;
        for (const std::string& line : lines) n += line.find(part) != std::string::npos;
        return n;
    }
};

// One request over loopback, the whole answer (the service's tests run on Linux only).
inline std::string HttpAsk(std::uint16_t port, const std::string& method, const std::string& path,
                           const std::string& headers, const std::string& body) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string ask =
            method + " " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + headers +
            (body.empty() ? "" : "Content-Length: " + std::to_string(body.size()) + "\r\n") + "\r\n" + body;
        if (::send(fd, ask.data(), ask.size(), 0) == static_cast<ssize_t>(ask.size())) {
            char chunk[4096];
            for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
                answer.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}

inline std::string HttpGet(std::uint16_t port, const std::string& path, const std::string& headers = "") {
    return HttpAsk(port, "GET", path, headers, "");
}

// A POST as the board's page makes it: JSON, its custom header, and `cookie` when signed in.
inline std::string PagePost(std::uint16_t port, const std::string& path, const std::string& json,
                            const std::string& cookie = "") {
    return HttpAsk(port, "POST", path,
                   "Content-Type: application/json\r\nX-Pegora-Update: 1\r\n" +
                       (cookie.empty() ? std::string() : "Cookie: __Host-pegora=" + cookie + "\r\n"),
                   json);
}

inline std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pegora-state-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        config.stateFile = std::string(pattern) + "/board.db";
        config.port = 0;  // the system picks; the file's reader never allows it
        config.webPort = 0;
    }

    BoardService& Start(int expected = 0) {
        service.reset(new BoardService(TestManager(), config, host));
        EXPECT_EQ(service->Start(), expected);
        if (expected == 0) port = BoundPort(service->Board().listeningSocket);
        return *service;
    }

    void Send(const std::string& name, std::int32_t status, const std::string& message) {
        RawClient c;
        ASSERT_TRUE(c.Connect(port));
        StatusRecord r = MakeRecord(name, status, message);
        ASSERT_TRUE(c.Send(r.Bytes(), StatusRecord::Size));
    }

    // Ticks as the platform's loop does until `done`, or false after `limitMs`.
    bool TickUntil(const std::function<bool()>& done, int limitMs = 5000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            service->Tick();
            SleepMs(50);
        }
        return true;
    }

    // The rows in the database, as another program reads them while the service runs.
    std::vector<StoredRow> SavedRows() {
        std::vector<StoredRow> rows;
        std::int64_t savedMs = 0;
        std::string error;
        std::unique_ptr<BoardStore> store = BoardStore::Connect(config.stateFile, error);
        if (store) store->LoadRows(rows, savedMs, error);
        return rows;
    }
    std::string Folder() const { return config.stateFile.substr(0, config.stateFile.rfind('/') + 1); }
    // Where the version before kept its rows, which a start moves into the database.
    std::string OldState() const { return Folder() + "board.state"; }

    ServiceConfig config;
    RecordingHost host;
    std::unique_ptr<BoardService> service;
    std::uint16_t port = 0;
};

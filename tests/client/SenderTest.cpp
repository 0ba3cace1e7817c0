#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>

#include "Loopback.h"
#include "ProcessCounts.h"
#include "StatusSender.h"

namespace {

// Accepts every connection and keeps each whole delivery.
class Collector {
public:
    Collector() : listener(TestManager().CreateSocket()) {
        listener->Bind(0);
        listener->Listen();
        port = BoundPort(listener);
        worker = std::thread([this] { Run(); });
    }
    ~Collector() {
        stop = true;
        listener->Close();
        worker.join();
        delete listener;
    }
    std::vector<std::string> Deliveries() {
        std::lock_guard<std::mutex> guard(lock);
        return deliveries;
    }
    bool WaitFor(std::size_t count, int timeoutMs = 10000) {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (Deliveries().size() >= count) return true;
            SleepMs(10);
        }
        return false;
    }
    std::uint16_t port;

private:
    void Run() {
        while (!stop) {
            std::vector<SocketHandle> one{listener->Handle()};
            if (!WaitReadable(one, 50)[0] || stop) continue;
            Socket* c = nullptr;
            try {
                c = listener->Accept();
                std::string bytes;
                for (;;) {
                    std::uint16_t length = 0;
                    const char* data = c->Receive(length);
                    if (length == 0) break;
                    bytes.append(data, length);
                }
                std::lock_guard<std::mutex> guard(lock);
                deliveries.push_back(bytes);
            } catch (const CExcept&) {
            }
            delete c;
        }
    }
    Socket* listener;
    std::thread worker;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<std::string> deliveries;
};

struct SenderSetup {
    ClientState state;
    StatusSender sender{TestManager(), state};
    void Aim(std::uint32_t port) {
        auto guard = state.Lock();
        state.config.SetServerAddress("127.0.0.1");
        state.config.port = port;
    }
};

}  // namespace

TEST(StatusSender, SendsExactlyTheRecordBytes) {
    Collector server;
    SenderSetup s;
    s.Aim(server.port);
    s.state.record.SetName("Anna");
    s.state.record.SetStatus(StatusIn);
    s.state.record.SetMessage("a long message written earlier");
    s.state.record.SetMessage("short");
    s.sender.StartStatusSend(false);
    ASSERT_TRUE(server.WaitFor(1));
    ASSERT_TRUE(s.sender.WaitForSends(std::chrono::seconds(5)));
    std::string got = server.Deliveries()[0];
    ASSERT_EQ(got.size(), 512u);
    EXPECT_EQ(std::memcmp(got.data(), s.state.record.Bytes(), 512), 0);
    EXPECT_EQ(got.substr(24, 30), std::string("short\0 message written earlier", 30));
    for (int i = 224; i < 512; ++i) ASSERT_EQ(got[i], 0) << i;
}

TEST(StatusSender, PortUsesItsLowSixteenBits) {
    Collector server;
    SenderSetup s;
    s.Aim(0x10000u + server.port);
    s.sender.StartStatusSend(false);
    EXPECT_TRUE(server.WaitFor(1));
    EXPECT_TRUE(s.sender.WaitForSends(std::chrono::seconds(5)));
}

TEST(StatusSender, FailuresAreSilentUnlessAskedFor) {
    std::uint16_t closedPort;
    {
        Collector gone;
        closedPort = gone.port;
    }
    SenderSetup s;
    std::vector<std::string> shown;
    std::mutex shownLock;
    s.sender.showFailure = [&](const std::string& text) {
        std::lock_guard<std::mutex> guard(shownLock);
        shown.push_back(text);
    };
    std::int32_t before = TestManager().SocketCount();
    for (std::uint32_t port : {static_cast<std::uint32_t>(closedPort), 0u}) {
        s.Aim(port);
        s.sender.StartStatusSend(false);
        ASSERT_TRUE(s.sender.WaitForSends(std::chrono::seconds(10)));
    }
    EXPECT_TRUE(shown.empty());
    s.Aim(closedPort);
    s.sender.StartStatusSend(true);
    ASSERT_TRUE(s.sender.WaitForSends(std::chrono::seconds(10)));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "connect failed! Connection refused");
    EXPECT_EQ(TestManager().SocketCount(), before);
}

TEST(StatusSender, OverlappingSendsEachCarryAConsistentRecord) {
    Collector server;
    SenderSetup s;
    s.Aim(server.port);
    const int sends = 40;
    for (int k = 0; k < sends; ++k) {
        {
            // Each writer step changes name and message together.
            auto guard = s.state.Lock();
            s.state.record.SetName("n" + std::to_string(k));
            s.state.record.SetMessage(std::string(static_cast<std::size_t>(150 - k), 'm') + std::to_string(k));
        }
        s.sender.StartStatusSend(false);
    }
    ASSERT_TRUE(server.WaitFor(sends));
    ASSERT_TRUE(s.sender.WaitForSends(std::chrono::seconds(10)));
    std::set<std::string> seen;
    for (const std::string& d : server.Deliveries()) {
        ASSERT_EQ(d.size(), 512u);
        StatusRecord r(d.data(), d.size());
        std::string k = r.Name().substr(1);
        EXPECT_EQ(r.Message(), std::string(static_cast<std::size_t>(150 - std::stoi(k)), 'm') + k);
        seen.insert(k);
    }
    EXPECT_TRUE(seen.count(std::to_string(sends - 1)));  // the last state reaches the server
}

TEST(StatusSender, ManySendsLeaveNothingBehind) {
    Collector server;
    SenderSetup s;
    s.Aim(server.port);
    s.sender.StartStatusSend(false);  // warm up the runtime's lazy allocations
    ASSERT_TRUE(server.WaitFor(1));
    ASSERT_TRUE(s.sender.WaitForSends(std::chrono::seconds(5)));
    SleepMs(200);
    int threads = ThreadCount();
#if !defined(_WIN32)
    int handles = HandleCount();
#endif
    std::int32_t sockets = TestManager().SocketCount();
    const int sends = 1000;
    for (int i = 0; i < sends; ++i) {
        s.sender.StartStatusSend(false);
        if (i % 50 == 49) s.sender.WaitForSends(std::chrono::seconds(10));
    }
    ASSERT_TRUE(s.sender.WaitForSends(std::chrono::seconds(30)));
    ASSERT_TRUE(server.WaitFor(sends + 1, 30000));
    SleepMs(300);                       // let the last detached threads finish exiting
    EXPECT_LE(ThreadCount(), threads);  // a Toolhelp snapshot on Windows
#if !defined(_WIN32)
    EXPECT_LE(HandleCount(), handles + 2);
#endif
    EXPECT_EQ(TestManager().SocketCount(), sockets);
}

#if !defined(_WIN32)
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The record is read once the connection is made: a change made while the
// connect still waits goes out. The board's queue is kept full to hold it back.
TEST(StatusSender, ReadsTheRecordOnceConnected) {
    int board = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(board, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t size = sizeof address;
    ::getsockname(board, reinterpret_cast<sockaddr*>(&address), &size);
    ASSERT_EQ(::listen(board, 0), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(f, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(f);
    }
    SleepMs(200);

    SenderSetup s;
    s.Aim(ntohs(address.sin_port));
    s.state.record.SetName("Anna");
    s.state.record.SetMessage("old");
    s.sender.StartStatusSend(false);
    SleepMs(300);
    ASSERT_EQ(s.sender.RunningSends(), 1) << "the connect was not held back";
    {
        auto guard = s.state.Lock();
        s.state.record.SetMessage("new");
    }
    // Free the queue: take whatever waits, until the sender's record is in.
    std::string delivered;
    for (int tries = 0; tries < 10 && delivered.size() < 512; ++tries) {
        int c = ::accept(board, nullptr, nullptr);
        ASSERT_GE(c, 0);
        char buffer[600];
        ssize_t n;
        std::string bytes;
        timeval limit{1, 0};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        while ((n = ::recv(c, buffer, sizeof buffer, 0)) > 0) bytes.append(buffer, static_cast<std::size_t>(n));
        ::close(c);
        if (bytes.size() == 512) delivered = bytes;
    }
    ASSERT_EQ(delivered.size(), 512u);
    EXPECT_EQ(StatusRecord(delivered.data(), 512).Message(), "new");
    EXPECT_TRUE(s.sender.WaitForSends(std::chrono::seconds(5)));
    for (int f : fillers) ::close(f);
    ::close(board);
}
#endif

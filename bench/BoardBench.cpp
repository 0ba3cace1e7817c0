// Board and sender costs, measured in one process over loopback:
//   a burst of simultaneous clients, arrival-to-row latency with idle
//   connections open, and what many sends leave behind.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BoardServer.h"
#include "Loopback.h"
#include "ProcessCounts.h"
#include "StatusSender.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#else
#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

typedef std::chrono::steady_clock Clock;

SocketManager manager;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::uint16_t PortOf(Socket* s) {
    sockaddr_in a;
#if defined(_WIN32)
    int size = sizeof a;
#else
    socklen_t size = sizeof a;
#endif
    ::getsockname(s->Handle(), reinterpret_cast<sockaddr*>(&a), &size);
    return ntohs(a.sin_port);
}

long ResidentKiB() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<long>(counters.WorkingSetSize / 1024);
#else
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
#endif
}

// A running board on a system-chosen port, with a hook on every stored record.
struct Board {
    BoardServer server{manager};
    std::mutex lock;
    std::condition_variable stored;
    std::vector<Clock::time_point> storedAt;

    Board() {
        server.listeningSocket = manager.CreateSocket();
        server.listeningSocket->Bind(0);
        server.listeningSocket->Listen();
        server.boardChanged = [this] {
            std::lock_guard<std::mutex> guard(lock);
            storedAt.push_back(Clock::now());
            stored.notify_all();
        };
        StartWorkers(server);
    }
    ~Board() {
        StopWorkers(server);
        delete server.listeningSocket;
    }
    std::uint16_t Port() { return PortOf(server.listeningSocket); }
    bool WaitStored(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> guard(lock);
        return stored.wait_for(guard, limit, [&] { return storedAt.size() >= count; });
    }
    std::size_t StoredCount() {
        std::lock_guard<std::mutex> guard(lock);
        return storedAt.size();
    }
    Clock::time_point LastStored() {
        std::lock_guard<std::mutex> guard(lock);
        return storedAt.empty() ? Clock::time_point() : storedAt.back();
    }
};

StatusRecord Record(const std::string& name) {
    StatusRecord r;
    r.SetName(name);
    r.SetStatus(StatusIn);
    r.SetMessage("benchmark");
    return r;
}

void Burst() {
    Board board;
    const int clients = 20;
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&board, i] {
            // Raw sockets: the board's reader walks every endpoint of the manager.
            RawClient c;
            StatusRecord r = Record("burst" + std::to_string(i));
            if (c.Connect(board.Port())) c.Send(r.Bytes(), StatusRecord::Size);
        });
    }
    for (auto& t : threads) t.join();
    board.WaitStored(clients, std::chrono::seconds(30));
    double elapsed = Ms(board.LastStored() - start);
    int lost = clients - board.server.table.RowCount();
    std::printf("| burst of %d simultaneous clients | all stored after %.0f ms, %d lost | pacing: %d x 250 ms |\n",
                clients, elapsed, lost, clients);
}

void Latency() {
    Board board;
    std::vector<RawClient*> idle;
    for (int i = 0; i < 100; ++i) {
        idle.push_back(new RawClient);
        idle.back()->Connect(board.Port());
    }
    // Every idle connection has to be accepted first: four a second.
    while (board.server.pendingCount.load() < 100) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<double> samples;
    for (int i = 0; i < 60; ++i) {
        RawClient* s = new RawClient;
        s->Connect(board.Port());
        std::size_t before = board.StoredCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // accepted and waiting
        StatusRecord r = Record("latency" + std::to_string(i));
        auto sent = Clock::now();
        s->Send(r.Bytes(), StatusRecord::Size);
        if (board.WaitStored(before + 1, std::chrono::seconds(5))) samples.push_back(Ms(board.LastStored() - sent));
        delete s;
    }
    for (RawClient* s : idle) delete s;
    std::sort(samples.begin(), samples.end());
    auto pct = [&](double p) {
        return samples.empty() ? -1.0 : samples[static_cast<std::size_t>(p * (samples.size() - 1))];
    };
    std::printf(
        "| arrival to row, 100 idle connections open | p50 %.1f ms, p99 %.1f ms (%zu samples) | target p99 < 50 ms |\n",
        pct(0.5), pct(0.99), samples.size());
}

void ManySends() {
    // A plain listener that takes every delivery, so only the sender's own costs count.
    RawListener listener;
    std::atomic<bool> draining{true};
    std::atomic<int> delivered{0};
    std::thread drain([&] {
        while (draining) {
            std::string bytes;
            if (listener.AcceptAll(bytes, 2000) && bytes.size() == StatusRecord::Size) ++delivered;
        }
    });
    ClientState state;
    state.config.SetServerAddress("127.0.0.1");
    state.config.port = listener.Port();
    state.record = Record("sender");
    StatusSender sender(manager, state);
    sender.StartStatusSend(false);
    sender.WaitForSends(std::chrono::seconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int threads = ThreadCount(), handles = HandleCount();
    long rss = ResidentKiB();
    const int sends = 10000;
    auto start = Clock::now();
    for (int i = 0; i < sends; ++i) {
        sender.StartStatusSend(false);
        if (i % 100 == 99) sender.WaitForSends(std::chrono::seconds(30));
    }
    sender.WaitForSends(std::chrono::seconds(60));
    while (delivered.load() < sends + 1 && Ms(Clock::now() - start) < 120000)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    double elapsed = Ms(Clock::now() - start);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int threadsAfter = ThreadCount(), handlesAfter = HandleCount();
    long rssAfter = ResidentKiB();
    draining = false;
    drain.join();
    std::printf(
        "| %d sends from one client | %.1f s, %d delivered; threads %d -> %d, %s %d -> %d, resident %ld -> %ld KiB | "
        "no growth |\n",
        sends, elapsed / 1000, delivered.load() - 1, threads, threadsAfter,
#if defined(_WIN32)
        "handles",
#else
        "descriptors",
#endif
        handles, handlesAfter, rss, rssAfter);
}

}  // namespace

int main() {
    manager.Startup();
    std::printf("| measure | result | note |\n|---|---|---|\n");
    std::fflush(stdout);
    Burst();
    std::fflush(stdout);
    Latency();
    std::fflush(stdout);
    ManySends();
    manager.Cleanup();
    return 0;
}

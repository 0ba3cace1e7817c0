// Board and sender costs, measured in one process over loopback:
//   a burst of simultaneous clients, arrival-to-row latency with idle
//   connections open, and what many sends leave behind; with the web view
//   on, /board.json under 20 pollers, the arrival latency beside them, and
//   the idle cost.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BoardServer.h"
#include "Loopback.h"
#include "ProcessCounts.h"
#include "StatusSender.h"
#include "WebServer.h"

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

// Whole seconds of CPU the process has used, user and system.
double CpuSeconds() {
#if defined(_WIN32)
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return ((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
#else
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
#endif
}

// One GET with its own connection, as a browser's poll is; false when no 200 came.
bool HttpGet(std::uint16_t port, const char* path) {
    SocketHandle s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = false;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string request = std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        ::send(s, request.data(), static_cast<int>(request.size()), 0);
        char buffer[16384];
        std::string head;
        int n;
        while ((n = static_cast<int>(::recv(s, buffer, sizeof buffer, 0))) > 0)
            if (head.size() < 12) head.append(buffer, static_cast<std::size_t>(n));
        ok = head.rfind("HTTP/1.1 200", 0) == 0;
    }
#if defined(_WIN32)
    ::closesocket(s);
#else
    ::close(s);
#endif
    return ok;
}

double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return -1.0;
    std::sort(samples.begin(), samples.end());
    return samples[static_cast<std::size_t>(p * (samples.size() - 1))];
}

// 20 browsers polling /board.json every 2 s, as the page does.
struct Pollers {
    Pollers(std::uint16_t port, int count) {
        for (int i = 0; i < count; ++i)
            threads.emplace_back([this, port, i] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100 * i));  // spread, as real ones are
                while (!stop) {
                    auto start = Clock::now();
                    bool ok = HttpGet(port, "/board.json");
                    double ms = Ms(Clock::now() - start);
                    {
                        std::lock_guard<std::mutex> guard(lock);
                        if (ok)
                            samples.push_back(ms);
                        else
                            ++failed;
                    }
                    for (int k = 0; k < 20 && !stop; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            });
    }
    ~Pollers() {
        stop = true;
        for (auto& t : threads) t.join();
    }
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<double> samples;
    int failed = 0;
    std::vector<std::thread> threads;
};

void Latency(bool withPollers = false) {
    Board board;
    std::unique_ptr<WebServer> web;
    std::unique_ptr<Pollers> pollers;
    if (withPollers) {
        for (int i = 0; i < 300; ++i) board.server.table.Store(Record("row" + std::to_string(i)));
        web.reset(new WebServer(board.server));
        std::string error;
        if (!web->Start(0, error)) std::printf("| web view | %s | |\n", error.c_str());
        pollers.reset(new Pollers(web->Port(), 20));
    }
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
    std::printf(
        "| arrival to row, 100 idle connections open%s | p50 %.1f ms, p99 %.1f ms (%zu samples) | target p99 < 50 "
        "ms |\n",
        withPollers ? ", 20 web pollers" : "", Percentile(samples, 0.5), Percentile(samples, 0.99), samples.size());
}

void WebUnderPollers() {
    Board board;
    for (int i = 0; i < 300; ++i) board.server.table.Store(Record("row" + std::to_string(i)));
    WebServer web(board.server);
    std::string error;
    if (!web.Start(0, error)) return (void)std::printf("| web view | %s | |\n", error.c_str());
    std::vector<double> samples;
    int failed = 0;
    {
        Pollers pollers(web.Port(), 20);
        std::this_thread::sleep_for(std::chrono::seconds(30));
        pollers.stop = true;
        for (auto& t : pollers.threads) t.join();
        pollers.threads.clear();
        samples = pollers.samples;
        failed = pollers.failed;
    }
    std::printf(
        "| /board.json with 300 rows, 20 pollers every 2 s | p50 %.1f ms, p99 %.1f ms (%zu answers, %d "
        "failed) | |\n",
        Percentile(samples, 0.5), Percentile(samples, 0.99), samples.size(), failed);
    std::fflush(stdout);

    // Nobody asking: what the board costs with its web view on.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    double before = CpuSeconds();
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(20));
    double used = CpuSeconds() - before;
    double share = 100.0 * used / (Ms(Clock::now() - start) / 1000.0);
    std::printf("| idle, web view on | %.3f s CPU in 20 s, %.2f %% of a core | target < 1 %% |\n", used, share);
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
    WebUnderPollers();
    std::fflush(stdout);
    Latency(true);
    std::fflush(stdout);
    ManySends();
    manager.Cleanup();
    return 0;
}

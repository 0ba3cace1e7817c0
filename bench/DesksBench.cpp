// Many desks: N simulated desks each send their record once a minute, their
// start times spread over the first minute, to one board per accept pacing.
// Each board runs in a process of its own (the socket layer's list is one per
// process), side by side, and reports what was sent, stored and lost, the
// time from connect to stored, and the CPU of the board's own threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <set>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BoardServer.h"

namespace {

typedef std::chrono::steady_clock Clock;

std::int64_t NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

std::set<int> Tasks() {
    std::set<int> tasks;
    DIR* d = ::opendir("/proc/self/task");
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.') tasks.insert(std::atoi(e->d_name));
    ::closedir(d);
    return tasks;
}

// User and system CPU seconds of one thread of this process.
double TaskCpu(int task) {
    std::ifstream in("/proc/self/task/" + std::to_string(task) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t end = stat.rfind(')');
    if (end == std::string::npos) return 0;
    std::vector<std::string> fields;
    std::size_t pos = end + 2;
    while (pos < stat.size()) {
        std::size_t next = stat.find(' ', pos);
        fields.push_back(stat.substr(pos, next - pos));
        if (next == std::string::npos) break;
        pos = next + 1;
    }
    if (fields.size() < 13) return 0;
    return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Send {
    std::int64_t dueUs;
    int desk;
    int round;
};

struct Result {
    int sent = 0, stored = 0, lost = 0;
    double p50 = 0, p99 = 0, cpu = 0;
};

Result RunBoard(int pacing, int desks, int minutes) {
    rlimit limit;
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    static SocketManager manager;
    manager.Startup();
    BoardServer board(manager);
    board.acceptPacingMs = pacing;
    board.maxConnections = 1000;
    board.readerWaitMs = 20;  // as the service runs it
    board.listeningSocket = manager.CreateSocket();
    board.listeningSocket->Bind(0);
    board.listeningSocket->Listen();
    board.listening = true;
    sockaddr_in address;
    socklen_t size = sizeof address;
    ::getsockname(static_cast<int>(board.listeningSocket->Handle()), reinterpret_cast<sockaddr*>(&address), &size);

    const int rounds = minutes;
    std::vector<std::atomic<std::int64_t>> storedAt(static_cast<std::size_t>(desks * rounds));
    std::vector<std::int64_t> connectAt(storedAt.size(), 0);
    board.rowChanged = [&](const RowChange& change) {
        int desk = 0, round = 0;
        if (std::sscanf(change.after.Message().c_str(), "desk %d send %d", &desk, &round) == 2 && desk >= 0 &&
            desk < desks && round >= 0 && round < rounds)
            storedAt[static_cast<std::size_t>(desk * rounds + round)] = NowUs();
    };
    std::set<int> before = Tasks();
    StartWorkers(board);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::set<int> workers;
    for (int t : Tasks())
        if (!before.count(t)) workers.insert(t);

    // The desks: one start time each in the first minute, then once a minute.
    std::vector<Send> plan;
    const std::int64_t start = NowUs();
    for (int d = 0; d < desks; ++d) {
        std::int64_t offset = static_cast<std::int64_t>(d) * 60000000 / desks;
        for (int r = 0; r < rounds; ++r) plan.push_back({start + offset + r * 60000000LL, d, r});
    }
    std::sort(plan.begin(), plan.end(), [](const Send& a, const Send& b) { return a.dueUs < b.dueUs; });

    // Non-blocking connects on one epoll: a desk whose connect has not
    // completed in 10 seconds (the board's queue was full) has lost its record.
    int poller = ::epoll_create1(0);
    struct Pending {
        std::size_t index;
        std::int64_t since;
    };
    std::vector<std::pair<int, Pending>> pending;
    Result result;
    std::size_t next = 0;
    auto failed = [&](int fd) {
        ::epoll_ctl(poller, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        ++result.lost;
    };
    while (next < plan.size() || !pending.empty()) {
        std::int64_t now = NowUs();
        while (next < plan.size() && plan[next].dueUs <= now) {
            const Send& s = plan[next++];
            std::size_t index = static_cast<std::size_t>(s.desk * rounds + s.round);
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            sockaddr_in to = address;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            connectAt[index] = NowUs();
            if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
                ::close(fd);
                ++result.lost;
                continue;
            }
            epoll_event e = {};
            e.events = EPOLLOUT;
            e.data.fd = fd;
            ::epoll_ctl(poller, EPOLL_CTL_ADD, fd, &e);
            pending.push_back({fd, {index, connectAt[index]}});
        }
        epoll_event events[256];
        int n = ::epoll_wait(poller, events, 256, 5);
        for (int i = 0; i < n; ++i) {
            int fd = events[i].data.fd;
            auto it = std::find_if(pending.begin(), pending.end(), [fd](const auto& p) { return p.first == fd; });
            if (it == pending.end()) continue;
            Pending p = it->second;
            pending.erase(it);
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            const int desk = static_cast<int>(p.index) / rounds, round = static_cast<int>(p.index) % rounds;
            StatusRecord r;
            r.SetName("desk" + std::to_string(desk));
            r.SetStatus(1 + desk % 3);
            r.SetMessage("desk " + std::to_string(desk) + " send " + std::to_string(round));
            if (error != 0 || ::send(fd, r.Bytes(), StatusRecord::Size, MSG_NOSIGNAL) != StatusRecord::Size) {
                failed(fd);
                continue;
            }
            ++result.sent;
            ::epoll_ctl(poller, EPOLL_CTL_DEL, fd, nullptr);
            ::close(fd);
        }
        now = NowUs();
        for (std::size_t i = 0; i < pending.size();) {
            if (now - pending[i].second.since > 10000000) {
                failed(pending[i].first);
                pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
    }
    // Records still in the board's queue get their time to come in.
    std::this_thread::sleep_for(std::chrono::seconds(pacing ? 30 : 3));
    const double elapsed = static_cast<double>(NowUs() - start) / 1e6;
    for (int t : workers) result.cpu += TaskCpu(t);
    result.cpu = 100.0 * result.cpu / elapsed;
    std::vector<double> latencies;
    for (std::size_t i = 0; i < storedAt.size(); ++i)
        if (storedAt[i].load()) latencies.push_back(static_cast<double>(storedAt[i].load() - connectAt[i]) / 1000.0);
    result.stored = static_cast<int>(latencies.size());
    result.lost = desks * rounds - result.stored;
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        result.p50 = latencies[latencies.size() / 2];
        result.p99 = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
    }
    StopWorkers(board);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int desks = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int minutes = argc > 2 ? std::atoi(argv[2]) : 3;
    const int pacings[] = {250, 0};
    int pipes[2][2];
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        if (::pipe(pipes[i]) != 0) return 1;
        children[i] = ::fork();
        if (children[i] == 0) {
            Result r = RunBoard(pacings[i], desks, minutes);
            ssize_t ignored = ::write(pipes[i][1], &r, sizeof r);
            (void)ignored;
            std::_Exit(0);
        }
    }
    std::printf(
        "| AcceptPacingMs | desks | records sent | stored | lost | connect to stored p50 | p99 | board CPU |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (int i = 0; i < 2; ++i) {
        Result r;
        ssize_t got = ::read(pipes[i][0], &r, sizeof r);
        ::waitpid(children[i], nullptr, 0);
        if (got != static_cast<ssize_t>(sizeof r)) return 1;
        std::printf("| %d | %d | %d | %d | %d | %.1f ms | %.1f ms | %.1f %% of a core |\n", pacings[i], desks, r.sent,
                    r.stored, r.lost, r.p50, r.p99, r.cpu);
    }
    return 0;
}

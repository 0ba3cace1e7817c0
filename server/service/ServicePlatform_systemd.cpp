// pegmastd under systemd: log lines on standard error with their syslog
// priority prefix, sd_notify for readiness, stopping and the watchdog, and
// SIGTERM and SIGINT taken synchronously by the main thread, SIGHUP as a reload.
#include "ServicePlatform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <chrono>
#include <cstddef>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <termios.h>
#include <unistd.h>

namespace {

// sd_notify() waits while the manager's socket is full; the main loop must
// never wait on a notification, so the datagram goes without waiting or not
// at all (the next one says the same).
void Notify(const char* state) {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || (path[0] != '/' && path[0] != '@') || std::strlen(path) >= sizeof(sockaddr_un::sun_path)) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::size_t length = std::strlen(path);
    std::memcpy(address.sun_path, path, length);
    if (path[0] == '@') address.sun_path[0] = '\0';  // an abstract socket
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    ssize_t sent =
        ::sendto(fd, state, std::strlen(state), MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                 static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
    (void)sent;
    ::close(fd);
}

class SystemdHost : public ServiceHost {
public:
    SystemdHost() {
        // No watchdog in the unit: no pings. With one: at half its interval.
        std::uint64_t usec = 0;
        if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) pingEvery = std::chrono::microseconds(usec / 2);
    }
    void Log(int priority, const std::string& line) override {
        // One write per line, so lines from two threads never interleave.
        std::string text = "<" + std::to_string(priority) + ">" + line + "\n";
        ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
        (void)ignored;
    }
    void Ready() override { Notify("READY=1"); }
    void Stopping() override { Notify("STOPPING=1"); }
    void Alive() override {
        if (pingEvery.count() == 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (pinged && now - lastPing < pingEvery) return;
        pinged = true;
        lastPing = now;
        Notify("WATCHDOG=1");
    }

private:
    std::chrono::microseconds pingEvery{0};
    std::chrono::steady_clock::time_point lastPing{};
    bool pinged = false;
};

}  // namespace

std::string DefaultConfigPath() { return "/etc/pegora/pegmastd.conf"; }

bool ConsoleEcho(bool on) {
    termios mode;
    if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &mode) != 0) return false;
    if (on)
        mode.c_lflag |= ECHO;
    else
        mode.c_lflag &= static_cast<tcflag_t>(~ECHO);
    return ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &mode) == 0;
}

std::string DefaultStaffPath() { return "/etc/pegora/staff.csv"; }

// As the packaged unit's LoadCredential= lines name them.
std::vector<std::pair<std::string, std::string>> PackagedCredentialFiles() {
    return {{UpdateCodeCredential, "/etc/pegora/update-code"}, {LdapPasswordCredential, "/etc/pegora/ldap-password"}};
}

std::string DefaultStatePath() {
    // systemd's StateDirectory=, the first of them when there are several.
    const char* directory = std::getenv("STATE_DIRECTORY");
    if (directory && directory[0] == '/') {
        std::string first(directory);
        first = first.substr(0, first.find(':'));
        return first + "/board.db";
    }
    return "/var/lib/pegora/board.db";
}

bool RaiseOpenFileLimit(std::string& error) {
    rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (limit.rlim_cur == limit.rlim_max) return true;
    limit.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

int RunService(const PrepareService& prepare) {
    SystemdHost host;
    std::unique_ptr<BoardService> made;
    if (int exitCode = prepare(host, made)) return exitCode;
    BoardService& service = *made;
    // Blocked before any thread starts, so every thread inherits the mask and
    // only sigtimedwait below ever takes them.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);  // systemctl reload: the staff directory read again
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int exitCode = service.Start();
    if (exitCode != 0) return exitCode;
    const timespec tick = {0, 200 * 1000 * 1000};
    for (;;) {
        int taken = sigtimedwait(&stops, nullptr, &tick);
        if (taken == SIGHUP) {
            host.Log(LogInfo, "reloading on SIGHUP: the staff directory is read again");
            service.Reload();
            continue;
        }
        if (taken == SIGTERM || taken == SIGINT) {
            host.Stopping();
            host.Log(LogInfo, std::string("stopping on ") + (taken == SIGTERM ? "SIGTERM" : "SIGINT"));
            break;
        }
        service.Tick();
    }
    return service.Stop();
}

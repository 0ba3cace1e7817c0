// pegmastd under systemd: log lines on standard error with their syslog
// priority prefix, sd_notify for readiness, stopping and the watchdog, and
// SIGTERM and SIGINT taken synchronously by the main thread.
#include "ServicePlatform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace {

class SystemdHost : public ServiceHost {
public:
    void Log(int priority, const std::string& line) override {
        // One write per line, so lines from two threads never interleave.
        std::string text = "<" + std::to_string(priority) + ">" + line + "\n";
        ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
        (void)ignored;
    }
    void Ready() override { sd_notify(0, "READY=1"); }
    void Stopping() override { sd_notify(0, "STOPPING=1"); }
    void Alive() override { sd_notify(0, "WATCHDOG=1"); }
};

}  // namespace

std::string DefaultConfigPath() { return "/etc/pegora/pegmastd.conf"; }

std::string DefaultStatePath() {
    // systemd's StateDirectory=, the first of them when there are several.
    const char* directory = std::getenv("STATE_DIRECTORY");
    if (directory && directory[0] == '/') {
        std::string first(directory);
        first = first.substr(0, first.find(':'));
        return first + "/board.state";
    }
    return "/var/lib/pegora/board.state";
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
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);

    int exitCode = service.Start();
    if (exitCode != 0) return exitCode;
    const timespec tick = {0, 200 * 1000 * 1000};
    for (;;) {
        int taken = sigtimedwait(&stops, nullptr, &tick);
        if (taken == SIGTERM || taken == SIGINT) {
            host.Stopping();
            host.Log(LogInfo, std::string("stopping on ") + (taken == SIGTERM ? "SIGTERM" : "SIGINT"));
            break;
        }
        service.Tick();
    }
    return service.Stop();
}

#include "QuitSignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int wakePair[2] = {-1, -1};

void OnSignal(int number) {
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(number);
    ssize_t written = ::write(wakePair[0], &byte, 1);
    (void)written;  // a full pipe already holds a request
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent), numbers(signalNumbers) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakePair) != 0) return;
    ::fcntl(wakePair[0], F_SETFL, O_NONBLOCK);
    ::fcntl(wakePair[1], F_SETFL, O_NONBLOCK);
    notifier = new QSocketNotifier(wakePair[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitSignals::OnReadable);
    for (int number : numbers) {
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(number, &action, nullptr);
    }
}

QuitSignals::~QuitSignals() {
    // A second request while the program winds down ends it the default way.
    for (int number : numbers) ::signal(number, SIG_DFL);
    delete notifier;
}

void QuitSignals::OnReadable() {
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(wakePair[1], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < n; ++i) emit quitRequested(bytes[i]);
}

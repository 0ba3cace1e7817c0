// POSIX sockets behind the layer, with errno mapped to the Windows Sockets
// number of the same meaning so that every raised text is the same as on Windows.
#include "SocketPlatform.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "SocketAddress.h"

namespace platform {

const int LargestBacklog = SOMAXCONN;

namespace {

thread_local int lastError = 0;

int MapErrno(int e) {
    // clang-format off: one line per error, like the table of texts
    switch (e) {
    case EINTR: return 10004;
    case EACCES:
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE:
    case ENFILE: return 10024;
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case EBADF:
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET:
    case EPIPE: return 10054;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return 0;
    }
    // clang-format on
}

int Fail() {
    lastError = MapErrno(errno);
    return Failure;
}

int Fd(SocketHandle handle) { return handle == InvalidSocketHandle ? -1 : static_cast<int>(handle); }

}  // namespace

int SocketErrorNumber(int systemError) { return MapErrno(systemError); }

int Startup(std::uint16_t* grantedVersion) {
    *grantedVersion = 0x0202;
    return 0;
}

void Cleanup() {}

int LastError() { return lastError; }

SocketHandle Open(int type) {
    int fd = ::socket(AF_INET, type, 0);
    if (fd < 0) {
        Fail();
        return InvalidSocketHandle;
    }
    return static_cast<SocketHandle>(fd);
}

bool IsListening(SocketHandle handle) {
    int value = 0;
    socklen_t size = sizeof value;
    return ::getsockopt(Fd(handle), SOL_SOCKET, SO_ACCEPTCONN, &value, &size) == 0 && value != 0;
}

int CloseHandle(SocketHandle handle) {
    // A thread blocked in accept is only woken by shutdown, not by close.
    if (IsListening(handle)) ::shutdown(Fd(handle), SHUT_RDWR);
    return ::close(Fd(handle)) == 0 ? 0 : Fail();
}

int Bind(SocketHandle handle, std::uint16_t port) {
    // Windows lets a port held only by TIME_WAIT connections be bound again;
    // POSIX needs SO_REUSEADDR for that. A live listener still refuses the bind.
    int on = 1;
    ::setsockopt(Fd(handle), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in record = Endpoint(0, port);  // any address
    return ::bind(Fd(handle), reinterpret_cast<sockaddr*>(&record), sizeof record) == 0 ? 0 : Fail();
}

int Listen(SocketHandle handle, int backlog) { return ::listen(Fd(handle), backlog) == 0 ? 0 : Fail(); }

SocketHandle Accept(SocketHandle handle) {
    int fd = ::accept(Fd(handle), nullptr, nullptr);
    if (fd < 0) {
        Fail();
        return InvalidSocketHandle;
    }
    return static_cast<SocketHandle>(fd);
}

std::uint32_t PeerAddress(SocketHandle handle) {
    sockaddr_in peer;
    socklen_t size = sizeof peer;
    if (::getpeername(Fd(handle), reinterpret_cast<sockaddr*>(&peer), &size) != 0 || peer.sin_family != AF_INET)
        return 0;
    return peer.sin_addr.s_addr;
}

int Connect(SocketHandle handle, std::uint32_t address, std::uint16_t port) {
    sockaddr_in record = Endpoint(address, port);
    return ::connect(Fd(handle), reinterpret_cast<sockaddr*>(&record), sizeof record) == 0 ? 0 : Fail();
}

long Send(SocketHandle handle, const void* data, int length) {
    // MSG_NOSIGNAL: a peer that has gone is an error to report, never SIGPIPE.
    ssize_t n = ::send(Fd(handle), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    return n < 0 ? Fail() : static_cast<long>(n);
}

long Recv(SocketHandle handle, void* buffer, int length) {
    ssize_t n = ::recv(Fd(handle), buffer, static_cast<size_t>(length), 0);
    return n < 0 ? Fail() : static_cast<long>(n);
}

int Ioctl(SocketHandle handle, std::int32_t command, std::uint32_t* argument) {
    int value = 0;
    if (::ioctl(Fd(handle), static_cast<unsigned long>(command), &value) != 0) return Fail();
    *argument = static_cast<std::uint32_t>(value);
    return 0;
}

bool HostName(char* buffer, int size) {
    if (::gethostname(buffer, static_cast<size_t>(size)) != 0) return false;
    buffer[size - 1] = '\0';
    return true;
}

bool FirstInterfaceAddress(std::uint32_t* address) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool found = false;
    for (ifaddrs* it = list; it != nullptr && !found; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        if ((it->ifa_flags & IFF_LOOPBACK) != 0 || (it->ifa_flags & IFF_UP) == 0) continue;
        std::uint32_t a = reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
        if ((ntohl(a) >> 24) == 127) continue;
        *address = a;
        found = true;
    }
    ::freeifaddrs(list);
    return found;
}

std::vector<bool> WaitReadable(const std::vector<SocketHandle>& handles, int timeoutMs) {
    std::vector<pollfd> fds(handles.size());
    for (std::size_t i = 0; i < handles.size(); ++i) {
        fds[i].fd = Fd(handles[i]);
        fds[i].events = POLLIN;
        fds[i].revents = 0;
    }
    std::vector<bool> ready(handles.size(), false);
    int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n > 0) {
        for (std::size_t i = 0; i < fds.size(); ++i)
            ready[i] = (fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
    } else if (n < 0) {
        // The wait itself failed: still take its time, so a caller's loop never spins.
        ::usleep(static_cast<useconds_t>(timeoutMs) * 1000);
    }
    return ready;
}

}  // namespace platform

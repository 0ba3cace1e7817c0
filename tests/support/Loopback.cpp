#include "Loopback.h"

#include <chrono>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
typedef int socklen_t;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#define closesocket close
#endif

#if defined(MSG_NOSIGNAL)
const int SendFlags = MSG_NOSIGNAL;  // a peer that has gone is an error here, not a signal
#else
const int SendFlags = 0;
#endif

namespace {

SocketHandle RawSocket() { return static_cast<SocketHandle>(::socket(AF_INET, SOCK_STREAM, 0)); }

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

SocketManager& TestManager() {
    static SocketManager manager;
    static bool started = false;
    if (!started) {
        manager.Startup();
        started = true;
    }
    return manager;
}

std::uint16_t BoundPort(Socket* endpoint) {
    sockaddr_in a;
    socklen_t size = sizeof a;
    ::getsockname(endpoint->Handle(), reinterpret_cast<sockaddr*>(&a), &size);
    return ntohs(a.sin_port);
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

RawClient::RawClient() : handle(RawSocket()) {}
RawClient::~RawClient() { Close(); }

bool RawClient::Connect(std::uint16_t port) {
    sockaddr_in a = Loopback(port);
    return ::connect(handle, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool RawClient::Send(const void* data, std::size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        auto n = ::send(handle, p, static_cast<int>(length), SendFlags);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

void RawClient::Close() {
    if (handle != InvalidSocketHandle) ::closesocket(handle);
    handle = InvalidSocketHandle;
}

void RawClient::Reset() {
    linger l;
    l.l_onoff = 1;
    l.l_linger = 0;
    ::setsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    Close();
}

RawListener::RawListener() : handle(RawSocket()), port(0) {
    sockaddr_in a = Loopback(0);
    ::bind(handle, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(handle, 50);
    socklen_t size = sizeof a;
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&a), &size);
    port = ntohs(a.sin_port);
}

RawListener::~RawListener() { ::closesocket(handle); }

bool RawListener::AcceptAll(std::string& bytes, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<SocketHandle> one{handle};
    while (!WaitReadable(one, 50)[0]) {
        if (std::chrono::steady_clock::now() > deadline) return false;
    }
    SocketHandle c = static_cast<SocketHandle>(::accept(handle, nullptr, nullptr));
    if (c == InvalidSocketHandle) return false;
    std::vector<SocketHandle> conn{c};
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        if (!WaitReadable(conn, 50)[0]) continue;
        auto n = ::recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ::closesocket(c);
            return true;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::closesocket(c);
    return false;
}

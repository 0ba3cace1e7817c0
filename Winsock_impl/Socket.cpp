// The endpoint: one object per TCP/IPv4 socket handle. Every raise in the
// layer happens in this module, so CExcept records it as the source.
#include "Socket.h"

#include <cstring>

#include "SocketPlatform.h"

namespace {

// One receive buffer for the whole process; its last byte is never written.
char receiveBuffer[Socket::ReceiveBufferSize];

const int StreamType = 1;

}  // namespace

Socket::Socket(SocketManager* owner_, std::uint16_t type)
    : connected(false), peerAddress{}, handle(InvalidSocketHandle), owner(owner_) {
    SocketHandle h = platform::Open(type);
    if (h == InvalidSocketHandle) Raise("Failed to create socket! ", __LINE__);
    handle.store(h);
    connected = false;
}

Socket::~Socket() {
    owner->RemoveSocket(this);
    Close();
}

void Socket::Raise(const char* prefix, int line) const {
    // The error number first: building the message allocates, and that may change it.
    const char* text = ErrorText(owner->LastErrorCode());
    std::string message(prefix);
    message += text;
    throw CExcept(message, line, __FILE__);
}

int Socket::Close() {
    SocketHandle h = handle.exchange(InvalidSocketHandle);
    if (h == InvalidSocketHandle) return -1;
    return platform::CloseHandle(h);
}

void Socket::Bind(std::uint16_t port) {
    if (platform::Bind(handle.load(), port) != 0) Raise("bind failed! ", __LINE__);
}

void Socket::Listen() {
    // The platform's largest backlog rather than 20: the board accepts one
    // connection every 250 ms, and with a short queue a burst of clients
    // overflows it and the kernel silently drops some of their records.
    if (platform::Listen(handle.load(), platform::LargestBacklog) != 0) Raise("listen failed! ", __LINE__);
}

Socket* Socket::Accept() {
    SocketHandle accepted = platform::Accept(handle.load());
    if (accepted == InvalidSocketHandle) Raise("Accept failed! ", __LINE__);
    Socket* endpoint = nullptr;
    try {
        endpoint = owner->CreateSocket();
    } catch (...) {
        // Nobody could ever read the accepted connection: let the client see it end.
        platform::CloseHandle(accepted);
        throw;
    }
    platform::CloseHandle(endpoint->handle.exchange(accepted));
    endpoint->connected = true;
    return endpoint;
}

std::uint32_t Socket::PeerAddress() const { return connected ? platform::PeerAddress(handle.load()) : 0; }

void Socket::Connect(const char* address, std::uint16_t port) {
    std::uint32_t resolved = owner->ResolveAddress(address);
    if (platform::Connect(handle.load(), resolved, port) != 0) Raise("connect failed! ", __LINE__);
    connected = true;
}

void Socket::Send(const void* data, std::uint16_t length) {
    if (!connected) throw CExcept("Connection not established for send", __LINE__, __FILE__);
    // Keep going until the whole record is out: a record is never cut on the wire.
    const char* bytes = static_cast<const char*>(data);
    int sent = 0;
    do {
        long n = platform::Send(handle.load(), bytes + sent, length - sent);
        if (n == platform::Failure) Raise("send failed! ", __LINE__);
        sent += static_cast<int>(n);
    } while (sent < length);
}

const char* Socket::Receive(std::uint16_t& length) {
    if (!connected) throw CExcept("Connection not established for send", __LINE__, __FILE__);
    const int usable = static_cast<int>(ReceiveBufferSize) - 1;
    std::memset(receiveBuffer, 0, static_cast<std::size_t>(usable));
    long n = platform::Recv(handle.load(), receiveBuffer, usable);
    if (n == platform::Failure) Raise("recv failed! ", __LINE__);
    length = static_cast<std::uint16_t>(n);
    return receiveBuffer;
}

void Socket::IoControl(std::int32_t command, std::uint32_t* argument) {
    if (platform::Ioctl(handle.load(), command, argument) != 0) Raise("ioctlsocket failed! ", __LINE__);
}

std::vector<bool> WaitReadable(const std::vector<SocketHandle>& handles, int timeoutMs) {
    return platform::WaitReadable(handles, timeoutMs);
}

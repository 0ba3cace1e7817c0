// The socket layer: endpoints, the one manager per program, and the exception
// every failed socket call raises. This is the layer's only public header.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class SocketManager;

// Platform socket handle, wide enough for both SOCKET and a POSIX descriptor.
typedef std::uintptr_t SocketHandle;
const SocketHandle InvalidSocketHandle = ~SocketHandle(0);

// The pending-bytes query command, as each platform numbers it.
#if defined(_WIN32)
const std::int32_t SocketFionRead = 0x4004667F;
#else
const std::int32_t SocketFionRead = 0x541B;
#endif

class CExcept {
public:
    CExcept(const std::string& message, int line, const char* file);
    CExcept(const CExcept& other) = default;
    virtual ~CExcept() = default;
    std::string GetText() const { return message; }

private:
    std::string message;
    std::int16_t line;
    std::string file;
};

class Socket {
public:
    virtual ~Socket();

    int Close();
    void Bind(std::uint16_t port);
    void Listen();
    Socket* Accept();
    void Connect(const char* address, std::uint16_t port);
    void Send(const void* data, std::uint16_t length);
    const char* Receive(std::uint16_t& length);
    void IoControl(std::int32_t command, std::uint32_t* argument);

    bool IsConnected() const { return connected; }
    // Who is at the other end, in network order; 0 when unknown.
    std::uint32_t PeerAddress() const;
    SocketHandle Handle() const { return handle.load(); }

    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    static const std::size_t ReceiveBufferSize = 65536;

private:
    friend class SocketManager;
    Socket(SocketManager* owner, std::uint16_t type);
    [[noreturn]] void Raise(const char* prefix, int line) const;

    std::atomic<bool> connected;
    unsigned char peerAddress[16];
    std::atomic<SocketHandle> handle;
    SocketManager* owner;
};

class SocketManager {
public:
    SocketManager();
    virtual ~SocketManager();

    void Startup();
    void Cleanup();
    Socket* CreateSocket();
    void RemoveSocket(Socket* endpoint);
    std::int32_t SocketCount();
    Socket* NextSocket(bool restart);
    std::uint32_t LocalAddress();
    std::uint32_t ResolveAddress(const char* text);
    const char* LastErrorText();

    bool IsStarted() const { return started; }
    // The last socket error code of the calling thread, in Windows Sockets numbers.
    static int LastErrorCode();

    SocketManager(const SocketManager&) = delete;
    SocketManager& operator=(const SocketManager&) = delete;

private:
    std::atomic<bool> started;
};

// Process-wide error texts, filled by Startup.
typedef std::map<std::int32_t, std::string> ErrorTextMap;
ErrorTextMap& ErrorTextTable();
const char* ErrorText(std::int32_t code);
// The text of an error that a socket call outside this layer reported (errno, or a Windows Sockets number).
const char* SystemErrorText(int systemError);
void FillErrorTextTable();

// Dotted form of an IPv4 address in network byte order.
std::string DottedAddress(std::uint32_t address);

// Waits up to timeoutMs for any of the handles to become readable (data, close
// or error); returns one flag per handle. Used by the server's reader to sleep
// until there is work.
std::vector<bool> WaitReadable(const std::vector<SocketHandle>& handles, int timeoutMs);

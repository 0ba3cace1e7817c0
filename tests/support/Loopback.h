// Test helpers that talk to the code under test over loopback only.
#pragma once

#include <cstdint>
#include <string>

#include "Socket.h"

// The process's one manager, started once for all tests.
SocketManager& TestManager();

// The port a listening endpoint was given by the system (bound to port 0).
std::uint16_t BoundPort(Socket* endpoint);

// A raw loopback client, independent of the layer under test.
class RawClient {
public:
    RawClient();
    ~RawClient();
    bool Connect(std::uint16_t port);
    bool Send(const void* data, std::size_t length);
    void Close();
    // Close with a reset instead of an orderly end.
    void Reset();

private:
    SocketHandle handle;
};

// A raw loopback listener that collects whole deliveries.
class RawListener {
public:
    RawListener();
    ~RawListener();
    std::uint16_t Port() const { return port; }
    // Accepts one connection and reads until the peer closes or timeoutMs passes.
    bool AcceptAll(std::string& bytes, int timeoutMs);

private:
    SocketHandle handle;
    std::uint16_t port;
};

void SleepMs(int ms);

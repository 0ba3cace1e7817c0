// A connection of the web view as the listener sees it, whatever carries it
// (plain HTTP here; TLS where the service adds it), and what opens one.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <memory>

#include "WebServer.h"

class WebConnection {
public:
    virtual ~WebConnection() = default;
    // Waiting for a request, its first or its next (a new, slow or idle
    // connection), or for an answer to be taken that has not been for a second
    // (a reader that never reads): either may be closed to make room. Since when.
    virtual bool Closable(std::chrono::steady_clock::time_point now) const = 0;
    virtual std::chrono::steady_clock::time_point Since() const = 0;
    virtual void Close() = 0;
    // Its transport opened (a TLS handshake), then its first request read.
    virtual void Start() = 0;
};

class WebTransport {
public:
    virtual ~WebTransport() = default;
    virtual std::shared_ptr<WebConnection> Open(boost::asio::ip::tcp::socket socket, WebServer::Impl& server) = 0;
};

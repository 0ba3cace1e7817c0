// One connection of the web view: reads a request (an update's body only once
// its headers pass), answers it, and waits for the next while kept alive.
#pragma once

#include <boost/beast/core.hpp>
#include <chrono>
#include <memory>
#include <optional>

#include "BeastMessages.h"
#include "WebServerImpl.h"

class WebSession : public std::enable_shared_from_this<WebSession> {
public:
    WebSession(boost::asio::ip::tcp::socket socket, WebServer::Impl& server);
    ~WebSession() { Close(); }

    // Waiting for a request, its first or its next (a new, slow or idle
    // connection), or for an answer to be taken that has not been for a second
    // (a reader that never reads): either may be closed to make room. Since when.
    bool Closable(std::chrono::steady_clock::time_point now) const {
        return !closed && (waiting || (writing && now - since > StuckWriting));
    }
    std::chrono::steady_clock::time_point Since() const { return since; }
    static constexpr std::chrono::seconds StuckWriting{1};

    void Close();
    void Read();

private:
    void OnRead(boost::beast::error_code ec, std::size_t);
    void OnBody(boost::beast::error_code ec, WebRequest request);
    void Write(const WebResponse& answer, unsigned version, bool head, bool keepAlive);

    boost::beast::tcp_stream stream;
    bool waiting = false, writing = false;
    std::chrono::steady_clock::time_point since{};
    bool closed = false;
    boost::beast::flat_buffer buffer;
    std::optional<HttpParser> parser;
    WebServer::Impl& server;
};

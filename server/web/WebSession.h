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

    // Waiting for a request, its first or its next: a new, slow or idle
    // connection, which may be closed to make room. Since when it waits.
    bool Waiting() const { return waiting && !closed; }
    std::chrono::steady_clock::time_point WaitingSince() const { return waitingSince; }

    void Close();
    void Read();

private:
    void OnRead(boost::beast::error_code ec, std::size_t);
    void OnBody(boost::beast::error_code ec, WebRequest request);
    void Write(const WebResponse& answer, unsigned version, bool head, bool keepAlive);

    boost::beast::tcp_stream stream;
    bool waiting = false;
    std::chrono::steady_clock::time_point waitingSince{};
    bool closed = false;
    boost::beast::flat_buffer buffer;
    std::optional<HttpParser> parser;
    WebServer::Impl& server;
};

// One connection of the web view: reads a request (an update's body only once
// its headers pass), answers it, and waits for the next while kept alive. The
// same over plain HTTP and over TLS: `Transport<Stream>` says how a stream
// opens and whether it is secure.
#pragma once

#include <boost/beast/core.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>

#include "BeastMessages.h"
#include "ProxyRule.h"
#include "WebConnection.h"
#include "SignInRoutes.h"
#include "WebServerImpl.h"

template <class Stream>
struct Transport;

// Plain HTTP: nothing to open.
template <>
struct Transport<boost::beast::tcp_stream> {
    static constexpr bool secure = false;
    template <class Done>
    static void Open(boost::beast::tcp_stream&, Done done) {
        done(boost::beast::error_code());
    }
};

// Whether the peer has simply gone (nothing to answer).
bool WebPeerGone(boost::beast::error_code ec);

template <class Stream>
class WebSession : public WebConnection, public std::enable_shared_from_this<WebSession<Stream>> {
public:
    template <class... Args>
    explicit WebSession(WebServer::Impl& server_, Args&&... args)
        : stream(std::forward<Args>(args)...), server(server_) {
        ++server.open;
    }
    ~WebSession() override { Close(); }

    bool Closable(std::chrono::steady_clock::time_point now) const override {
        return !closed && (waiting || (writing && now - since > StuckWriting));
    }
    std::chrono::steady_clock::time_point Since() const override { return since; }
    static constexpr std::chrono::seconds StuckWriting{1};

    void Close() override {
        if (closed) return;
        closed = true;
        --server.open;
        boost::beast::error_code ignored;
        auto& socket = boost::beast::get_lowest_layer(stream).socket();
        socket.shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
        socket.close(ignored);
    }

    void Start() override {
        // A handshake is waiting for its first request, and as closable.
        waiting = true;
        since = std::chrono::steady_clock::now();
        boost::beast::get_lowest_layer(stream).expires_after(server.idleLimit);
        Transport<Stream>::Open(stream, [self = this->shared_from_this()](boost::beast::error_code ec) {
            if (ec) return self->Close();
            self->Read();
        });
    }

private:
    void Read() {
        waiting = true;
        since = std::chrono::steady_clock::now();
        parser.emplace();
        LimitRequest(*parser);
        boost::beast::get_lowest_layer(stream).expires_after(server.idleLimit);
        boost::beast::http::async_read_header(
            stream, buffer, *parser,
            [self = this->shared_from_this()](boost::beast::error_code ec, std::size_t) { self->OnRead(ec); });
    }

    void OnRead(boost::beast::error_code ec) {
        waiting = false;
        if (WebPeerGone(ec)) return Close();
        if (ec) return Write(Refusal(ParseRefusal(ec)), 11, false, false);
        const auto& message = parser->get();
        WebRequest request = RequestOf(message);
        request.secure = Transport<Stream>::secure;
        boost::beast::error_code peerError;
        request.peer = boost::beast::get_lowest_layer(stream).socket().remote_endpoint(peerError).address().to_string();
        if (!server.trustedProxies.empty())
            BelieveProxy(server.trustedProxies, request.forwardedProto, request.forwardedFor, request.secure,
                         request.peer);
        if (IsUpdateRoute(request)) {
            // Judged on its headers first; only then is the body read, under the same time limit.
            // A sign-in's password is checked off the web thread.
            WebResponse refusal = UpdateRefusal(request, server.machineNames, server.Sources());
            if (refusal.status != 0) return Write(refusal, message.version(), false, false);
            boost::beast::http::async_read(
                stream, buffer, *parser,
                [self = this->shared_from_this(), request](boost::beast::error_code ec, std::size_t) mutable {
                    self->OnBody(ec, request);
                });
            return;
        }
        WebResponse answer = Route(request, server.machineNames, server.Sources());
        // A body is never read: after one, the connection cannot carry another request.
        bool keepAlive = message.keep_alive() && parser->is_done();
        Write(answer, message.version(), request.method == "HEAD", keepAlive);
    }

    void OnBody(boost::beast::error_code ec, WebRequest request) {
        if (WebPeerGone(ec)) return Close();
        if (ec) return Write(Refusal(ParseRefusal(ec)), 11, false, false);
        request.body = parser->get().body();
        if (server.signIn && IsSignInRoute(request) && request.body.size() <= MaxUpdateBody) {
            const unsigned version = parser->get().version();
            const bool keepAlive = parser->get().keep_alive();
            return server.SignInLater(request,
                                      [self = this->shared_from_this(), version, keepAlive](const WebResponse& answer) {
                                          if (!self->closed) self->Write(answer, version, false, keepAlive);
                                      });
        }
        WebResponse answer = Route(request, server.machineNames, server.Sources());
        Write(answer, parser->get().version(), false, parser->get().keep_alive());
    }

    void Write(const WebResponse& answer, unsigned version, bool head, bool keepAlive) {
        ++server.answered[answer.status];
        auto response = std::make_shared<HttpResponse>(ResponseOf(answer, version, head));
        response->keep_alive(keepAlive);
        // Browsers that have seen the board over HTTPS never ask it over plain HTTP again.
        if (Transport<Stream>::secure) response->set("Strict-Transport-Security", "max-age=31536000");
        // An answer nobody takes is given up after the same time as a silent asker.
        boost::beast::get_lowest_layer(stream).expires_after(server.idleLimit);
        writing = true;
        since = std::chrono::steady_clock::now();
        auto self = this->shared_from_this();
        boost::beast::http::async_write(stream, *response,
                                        [self, response, keepAlive](boost::beast::error_code ec, std::size_t) {
                                            self->writing = false;
                                            if (ec || !keepAlive) return self->Close();
                                            self->Read();
                                        });
    }

    Stream stream;
    bool waiting = false, writing = false;
    std::chrono::steady_clock::time_point since{};
    bool closed = false;
    boost::beast::flat_buffer buffer;
    std::optional<HttpParser> parser;
    WebServer::Impl& server;
};

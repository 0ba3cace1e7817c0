#include "WebSession.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

bool Gone(beast::error_code ec) {
    return ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::eof ||
           ec == asio::error::connection_reset || ec == asio::error::operation_aborted;
}

}  // namespace

WebSession::WebSession(tcp::socket socket, WebServer::Impl& server_) : stream(std::move(socket)), server(server_) {
    ++server.open;
}

void WebSession::Close() {
    if (closed) return;
    closed = true;
    --server.open;
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream.socket().close(ignored);
}

void WebSession::Read() {
    waiting = true;
    since = std::chrono::steady_clock::now();
    parser.emplace();
    LimitRequest(*parser);
    stream.expires_after(server.idleLimit);
    http::async_read_header(stream, buffer, *parser,
                            beast::bind_front_handler(&WebSession::OnRead, shared_from_this()));
}

void WebSession::OnRead(beast::error_code ec, std::size_t) {
    waiting = false;
    if (Gone(ec)) return Close();
    if (ec) return Write(Refusal(ParseRefusal(ec)), 11, false, false);
    const auto& message = parser->get();
    WebRequest request = RequestOf(message);
    beast::error_code peerError;
    request.peer = stream.socket().remote_endpoint(peerError).address().to_string();
    if (IsUpdateRoute(request)) {
        // Judged on its headers first; only then is the body read, under the same time limit.
        WebResponse refusal = UpdateRefusal(request, server.machineNames, server.Sources());
        if (refusal.status != 0) return Write(refusal, message.version(), false, false);
        http::async_read(stream, buffer, *parser,
                         [self = shared_from_this(), request](beast::error_code ec, std::size_t) mutable {
                             self->OnBody(ec, request);
                         });
        return;
    }
    WebResponse answer = Route(request, server.machineNames, server.Sources());
    // A body is never read: after one, the connection cannot carry another request.
    bool keepAlive = message.keep_alive() && parser->is_done();
    Write(answer, message.version(), request.method == "HEAD", keepAlive);
}

void WebSession::OnBody(beast::error_code ec, WebRequest request) {
    if (Gone(ec)) return Close();
    if (ec) return Write(Refusal(ParseRefusal(ec)), 11, false, false);
    request.body = parser->get().body();
    WebResponse answer = Route(request, server.machineNames, server.Sources());
    Write(answer, parser->get().version(), false, parser->get().keep_alive());
}

void WebSession::Write(const WebResponse& answer, unsigned version, bool head, bool keepAlive) {
    ++server.answered[answer.status];
    auto response = std::make_shared<HttpResponse>(ResponseOf(answer, version, head));
    response->keep_alive(keepAlive);
    // An answer nobody takes is given up after the same time as a silent asker.
    stream.expires_after(server.idleLimit);
    writing = true;
    since = std::chrono::steady_clock::now();
    auto self = shared_from_this();
    http::async_write(stream, *response, [self, response, keepAlive](beast::error_code ec, std::size_t) {
        self->writing = false;
        if (ec || !keepAlive) return self->Close();
        self->Read();
    });
}

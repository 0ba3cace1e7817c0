#include "WebServer.h"

#include <atomic>
#include <cstring>
#include <ctime>
#include <list>
#include <map>
#include <mutex>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <optional>
#include <thread>

#include "BoardMetrics.h"
#include "BoardSnapshot.h"
#include "HostRule.h"
#include "RollCall.h"
#include "BrowserWords.h"
#include "Windows1252.h"
#include "WebRoutes.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

const std::size_t HeaderLimit = 8 * 1024;

// The sender as the board's change log names it (IPv4, network order).
std::uint32_t AddressOf(const std::string& dotted) {
    beast::error_code ec;
    asio::ip::address address = asio::ip::make_address(dotted, ec);
    if (ec || !address.is_v4()) return 0;
    auto bytes = address.to_v4().to_bytes();
    std::uint32_t networkOrder = 0;
    std::memcpy(&networkOrder, bytes.data(), 4);
    return networkOrder;
}

template <class Body>
WebRequest RequestOf(const http::request<Body>& message) {
    WebRequest request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    auto host = message.find(http::field::host);
    request.hasHost = host != message.end();
    if (request.hasHost) request.host = std::string(host->value());
    auto text = [&message](auto field) {
        auto it = message.find(field);
        return it == message.end() ? std::string() : std::string(it->value());
    };
    request.contentType = text(http::field::content_type);
    request.origin = text(http::field::origin);
    request.updateHeader = text("X-Pegora-Update");
    request.fetchSite = text("Sec-Fetch-Site");
    std::string length = text(http::field::content_length);
    request.contentLength =
        length.empty() || length.size() > 18 || length.find_first_not_of("0123456789") != std::string::npos
            ? (length.empty() ? 0 : ~std::uint64_t(0))
            : std::stoull(length);
    request.steadyMs = SteadyMs();
    return request;
}

http::response<http::string_body> ResponseOf(const WebResponse& answer, unsigned version, bool head) {
    http::response<http::string_body> response(static_cast<http::status>(answer.status), version);
    response.set(http::field::content_type, answer.contentType);
    for (const auto& header : SafetyHeaders()) response.set(header.first, header.second);
    for (const auto& header : answer.headers) response.set(header.first, header.second);
    if (head) {
        response.content_length(answer.body.size());  // what GET would send, without it
    } else {
        response.body() = answer.body;
        response.prepare_payload();
    }
    return response;
}

}  // namespace

namespace {
class Session;
}

struct WebServer::Impl {
    Impl(BoardServer& board_, std::chrono::milliseconds idleLimit_, int maxConnections_)
        : board(board_), idleLimit(idleLimit_), maxConnections(maxConnections_), acceptor(io) {}

    bool Listen(std::uint16_t port, std::string& error);
    void Accept();
    void Admit(tcp::socket socket);
    bool BoardJsonText(std::string& json) {
        BoardSnapshot snapshot;
        if (!TakeSnapshot(board, snapshot)) return false;
        {
            std::lock_guard<std::mutex> guard(updatesLock);
            snapshot.updates = updateSettings.on;
            snapshot.codeNeeded = updateSettings.on && !updateSettings.code.empty();
        }
        json = BoardJson(snapshot);  // formatted after the lock is left
        return true;
    }
    WebSources Sources() {
        WebSources sources;
        sources.updates = [this] {
            std::lock_guard<std::mutex> guard(updatesLock);
            return updateSettings;
        };
        sources.guard = &codeGuard;
        sources.notice = notice;
        sources.setWord = [this](const BrowserWord& word, const std::string& sender) {
            StatusRecord record;
            record.SetName(word.name);
            record.SetStatus(word.status);
            record.SetMessage(word.message);
            std::int64_t until = word.hasUntil ? UntilMs(word.hour, word.minute, WallMs()) : 0;
            return StoreBrowserWord(board, record, word.hasUntil, until, word.hasUntil ? ClockText(until) : "",
                                    AddressOf(sender));
        };
        sources.removeRow = [this](const std::string& name, const std::string& sender, bool& found) {
            return RemoveBrowserRow(board, name, AddressOf(sender), found);
        };
        sources.boardJson = [this](std::string& json) { return BoardJsonText(json); };
        sources.healthy = [this](std::string& reason) { return BoardHealthy(board, SteadyMs(), reason); };
        sources.healthNote = [this] {
            if (!board.directory) return std::string();
            const DirectoryState d = board.directory->State();
            if (d.updatedMs == 0) return "staff directory: never read" + (d.error.empty() ? "" : ": " + d.error);
            const std::int64_t minutes = (WallMs() - d.updatedMs) / 60000;
            return "staff directory: " + std::to_string(d.list->people.size()) + " people, read " +
                   std::to_string(minutes < 0 ? 0 : minutes) + " min ago" + (d.error.empty() ? "" : "; " + d.error);
        };
        sources.metrics = [this] {
            MetricsValues values = ReadMetrics(board, answered);
            BoardSnapshot snapshot;
            if (values.directory && TakeSnapshot(board, snapshot))
                values.directoryUnheard = static_cast<std::int64_t>(snapshot.unheard.size());
            return MetricsText(values);
        };
        sources.rollCsv = [this](std::string& csv) {
            BoardSnapshot snapshot;
            if (!TakeSnapshot(board, snapshot)) return false;
            csv = RollCsv(snapshot, std::time(nullptr));
            return true;
        };
        return sources;
    }

    BoardServer& board;
    const std::chrono::milliseconds idleLimit;
    const int maxConnections;
    std::vector<std::string> machineNames = MachineNames();
    // Both outlive the io_context, whose handlers hold the sessions.
    std::atomic<int> open{0};
    std::list<std::weak_ptr<Session>> sessions;  // oldest first; used on the web thread only
    std::map<int, std::uint64_t> answered;       // by status code; used on the web thread only
    CodeGuard codeGuard;                         // used on the web thread only
    std::function<void(const std::string& line)> notice;
    std::mutex updatesLock;
    UpdateSettings updateSettings;
    asio::io_context io;
    tcp::acceptor acceptor;
    std::thread thread;
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, WebServer::Impl& server_) : stream(std::move(socket)), server(server_) {
        ++server.open;
    }
    ~Session() { Close(); }

    // Waiting for a request, its first or its next: a new, slow or idle
    // connection, which may be closed to make room. Since when it waits.
    bool Waiting() const { return waiting && !closed; }
    std::chrono::steady_clock::time_point WaitingSince() const { return waitingSince; }

    void Close() {
        if (closed) return;
        closed = true;
        --server.open;
        beast::error_code ignored;
        stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream.socket().close(ignored);
    }

    void Read() {
        waiting = true;
        waitingSince = std::chrono::steady_clock::now();
        parser.emplace();
        parser->header_limit(HeaderLimit);
        parser->body_limit(MaxUpdateBody);
        stream.expires_after(server.idleLimit);
        http::async_read_header(stream, buffer, *parser,
                                beast::bind_front_handler(&Session::OnRead, shared_from_this()));
    }

private:
    static bool Gone(beast::error_code ec) {
        return ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::eof ||
               ec == asio::error::connection_reset || ec == asio::error::operation_aborted;
    }

    void OnRead(beast::error_code ec, std::size_t) {
        waiting = false;
        if (Gone(ec)) return Close();
        if (ec == http::error::header_limit) return Write(Refusal(431), 11, false, false);
        if (ec == http::error::body_limit) return Write(Refusal(413), 11, false, false);
        if (ec) return Write(Refusal(400), 11, false, false);
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

    void OnBody(beast::error_code ec, WebRequest request) {
        if (ec == http::error::body_limit) return Write(Refusal(413), 11, false, false);
        if (Gone(ec)) return Close();
        if (ec) return Write(Refusal(400), 11, false, false);
        request.body = parser->get().body();
        WebResponse answer = Route(request, server.machineNames, server.Sources());
        Write(answer, parser->get().version(), false, parser->get().keep_alive());
    }

    void Write(const WebResponse& answer, unsigned version, bool head, bool keepAlive) {
        ++server.answered[answer.status];
        auto response = std::make_shared<http::response<http::string_body>>(ResponseOf(answer, version, head));
        response->keep_alive(keepAlive);
        stream.expires_after(server.idleLimit);
        auto self = shared_from_this();
        http::async_write(stream, *response, [self, response, keepAlive](beast::error_code ec, std::size_t) {
            if (ec || !keepAlive) return self->Close();
            self->Read();
        });
    }

    beast::tcp_stream stream;
    bool waiting = false;
    std::chrono::steady_clock::time_point waitingSince{};
    bool closed = false;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    WebServer::Impl& server;
};

}  // namespace

bool WebServer::Impl::Listen(std::uint16_t port, std::string& error) {
    beast::error_code ec;
    // Step by step: the convenience constructor would set address reuse, and
    // on Windows that lets a second program take the same port.
    acceptor.open(tcp::v4(), ec);
#if !defined(_WIN32)
    if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
#endif
    if (!ec) acceptor.bind(tcp::endpoint(asio::ip::address_v4::any(), port), ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "The web view cannot listen on port " + std::to_string(port) + ": " + SystemErrorText(ec.value());
        return false;
    }
    return true;
}

void WebServer::Impl::Admit(tcp::socket socket) {
    sessions.remove_if([](const std::weak_ptr<Session>& s) { return s.expired(); });
    if (open.load() >= maxConnections) {
        // Full: the connection that has waited longest for a request makes
        // room, kept alive after an answer or never having asked, so that
        // connections that dribble or idle cannot lock readers out.
        std::shared_ptr<Session> longest;
        for (const std::weak_ptr<Session>& weak : sessions) {
            std::shared_ptr<Session> s = weak.lock();
            if (s && s->Waiting() && (!longest || s->WaitingSince() < longest->WaitingSince())) longest = s;
        }
        if (longest) longest->Close();
    }
    if (open.load() >= maxConnections) {
        beast::error_code ignored;
        socket.close(ignored);  // every place is taken by a reader being served
        return;
    }
    auto session = std::make_shared<Session>(std::move(socket), *this);
    sessions.push_back(session);
    session->Read();
}

void WebServer::Impl::Accept() {
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (!ec) Admit(std::move(socket));
        Accept();
    });
}

WebServer::WebServer(BoardServer& board_) : board(board_) {}

WebServer::~WebServer() { Stop(); }

bool WebServer::Start(std::uint16_t port, std::string& error) {
    Stop();
    std::unique_ptr<Impl> started(new Impl(board, idleLimit, maxConnections));
    started->notice = notice;
    {
        std::lock_guard<std::mutex> guard(updatesLock);
        started->updateSettings = updates;
    }
    if (!started->Listen(port, error)) return false;
    started->Accept();
    Impl* raw = started.get();
    started->thread = std::thread([raw] {
        for (;;) {
            try {
                raw->io.run();
                return;
            } catch (const std::exception&) {
                // One request failed (out of memory copying the rows): its
                // connection is gone, the view serves on.
            }
        }
    });
    impl = std::move(started);
    return true;
}

void WebServer::Stop() {
    if (!impl) return;
    impl->io.stop();
    impl->thread.join();
    impl.reset();
}

std::uint16_t WebServer::Port() const {
    if (!impl) return 0;
    beast::error_code ec;
    return impl->acceptor.local_endpoint(ec).port();
}

int AnswerRawRequest(const std::string& bytes, const std::vector<std::string>& machineNames,
                     const UpdateSettings& updates) {
    http::request_parser<http::string_body> parser;
    parser.header_limit(HeaderLimit);
    parser.body_limit(MaxUpdateBody);
    parser.eager(false);  // the header first, as the server reads it
    beast::error_code ec;
    std::size_t used = parser.put(asio::buffer(bytes.data(), bytes.size()), ec);
    if (ec == http::error::header_limit) return 431;
    if (ec && ec != http::error::need_more) return 400;
    if (!parser.is_header_done()) return 0;  // the server would wait for more
    CodeGuard guard;                         // one request's own: nothing carries over to the next
    WebSources sources;
    sources.updates = [&updates] { return updates; };
    sources.guard = &guard;
    sources.setWord = [](const BrowserWord&, const std::string&) { return true; };
    sources.removeRow = [](const std::string&, const std::string&, bool& found) {
        found = true;
        return true;
    };
    sources.boardJson = [](std::string& json) {
        json = "{}";
        return true;
    };
    sources.healthy = [](std::string&) { return true; };
    sources.metrics = [] { return std::string(); };
    sources.rollCsv = [](std::string& csv) {
        csv.clear();
        return true;
    };
    WebRequest request = RequestOf(parser.get());
    request.peer = "192.0.2.1";
    if (IsUpdateRoute(request)) {
        WebResponse refusal = UpdateRefusal(request, machineNames, sources);
        if (refusal.status != 0) return refusal.status;
        // Only then the body, as the server reads it.
        parser.eager(true);
        while (!ec && !parser.is_done() && used < bytes.size()) {
            std::size_t n = parser.put(asio::buffer(bytes.data() + used, bytes.size() - used), ec);
            if (n == 0 && !ec) break;
            used += n;
        }
        if (ec == http::error::body_limit) return 413;
        if (ec && ec != http::error::need_more) return 400;
        if (!parser.is_done()) return 0;  // the server would wait for the body
        request.body = parser.get().body();
    }
    return Route(request, machineNames, sources).status;
}

void WebServer::SetUpdates(const UpdateSettings& settings) {
    std::lock_guard<std::mutex> guard(updatesLock);
    updates = settings;
    if (impl) {
        std::lock_guard<std::mutex> inner(impl->updatesLock);
        impl->updateSettings = settings;
    }
}

bool ApplyBoardOptions(BoardServer& board, WebServer& web, const BoardOptions& options, std::string& error) {
    board.silentMinutes = options.silentMinutes;
    board.webUpdates = options.webPort != 0 && options.webUpdates;
    UpdateSettings updates;
    updates.on = board.webUpdates;
    updates.code = options.webUpdateCode;
    web.SetUpdates(updates);
    board.acceptPacingMs = static_cast<int>(options.acceptPacingMs);
    if (options.webPort == 0) {
        web.Stop();
        return true;
    }
    if (web.Running() && web.Port() == options.webPort) return true;
    web.Stop();
    return web.Start(static_cast<std::uint16_t>(options.webPort), error);
}

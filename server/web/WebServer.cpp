#include "WebServer.h"

#include <boost/asio.hpp>

#include "WebServerImpl.h"
#include "WebConnection.h"
#include "SignInRoutes.h"
#include "WebSession.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

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
    sessions.remove_if([](const std::weak_ptr<WebConnection>& s) { return s.expired(); });
    if (open.load() >= maxConnections) {
        // Full: the connection that has waited longest for a request makes
        // room (kept alive after an answer or never having asked), or one whose
        // answer is not being read, so that connections that dribble, idle or
        // never read cannot lock readers out.
        std::shared_ptr<WebConnection> longest;
        const auto now = std::chrono::steady_clock::now();
        for (const std::weak_ptr<WebConnection>& weak : sessions) {
            std::shared_ptr<WebConnection> s = weak.lock();
            if (s && s->Closable(now) && (!longest || s->Since() < longest->Since())) longest = s;
        }
        if (longest) longest->Close();
    }
    if (open.load() >= maxConnections) {
        beast::error_code ignored;
        socket.close(ignored);  // every place is taken by a reader being served
        return;
    }
    std::shared_ptr<WebConnection> session =
        transport ? transport->Open(std::move(socket), *this)
                  : std::make_shared<WebSession<beast::tcp_stream>>(*this, std::move(socket));
    sessions.push_back(session);
    session->Start();
}

void WebServer::Impl::SignInLater(const WebRequest& request, std::function<void(const WebResponse&)> done) {
    const WebSources sources = Sources();
    std::string name, password;
    bool keep = false;
    WebResponse early = SignInRefusal(request, sources, name, password, keep);
    if (early.status != 0) return done(early);
    if (signingIn.load() >= 4) {
        WebResponse busy = JsonAnswer(503, "Many people are signing in; try again in a moment.");
        busy.headers.push_back({"Retry-After", "1"});
        return done(busy);
    }
    ++signingIn;
    std::thread([this, request, name, password, keep, done] {
        std::string token;
        SignedIn who;
        const SignInVerdict right = signIn->check(name, password, keep, token, who);
        asio::post(io, [this, request, name, right, token, keep, done] {
            done(SignInAnswer(request, Sources(), name, right, token, keep));
        });
        --signingIn;
    }).detach();
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
    started->history = history;
    started->standingAt = standingAt;
    started->transport = transport;
    started->signIn = signIn;
    started->trustedProxies = trustedProxies;
    started->plans = plans;
    started->nextPlan = nextPlan;
    started->serviceNote = healthNote;
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
    // A password being checked posts its answer to the io_context: it ends first (a hash's time at most).
    for (int i = 0; i < 500 && impl->signingIn.load() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    impl->io.stop();
    impl->thread.join();
    impl.reset();
}

std::uint16_t WebServer::Port() const {
    if (!impl) return 0;
    beast::error_code ec;
    return impl->acceptor.local_endpoint(ec).port();
}

void WebServer::SetUpdates(const UpdateSettings& settings) {
    std::lock_guard<std::mutex> guard(updatesLock);
    updates = settings;
    if (impl) {
        std::lock_guard<std::mutex> inner(impl->updatesLock);
        impl->updateSettings = settings;
    }
}

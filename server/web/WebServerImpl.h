// Inside the web view: what the listener, its sessions and the board's
// sources share, all on the one web thread unless a lock says otherwise.
#pragma once

#include <atomic>
#include <boost/asio.hpp>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "HostRule.h"
#include "WebRoutes.h"
#include "WebServer.h"

class WebConnection;
class WebTransport;

struct WebServer::Impl {
    Impl(BoardServer& board_, std::chrono::milliseconds idleLimit_, int maxConnections_)
        : board(board_), idleLimit(idleLimit_), maxConnections(maxConnections_), acceptor(io) {}

    bool Listen(std::uint16_t port, std::string& error);
    void Accept();
    void Admit(boost::asio::ip::tcp::socket socket);
    // What the routes read the board through and write browsers' words with.
    WebSources Sources();
    bool BoardJsonFor(const std::string& ifNoneMatch, bool gzip, BoardJsonAnswer& answer);

    BoardServer& board;
    const std::chrono::milliseconds idleLimit;
    const int maxConnections;
    std::vector<std::string> machineNames = MachineNames();
    // Both outlive the io_context, whose handlers hold the sessions.
    std::atomic<int> open{0};
    std::list<std::weak_ptr<WebConnection>> sessions;  // oldest first; used on the web thread only
    std::map<int, std::uint64_t> answered;             // by status code; used on the web thread only
    CodeGuard codeGuard;                               // used on the web thread only
    // The last JSON made, given again for a second while its tag holds: twenty
    // pages polling cost one JSON, not twenty. Used on the web thread only.
    struct {
        std::string etag;
        std::shared_ptr<const std::string> body, gzipped;
        std::chrono::steady_clock::time_point made{};
    } lastJson;
    std::function<void(const std::string& line)> notice;
    decltype(WebSources::history) history;
    decltype(WebServer::standingAt) standingAt;
    std::shared_ptr<WebTransport> transport;  // null: plain HTTP
    const SignInDesk* signIn = nullptr;
    std::vector<std::string> trustedProxies;
    const PlanDesk* plans = nullptr;
    decltype(WebServer::nextPlan) nextPlan;
    decltype(WebServer::healthNote) serviceNote;
    std::string StaffNote() const;
    AccountGuard accountGuard;      // used on the web thread only
    std::atomic<int> signingIn{0};  // passwords being checked off the web thread
    // A sign-in's password checked on a thread of its own, so that its slow hash
    // holds up no other asker; `done` is called on the web thread with the answer.
    void SignInLater(const WebRequest& request, std::function<void(const WebResponse&)> done);
    std::mutex updatesLock;
    UpdateSettings updateSettings;
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor acceptor;
    std::thread thread;
};

// The opt-in web view: an HTTP server on a thread of its own (one io_context)
// that reads the board the way the painter does and never writes to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "BoardOptions.h"
#include "BoardServer.h"
#include "Plan.h"
#include "ServerStartup.h"
#include "WebRoutes.h"
#include "WebUpdates.h"

class WebTransport;

class WebServer {
public:
    explicit WebServer(BoardServer& board);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Listens on all IPv4 addresses on `port` (0: the system picks one). False,
    // with a text naming the port and the socket error, when it cannot.
    bool Start(std::uint16_t port, std::string& error);
    void Stop();
    bool Running() const { return impl != nullptr; }
    // Whether words from browsers are taken, and the code they need; kept across a restart of the view.
    void SetUpdates(const UpdateSettings& settings);
    std::uint16_t Port() const;

    // A connection idle or dribbling this long is closed; tests shorten it.
    std::chrono::milliseconds idleLimit{10000};
    int maxConnections = 64;
    // Told, on the web thread, what an administrator should hear of (wrong codes
    // shutting the board's updates out). Set before Start.
    std::function<void(const std::string& line)> notice;
    // Where /history reads from (the service's store); null: no history. Set before Start.
    decltype(WebSources::history) history;
    // Each row's last history entry at a moment, for the roll call as it stood.
    std::function<bool(std::int64_t atMs, std::vector<HistoryEntry>& standing)> standingAt;
    // Sign-in, where the board has it (null: the code's rules); it outlives the view. Set before Start.
    const SignInDesk* signIn = nullptr;
    // What carries the connections (TLS, see WebTls.h); null: plain HTTP. Set before Start.
    std::shared_ptr<WebTransport> transport;
    // The board's plans (the service's), and the one each row shows next; null: none. Set before Start.
    const struct PlanDesk* plans = nullptr;
    std::function<bool(const std::string& name, std::int64_t nowMs, Plan& plan, Occurrence& occurrence)> nextPlan;
    // A line of the service's own for /healthz (empty: none), such as history that waits. Set before Start.
    std::function<std::string()> healthNote;
    // The reverse proxies whose X-Forwarded-Proto and -For are believed (canonical addresses). Set before Start.
    std::vector<std::string> trustedProxies;

    struct Impl;

private:
    BoardServer& board;
    std::mutex updatesLock;
    UpdateSettings updates;
    std::unique_ptr<Impl> impl;
};

// Takes the options into effect at once: the grey rows' minutes, and the web
// view started, stopped or moved. False, with the text for a message box
// captioned "pegmast", when the web port cannot be had; the board runs on
// without the web view.
bool ApplyBoardOptions(BoardServer& board, WebServer& web, const BoardOptions& options, std::string& error);

// A window board's options: taken into effect, a port that cannot be had said
// over the board window; and the Options dialog's run (`runDialog` edits the
// stored options and gives true for OK), its choice written and taken.
void TakeBoardOptions(BoardServer& board, WebServer& web, const BoardOptions& options, BoardShell& shell);
void ChangeBoardOptions(BoardServer& board, WebServer& web, BoardShell& shell,
                        const std::function<bool(BoardOptions& options)>& runDialog);

// The whole request bytes of one connection, parsed and answered as the
// server would answer them (for the fuzzer and tests): the status code.
int AnswerRawRequest(const std::string& bytes, const std::vector<std::string>& machineNames,
                     const UpdateSettings& updates = UpdateSettings());

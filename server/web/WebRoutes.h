// One function from a request to a response, knowing nothing of sockets:
// the page, its script and style, the board's JSON, and the refusals.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BoardSnapshot.h"
#include "HistoryEntry.h"
#include "SignInDesk.h"
#include "WebUpdates.h"

struct WebRequest {
    std::string method;
    std::string target;
    bool hasHost = false;
    std::string host;
    // What an update from a browser is judged by.
    std::string contentType;
    std::string updateHeader;  // X-Pegora-Update
    std::string origin;
    std::string fetchSite;  // Sec-Fetch-Site
    std::uint64_t contentLength = 0;
    std::string body;
    std::string codeHeader;     // X-Pegora-Code, the board's code for reading the history
    std::string ifNoneMatch;    // the tags of the board's JSON the asker has
    bool acceptsGzip = false;   // Accept-Encoding names gzip
    std::string peer;           // the sender's address
    std::int64_t steadyMs = 0;  // the steady clock, for the guard of the code
    bool secure = false;        // it came over HTTPS
    std::string session;        // the sign-in cookie's token
    std::string wallKey;        // X-Pegora-Wall, a wall screen's view-only key
    // What a reverse proxy says of the request; believed from WebServer::trustedProxies only.
    std::string forwardedProto, forwardedFor;
};

struct WebResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // besides SafetyHeaders
};

// Every response carries these: anybody on the network can write any name or message.
const std::vector<std::pair<std::string, std::string>>& SafetyHeaders();

// The board's JSON for one asker: its tag, and the body unless the asker has
// it already (a 304); gzipped when asked for.
struct BoardJsonAnswer {
    std::string etag;
    std::shared_ptr<const std::string> body;
    bool gzipped = false;
};

// What the routes read from the board, without knowing how.
struct WebSources {
    // The board's JSON for an asker who has `ifNoneMatch`; false when the board
    // could not be read in time.
    std::function<bool(const std::string& ifNoneMatch, bool gzip, BoardJsonAnswer& answer)> boardJson;
    // True when the board is healthy; otherwise false with the reason.
    std::function<bool(std::string& reason)> healthy;
    // A line after "ok" for the health check (how old the staff list is); empty for none.
    std::function<std::string()> healthNote;
    // The metrics in the Prometheus text format.
    std::function<std::string()> metrics;
    // The roll call as CSV; false when the board could not be read in time.
    std::function<bool(std::string& csv)> rollCsv;
    // Updates from a browser: whether they are taken, the guard of the code,
    // and the two changes. Each change is false when the board could not be
    // had in time; `found` tells whether a row of that name was there.
    std::function<UpdateSettings()> updates;
    CodeGuard* guard = nullptr;
    // Told once when wrong codes shut the whole board out.
    std::function<void(const std::string& line)> notice;
    // `author`: who, signed in, makes the change (Windows-1252); empty under the code's rules.
    std::function<bool(const BrowserWord& word, const std::string& sender, const std::string& author)> setWord;
    std::function<bool(const std::string& name, const std::string& sender, bool& found, const std::string& author)>
        removeRow;
    // Sign-in, where the board has it; null: the code's rules. Its guard per account.
    const SignInDesk* signIn = nullptr;
    AccountGuard* accountGuard = nullptr;
    // What rows showed (a name by the key rule, empty: everybody), the newest
    // `limit` from `fromMs` to `toMs`; null where no history is kept.
    std::function<bool(const std::string& name, std::int64_t fromMs, std::int64_t toMs, std::size_t limit,
                       std::vector<HistoryEntry>& entries)>
        history;
    // The board's plans, where it keeps them (the service); null: none.
    const struct PlanDesk* plans = nullptr;
    // The board as it stood at a moment, from the history.
    std::function<bool(std::int64_t atMs, BoardSnapshot& snapshot)> rollAt;
};

// An update that can be refused on its headers alone, before its body is read:
// the refusal, or a response with status 0 when the body may be read.
WebResponse UpdateRefusal(const WebRequest& request, const std::vector<std::string>& machineNames,
                          const WebSources& sources);
// The request's path, without its query.
std::string PathOf(const WebRequest& request);
// Whether the request is a POST to one of the update routes.
bool IsUpdateRoute(const WebRequest& request);

WebResponse Route(const WebRequest& request, const std::vector<std::string>& machineNames, const WebSources& sources);

// A refusal made before any route is looked at (431, 400).
WebResponse Refusal(int status);
// {"ok":true} for an empty error, else {"error": the words}.
WebResponse JsonAnswer(int status, const std::string& error);

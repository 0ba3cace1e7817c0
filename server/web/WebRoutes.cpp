#include "WebRoutes.h"

#include <nlohmann/json.hpp>

#include "AsciiText.h"
#include "EmbeddedPage.h"
#include "HistoryRoute.h"
#include "HostRule.h"
#include "PlanRoutes.h"
#include "SignInRoutes.h"

namespace {

const char* Reason(int status) {
    switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 421: return "Misdirected Request";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "";
    }
}

WebResponse Answer(int status, const std::string& error) { return JsonAnswer(status, error); }

WebResponse Update(const WebRequest& request, const std::vector<std::string>& machineNames, const WebSources& sources) {
    WebResponse refusal = UpdateRefusal(request, machineNames, sources);
    if (refusal.status != 0) return refusal;
    if (request.body.size() > MaxUpdateBody) return Answer(413, "The request is larger than 4 KiB.");
    if (IsSignOutRoute(request)) return SignOutAnswer(request, sources);
    if (IsSignInRoute(request)) {
        // Answered here only where there is no web thread to keep free (a test, the fuzzer).
        std::string name, password, token;
        bool keep = false;
        WebResponse early = SignInRefusal(request, sources, name, password, keep);
        if (early.status != 0) return early;
        SignedIn who;
        const SignInVerdict right = sources.signIn->check(name, password, keep, token, who);
        return SignInAnswer(request, sources, name, right, token, keep);
    }
    if (std::int64_t waitMs = sources.guard ? sources.guard->ShutFor(request.peer, request.steadyMs) : 0) {
        WebResponse response = Answer(429, sources.guard->BoardShut(request.steadyMs)
                                               ? "Too many wrong codes on this board; try again in a minute."
                                               : "Too many wrong codes from this address; try again in a minute.");
        response.headers.push_back({"Retry-After", std::to_string((waitMs + 999) / 1000)});
        return response;
    }
    if (IsPlanChange(request)) return PlanChangeAnswer(request, sources);
    if (IsCalendarLinkRoute(request)) return CalendarLinkAnswer(request, sources);
    const UpdateSettings settings = sources.updates();
    const bool remove = PathOf(request) == "/remove";
    BrowserWord word;
    std::string code, error;
    bool parsed = remove ? ParseRemoveBody(request.body, word.name, code, error)
                         : ParseStatusBody(request.body, word, code, error);
    if (!parsed) return Answer(400, error);
    if (sources.signIn) {
        // Signed in, the person's rights stand in for the code.
        SignedIn who;
        WebResponse refused = ChangeRefusal(request, sources, word.name, remove, who);
        if (refused.status != 0) return refused;
        bool found = true;
        if (remove ? !sources.removeRow(word.name, request.peer, found, who.name)
                   : !sources.setWord(word, request.peer, who.name))
            return Answer(503, "The board is busy; try again.");
        return found ? Answer(200, "") : Answer(404, "Nobody of that name is on the board.");
    }
    if (!settings.code.empty() && !CodesEqual(code, settings.code)) {
        if (sources.guard && sources.guard->Wrong(request.peer, request.steadyMs) && sources.notice)
            sources.notice("more than 20 wrong update codes within a minute, the last from " + request.peer +
                           ": updates from a browser are refused until a minute passes without one");
        return Answer(403, "The code is wrong.");
    }
    if (remove) {
        if (settings.code.empty()) return Answer(403, "Rows can be removed only on a board that asks for a code.");
        bool found = false;
        if (!sources.removeRow(word.name, request.peer, found, "")) return Answer(503, "The board is busy; try again.");
        if (!found) return Answer(404, "Nobody of that name is on the board.");
        return Answer(200, "");
    }
    if (!sources.setWord(word, request.peer, "")) return Answer(503, "The board is busy; try again.");
    return Answer(200, "");
}

}  // namespace

std::string PathOf(const WebRequest& request) { return request.target.substr(0, request.target.find('?')); }

bool IsUpdateRoute(const WebRequest& request) {
    std::string path = PathOf(request);
    return (request.method == "POST" && (path == "/status" || path == "/remove" || path == "/sign-in" ||
                                         path == "/sign-out" || path == "/calendar-link")) ||
           IsPlanChange(request);
}

WebResponse UpdateRefusal(const WebRequest& request, const std::vector<std::string>& machineNames,
                          const WebSources& sources) {
    WebResponse ready;
    ready.status = 0;
    if (!request.hasHost || !HostAllowed(request.host, machineNames)) return Refusal(421);
    if (!sources.updates || !sources.updates().on) return Refusal(404);
    // A page elsewhere cannot send this header without a preflight, and this board grants none.
    if (request.updateHeader != "1") return Answer(403, "The request did not come from the board's page.");
    std::string type = AsciiLower(request.contentType.substr(0, request.contentType.find(';')));
    while (!type.empty() && type.back() == ' ') type.pop_back();
    if (type != "application/json") return Answer(415, "The request must be JSON.");
    const std::string scheme = request.secure ? "https://" : "http://";
    if (!request.origin.empty() && AsciiLower(request.origin) != scheme + AsciiLower(request.host))
        return Answer(403, "The request came from another site.");
    std::string site = AsciiLower(request.fetchSite);
    if (!site.empty() && site != "same-origin" && site != "none")
        return Answer(403, "The request came from another site.");
    if (request.contentLength > MaxUpdateBody) return Answer(413, "The request is larger than 4 KiB.");
    return ready;
}

const std::vector<std::pair<std::string, std::string>>& SafetyHeaders() {
    static const std::vector<std::pair<std::string, std::string>> headers = {
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self' data:; "
         "frame-ancestors 'none'"},
        // No other site may show the board in a frame and have it clicked.
        {"X-Frame-Options", "DENY"},
        {"X-Content-Type-Options", "nosniff"},
        {"Cache-Control", "no-store"},
        {"Referrer-Policy", "no-referrer"}};
    return headers;
}

WebResponse JsonAnswer(int status, const std::string& error) {
    WebResponse response;
    response.status = status;
    response.contentType = "application/json";
    nlohmann::json body = error.empty() ? nlohmann::json{{"ok", true}} : nlohmann::json{{"error", error}};
    response.body = body.dump();
    return response;
}

WebResponse Refusal(int status) {
    WebResponse response;
    response.status = status;
    response.body = std::to_string(status) + " " + Reason(status) + "\n";
    return response;
}

WebResponse Route(const WebRequest& request, const std::vector<std::string>& machineNames, const WebSources& sources) {
    if (!request.hasHost || !HostAllowed(request.host, machineNames)) return Refusal(421);
    if (IsUpdateRoute(request)) return Update(request, machineNames, sources);
    if (request.method != "GET" && request.method != "HEAD") {
        WebResponse response = Refusal(405);
        response.headers.push_back({"Allow", "GET, HEAD"});
        return response;
    }
    std::string path = request.target.substr(0, request.target.find('?'));  // "/?wall" is the page
    if (path == "/me") return MeAnswer(request, sources);
    if (IsPlansRoute(path)) return PlansAnswer(request, sources);
    if (IsCalendarRoute(path)) return CalendarAnswer(request, sources);
    const bool names = IsHistoryRoute(path) || IsRollAtRoute(request) || path == "/board.json" || path == "/roll.csv";
    if (names) {
        WebResponse refusal = ViewRefusal(request, sources);
        if (refusal.status != 0) return refusal;
    }
    if (IsHistoryRoute(path)) return HistoryAnswer(request, sources);
    if (IsRollAtRoute(request)) return RollAtAnswer(request, sources);
    if (path == "/board.json" || path == "/roll.csv") {
        const bool board = path == "/board.json";
        WebResponse response;
        BoardJsonAnswer json;
        if (!(board ? sources.boardJson(request.ifNoneMatch, request.acceptsGzip, json)
                    : sources.rollCsv(response.body))) {
            // Held by the painter or a store: the reader of the web is told to come back.
            response = Refusal(503);
            response.headers.push_back({"Retry-After", "1"});
            return response;
        }
        response.contentType = board ? "application/json" : "text/csv; charset=utf-8";
        if (!board) {
            response.headers.push_back({"Content-Disposition", "attachment; filename=\"roll-call.csv\""});
            return response;
        }
        response.headers.push_back({"ETag", json.etag});
        response.headers.push_back({"Vary", "Accept-Encoding"});
        if (!json.body) {
            response.status = 304;  // what the asker has still says what the board says
            return response;
        }
        response.body = *json.body;
        if (json.gzipped) response.headers.push_back({"Content-Encoding", "gzip"});
        return response;
    }
    if (path == "/healthz") {
        WebResponse response;
        std::string reason;
        if (sources.healthy(reason)) {
            response.body = "ok\n";
            const std::string note = sources.healthNote ? sources.healthNote() : std::string();
            if (!note.empty()) response.body += note + "\n";
        } else {
            response.status = 503;
            response.body = reason + "\n";
        }
        return response;
    }
    if (path == "/metrics") {
        WebResponse response;
        response.contentType = "text/plain; version=0.0.4; charset=utf-8";
        response.body = sources.metrics();
        return response;
    }
    const EmbeddedFile* file = FindPageFile(path);
    if (!file) return Refusal(404);
    WebResponse response;
    response.contentType = file->contentType;
    response.body.assign(reinterpret_cast<const char*>(file->data), file->size);
    return response;
}

#include "SignInRoutes.h"

#include <nlohmann/json.hpp>

#include "AsciiText.h"
#include "Windows1252.h"

namespace {

const std::int64_t AccountWindowMs = 15 * 60 * 1000;
const std::size_t AccountWrongAllowed = 3;
const char* const Wrong = "The name or the password is wrong.";

WebResponse Limited(std::int64_t waitMs, const std::string& text) {
    WebResponse response = JsonAnswer(429, text);
    response.headers.push_back({"Retry-After", std::to_string((waitMs + 999) / 1000)});
    return response;
}

// The cookie that holds a session: never readable by the page's scripts, sent
// to this host only, over HTTPS only, and never with a request from another site.
std::string Cookie(const std::string& token, std::int64_t maxAgeSeconds) {
    std::string cookie = std::string(SessionCookie) + "=" + token + "; Secure; HttpOnly; SameSite=Strict; Path=/";
    if (maxAgeSeconds >= 0) cookie += "; Max-Age=" + std::to_string(maxAgeSeconds);
    return cookie;
}

nlohmann::json Person(const SignedIn& who) {
    return {{"name", Windows1252ToUtf8(who.name)}, {"displayName", who.displayName}, {"reception", who.reception}};
}

}  // namespace

std::int64_t AccountGuard::ShutFor(const std::string& key, std::int64_t steadyMs) {
    auto it = wrong.find(key);
    if (it == wrong.end()) return 0;
    std::deque<std::int64_t>& times = it->second;
    while (!times.empty() && steadyMs - times.front() >= AccountWindowMs) times.pop_front();
    if (times.size() < AccountWrongAllowed) return 0;
    return times.front() + AccountWindowMs - steadyMs;
}

void AccountGuard::Wrong(const std::string& key, std::int64_t steadyMs) {
    std::deque<std::int64_t>& times = wrong[key];
    times.push_back(steadyMs);
    while (times.size() > AccountWrongAllowed) times.pop_front();
    // Accounts long quiet are forgotten, so that the map stays small.
    if (wrong.size() > 10000)
        for (auto it = wrong.begin(); it != wrong.end();)
            it = steadyMs - it->second.back() >= AccountWindowMs ? wrong.erase(it) : std::next(it);
}

bool IsSignInRoute(const WebRequest& request) { return request.method == "POST" && PathOf(request) == "/sign-in"; }

bool IsSignOutRoute(const WebRequest& request) { return request.method == "POST" && PathOf(request) == "/sign-out"; }

WebResponse SignInRefusal(const WebRequest& request, const WebSources& sources, std::string& name,
                          std::string& password, bool& keep) {
    if (!sources.signIn) return Refusal(404);
    std::string error;
    if (!ParseSignInBody(request.body, name, password, keep, error)) return JsonAnswer(400, error);
    if (std::int64_t waitMs = sources.guard ? sources.guard->ShutFor(request.peer, request.steadyMs) : 0)
        return Limited(waitMs, sources.guard->BoardShut(request.steadyMs)
                                   ? "Too many wrong passwords on this board; try again in a minute."
                                   : "Too many wrong passwords from this address; try again in a minute.");
    if (std::int64_t waitMs =
            sources.accountGuard ? sources.accountGuard->ShutFor(AsciiLower(name), request.steadyMs) : 0)
        return Limited(waitMs, "Too many wrong passwords for this name; try again later.");
    WebResponse go;
    go.status = 0;
    return go;
}

WebResponse SignInAnswer(const WebRequest& request, const WebSources& sources, const std::string& name,
                         SignInVerdict right, const std::string& token, bool keep) {
    // The directory's silence is nobody's wrong password.
    if (right == SignInVerdict::Unavailable) {
        WebResponse busy = JsonAnswer(503, "The directory cannot be reached; try again in a minute.");
        busy.headers.push_back({"Retry-After", "60"});
        return busy;
    }
    if (right == SignInVerdict::Wrong) {
        if (sources.guard && sources.guard->Wrong(request.peer, request.steadyMs) && sources.notice)
            sources.notice("more than 20 wrong passwords within a minute, the last from " + request.peer +
                           ": signing in is refused until a minute passes without one");
        if (sources.accountGuard) sources.accountGuard->Wrong(AsciiLower(name), request.steadyMs);
        return JsonAnswer(401, Wrong);
    }
    if (sources.accountGuard) sources.accountGuard->Right(AsciiLower(name));
    WebResponse response;
    response.status = 204;
    // Kept: 30 days on this device; otherwise until the browser closes (the server ends it after 12 idle hours).
    response.headers.push_back({"Set-Cookie", Cookie(token, keep ? 30LL * 86400 : -1)});
    return response;
}

WebResponse SignOutAnswer(const WebRequest& request, const WebSources& sources) {
    if (!sources.signIn) return Refusal(404);
    if (!request.session.empty()) sources.signIn->signOut(request.session);
    WebResponse response;
    response.status = 204;
    response.headers.push_back({"Set-Cookie", Cookie("", 0)});
    return response;
}

WebResponse MeAnswer(const WebRequest& request, const WebSources& sources) {
    if (!sources.signIn) return Refusal(404);
    SignedIn who;
    if (request.session.empty() || !sources.signIn->session(request.session, who))
        return JsonAnswer(401, "Sign in first.");
    WebResponse response;
    response.contentType = "application/json";
    response.body = Person(who).dump();
    return response;
}

WebResponse ViewRefusal(const WebRequest& request, const WebSources& sources) {
    WebResponse go;
    go.status = 0;
    if (!sources.signIn || !sources.signIn->viewSignedIn) return go;
    SignedIn who;
    if (!request.session.empty() && sources.signIn->session(request.session, who)) return go;
    if (!request.wallKey.empty() && sources.signIn->wall && sources.signIn->wall(request.wallKey)) return go;
    return JsonAnswer(401, "Sign in to see the board.");
}

WebResponse ChangeRefusal(const WebRequest& request, const WebSources& sources, const std::string& name, bool remove,
                          SignedIn& who) {
    if (request.session.empty() || !sources.signIn->session(request.session, who))
        return JsonAnswer(401, "Sign in first.");
    if (remove && !who.reception) return JsonAnswer(403, "Only reception can remove a row.");
    if (!who.reception && AsciiLower(name) != AsciiLower(who.name))
        return JsonAnswer(403, "You can change your own row; reception can change others.");
    WebResponse go;
    go.status = 0;
    return go;
}

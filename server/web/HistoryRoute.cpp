#include "HistoryRoute.h"

#include <cstdio>
#include <ctime>

#include "AsciiText.h"
#include "BoardServer.h"
#include "BoardSnapshot.h"
#include "JsonText.h"
#include "RollCall.h"
#include "WebUpdates.h"
#include "Windows1252.h"

namespace {

std::string Hex(char high, char low) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
    };
    const int h = digit(high), l = digit(low);
    return h < 0 || l < 0 ? std::string() : std::string(1, static_cast<char>(h * 16 + l));
}

std::string Json(const std::vector<HistoryEntry>& entries) {
    JsonText j;
    j.Begin('{').Key("entries").Begin('[');
    for (const HistoryEntry& e : entries) {
        j.Begin('{').Key("at").Number(e.atMs).Key("name").String(Windows1252ToUtf8(e.name));
        j.Key("status").Number(e.status).Key("word").String(StatusName(e.status));
        j.Key("message").String(Windows1252ToUtf8(e.message));
        if (!e.until.empty()) j.Key("until").String(e.until);
        j.Key("source").String(e.source);
        if (!e.from.empty()) j.Key("from").String(e.from);
        if (!e.author.empty()) j.Key("by").String(Windows1252ToUtf8(e.author));
        j.End('}');
    }
    j.End(']').Key("complete").Bool(entries.size() < MaxHistoryAnswer).End('}');
    return j.Text();
}

std::string Csv(const std::vector<HistoryEntry>& entries) {
    std::string csv =
        "\xEF\xBB\xBF\"Time\",\"Name\",\"Status\",\"Message\",\"Until\",\"Source\",\"From\",\"Set by\"\r\n";
    for (const HistoryEntry& e : entries) {
        std::tm parts = LocalParts(static_cast<std::time_t>(e.atMs / 1000));
        char when[32];
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &parts);
        csv += SpreadsheetField(when) + "," + SpreadsheetField(Windows1252ToUtf8(e.name)) + "," +
               SpreadsheetField(StatusName(e.status)) + "," + SpreadsheetField(Windows1252ToUtf8(e.message)) + "," +
               SpreadsheetField(e.until) + "," + SpreadsheetField(e.source) + "," + SpreadsheetField(e.from) + "," +
               SpreadsheetField(Windows1252ToUtf8(e.author)) + "\r\n";
    }
    return csv;
}

}  // namespace

bool QueryValue(const std::string& target, const std::string& key, std::string& value) {
    const std::size_t query = target.find('?');
    if (query == std::string::npos) return false;
    std::size_t at = query + 1;
    while (at <= target.size()) {
        std::size_t end = target.find('&', at);
        if (end == std::string::npos) end = target.size();
        const std::string pair = target.substr(at, end - at);
        at = end + 1;
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) != key) continue;
        const std::string raw = equals == std::string::npos ? std::string() : pair.substr(equals + 1);
        value.clear();
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '+') {
                value += ' ';
            } else if (raw[i] == '%' && i + 2 < raw.size() + 0 && !Hex(raw[i + 1], raw[i + 2]).empty()) {
                value += Hex(raw[i + 1], raw[i + 2]);
                i += 2;
            } else {
                value += raw[i];
            }
        }
        return true;
    }
    return false;
}

bool LocalTimeMs(const std::string& text, std::int64_t& ms) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char tail = 0;
    int n = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &tail);
    const bool shape = (n == 3 && text.size() == 10) || (n == 5 && text.size() == 16) || (n == 6 && text.size() == 19);
    if (!shape || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
        year < 1970)
        return false;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    const std::time_t when = std::mktime(&parts);
    if (when == static_cast<std::time_t>(-1) || parts.tm_mday != day) return false;  // 31 February is no day
    ms = static_cast<std::int64_t>(when) * 1000;
    return true;
}

std::string FromUtf8(const std::string& text) { return ValidUtf8(text) ? Utf8ToWindows1252(text) : text; }

bool IsHistoryRoute(const std::string& path) { return path == "/history" || path == "/history.csv"; }

namespace {

// Whether the request may read the history: status 0 when it may, else the
// refusal. Signed in, reception reads everybody's; a person only their own
// row's (`name` given as theirs), and no moment's roll call.
WebResponse HistoryRights(const WebRequest& request, const WebSources& sources, const std::string* name) {
    const UpdateSettings settings = sources.updates ? sources.updates() : UpdateSettings();
    if (sources.signIn && sources.history && settings.on) {
        SignedIn who;
        if (request.session.empty() || !sources.signIn->session(request.session, who))
            return JsonAnswer(401, "Sign in first.");
        if (!who.reception && (!name || AsciiLower(*name) != AsciiLower(who.name)))
            return JsonAnswer(403, "You can read your own row's history; reception can read everybody's.");
        WebResponse may;
        may.status = 0;
        return may;
    }
    // The history is as private as the rows are changeable: only where a code guards changes.
    if (!sources.history || !settings.on || settings.code.empty()) return Refusal(404);
    if (std::int64_t waitMs = sources.guard ? sources.guard->ShutFor(request.peer, request.steadyMs) : 0) {
        WebResponse response = JsonAnswer(429, "Too many wrong codes; try again in a minute.");
        response.headers.push_back({"Retry-After", std::to_string((waitMs + 999) / 1000)});
        return response;
    }
    if (request.codeHeader.empty()) return JsonAnswer(403, "The history needs the board's code.");
    if (!CodesEqual(FromUtf8(request.codeHeader), settings.code)) {
        if (sources.guard) sources.guard->Wrong(request.peer, request.steadyMs);
        return JsonAnswer(403, "The code is wrong.");
    }
    WebResponse may;
    may.status = 0;
    return may;
}

}  // namespace

WebResponse HistoryAnswer(const WebRequest& request, const WebSources& sources) {
    std::string name, from, to;
    QueryValue(request.target, "name", name);
    const std::string asked = FromUtf8(name);
    const WebResponse refusal = HistoryRights(request, sources, name.empty() ? nullptr : &asked);
    if (refusal.status != 0) return refusal;
    std::int64_t fromMs = 0, toMs = WallMs();
    if (QueryValue(request.target, "from", from) && !LocalTimeMs(from, fromMs))
        return JsonAnswer(400, "from must be a date or a date and time, as 2026-12-09T14:05.");
    if (QueryValue(request.target, "to", to) && !LocalTimeMs(to, toMs))
        return JsonAnswer(400, "to must be a date or a date and time, as 2026-12-09T14:05.");
    if (to.size() == 10) toMs += 86400 * 1000 - 1;  // a whole day, to its end
    std::vector<HistoryEntry> entries;
    if (!sources.history(FromUtf8(name), fromMs, toMs, MaxHistoryAnswer, entries))
        return JsonAnswer(503, "The history cannot be read right now; try again.");
    WebResponse response;
    const bool csv = request.target.compare(0, 12, "/history.csv") == 0;
    response.contentType = csv ? "text/csv; charset=utf-8" : "application/json";
    response.body = csv ? Csv(entries) : Json(entries);
    if (csv) response.headers.push_back({"Content-Disposition", "attachment; filename=\"history.csv\""});
    return response;
}

bool IsRollAtRoute(const WebRequest& request) {
    const std::string path = request.target.substr(0, request.target.find('?'));
    std::string at;
    return path == "/roll.json" || (path == "/roll.csv" && QueryValue(request.target, "at", at));
}

WebResponse RollAtAnswer(const WebRequest& request, const WebSources& sources) {
    const WebResponse refusal = HistoryRights(request, sources, nullptr);
    if (refusal.status != 0) return refusal;
    std::string at;
    std::int64_t atMs = 0;
    if (!QueryValue(request.target, "at", at) || !LocalTimeMs(at, atMs))
        return JsonAnswer(400, "at must be a date and time, as 2026-12-09T14:05.");
    BoardSnapshot snapshot;
    if (!sources.rollAt || !sources.rollAt(atMs, snapshot))
        return JsonAnswer(503, "The history cannot be read right now; try again.");
    WebResponse response;
    if (request.target.compare(0, 9, "/roll.csv") == 0) {
        response.contentType = "text/csv; charset=utf-8";
        response.body = RollCsv(snapshot, static_cast<std::time_t>(atMs / 1000));
        response.headers.push_back({"Content-Disposition", "attachment; filename=\"roll-call-" + at + ".csv\""});
    } else {
        response.contentType = "application/json";
        response.body = BoardJson(snapshot);
    }
    return response;
}

#include "PlanRoutes.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "AsciiText.h"
#include "HistoryRoute.h"
#include "ICalendar.h"
#include "JsonFields.h"
#include "SignInRoutes.h"
#include "Windows1252.h"

namespace {

const std::int64_t DayMs = 86400000;

bool TakeStamp(const nlohmann::json& body, const char* field, LocalStamp& stamp, bool& dateOnly, std::string& error) {
    auto it = body.find(field);
    if (it == body.end() || !it->is_string() || !ParseLocalStamp(it->get<std::string>(), stamp, dateOnly)) {
        error = std::string("The ") + field + " must be a date or a date and time, as 2027-01-05 or 2027-01-05T14:00.";
        return false;
    }
    return true;
}

bool TakeRepeat(const nlohmann::json& body, Plan& plan, std::string& error) {
    auto it = body.find("repeat");
    if (it == body.end() || it->is_null()) return true;
    const nlohmann::json& r = *it;
    auto days = r.find("weekdays");
    if (!r.is_object() || days == r.end() || !days->is_array()) {
        error = "A repeat needs its weekdays, as [\"mon\", \"fri\"].";
        return false;
    }
    plan.repeats = true;
    for (const auto& day : *days) {
        int found = -1;
        for (int d = 0; d < 7 && day.is_string(); ++d)
            if (AsciiLower(day.get<std::string>()) == WeekdayNames[d]) found = d;
        if (found < 0) {
            error = "A repeat's weekdays are mon, tue, wed, thu, fri, sat and sun.";
            return false;
        }
        plan.repeat.weekdays |= 1u << found;
    }
    auto every = r.find("every");
    plan.repeat.every = every != r.end() && every->is_number_integer() ? every->get<int>() : every == r.end() ? 1 : 0;
    bool dateOnly = false;
    if (r.contains("until") && !r["until"].is_null()) {
        if (!TakeStamp(r, "until", plan.repeat.until, dateOnly, error)) return false;
        plan.repeat.hasUntil = true;
    }
    auto except = r.find("except");
    if (except != r.end() && !except->is_null()) {
        for (const auto& day : except->is_array() ? *except : nlohmann::json::array({nullptr})) {
            LocalStamp stamp;
            if (!day.is_string() || !ParseLocalStamp(day.get<std::string>(), stamp, dateOnly) || !dateOnly) {
                error = "A repeat leaves out dates, as [\"2027-01-01\"].";
                return false;
            }
            plan.repeat.except.push_back(stamp);
        }
    }
    return true;
}

// Whether the request may read plans: status 0 when it may.
WebResponse ReadRights(const WebRequest& request, const WebSources& sources) {
    const UpdateSettings settings = sources.updates ? sources.updates() : UpdateSettings();
    WebResponse may;
    may.status = 0;
    if (!sources.plans || !settings.on) return Refusal(404);
    if (sources.signIn) {
        SignedIn who;
        return !request.session.empty() && sources.signIn->session(request.session, who)
                   ? may
                   : JsonAnswer(401, "Sign in first.");
    }
    if (settings.code.empty()) return may;
    if (std::int64_t waitMs = sources.guard ? sources.guard->ShutFor(request.peer, request.steadyMs) : 0) {
        WebResponse response = JsonAnswer(429, "Too many wrong codes; try again in a minute.");
        response.headers.push_back({"Retry-After", std::to_string((waitMs + 999) / 1000)});
        return response;
    }
    if (request.codeHeader.empty()) return JsonAnswer(403, "The plans need the board's code.");
    if (!CodesEqual(FromUtf8(request.codeHeader), settings.code)) {
        if (sources.guard) sources.guard->Wrong(request.peer, request.steadyMs);
        return JsonAnswer(403, "The code is wrong.");
    }
    return may;
}

// Whether a change to `name`'s plans may be made: status 0, with the author
// (empty under the code's rules).
WebResponse ChangeRights(const WebRequest& request, const WebSources& sources, const std::string& name,
                         const std::string& code, std::string& author) {
    const UpdateSettings settings = sources.updates();
    if (sources.signIn) {
        SignedIn who;
        WebResponse refused = ChangeRefusal(request, sources, name, false, who);
        author = who.name;
        return refused;
    }
    WebResponse may;
    may.status = 0;
    if (!settings.code.empty() && !CodesEqual(code, settings.code)) {
        if (sources.guard) sources.guard->Wrong(request.peer, request.steadyMs);
        return JsonAnswer(403, "The code is wrong.");
    }
    return may;
}

std::int64_t IdOf(const std::string& path) {
    const std::string digits = path.substr(7);
    if (digits.empty() || digits.size() > 15 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::stoll(digits);
}

}  // namespace

bool IsPlansRoute(const std::string& path) { return path == "/plans" || path.compare(0, 7, "/plans/") == 0; }

bool IsPlanChange(const WebRequest& request) {
    const std::string path = PathOf(request);
    return (request.method == "POST" && path == "/plans") ||
           ((request.method == "PUT" || request.method == "DELETE") && path.compare(0, 7, "/plans/") == 0);
}

bool ParsePlanBody(const std::string& text, Plan& plan, std::string& code, std::string& error) {
    nlohmann::json body;
    if (!ParseJsonObject(text, body, error) || !TakeCode(body, code, error) || !TakeName(body, plan.name, error))
        return false;
    bool startDate = false, endDate = false;
    if (!TakeStamp(body, "start", plan.start, startDate, error) || !TakeStamp(body, "end", plan.end, endDate, error))
        return false;
    if (startDate != endDate) {
        error = "The start and the end are both dates, or both dates and times.";
        return false;
    }
    plan.allDay = startDate;
    auto status = body.find("status");
    plan.status = status != body.end() && status->is_number_integer() ? status->get<std::int32_t>() : 0;
    if (!TakeText(body, "message", "message", StatusRecord::MessageSize - 1, false, plan.message, error) ||
        !TakeRepeat(body, plan, error))
        return false;
    error = PlanProblem(plan);
    return error.empty();
}

std::string PlansJson(const std::vector<Plan>& plans, std::int64_t fromMs, std::int64_t toMs) {
    nlohmann::json list = nlohmann::json::array();
    for (const Plan& p : plans) {
        nlohmann::json j = {{"id", p.id},
                            {"name", Windows1252ToUtf8(p.name)},
                            {"start", LocalText(p.start, p.allDay)},
                            {"end", LocalText(p.end, p.allDay)},
                            {"allDay", p.allDay},
                            {"status", p.status},
                            {"word", StatusName(p.status)},
                            {"message", Windows1252ToUtf8(p.message)},
                            {"source", p.source}};
        if (!p.author.empty()) j["by"] = Windows1252ToUtf8(p.author);
        if (p.repeats) {
            nlohmann::json days = nlohmann::json::array(), except = nlohmann::json::array();
            for (int d = 0; d < 7; ++d)
                if (p.repeat.weekdays & (1u << d)) days.push_back(WeekdayNames[d]);
            for (const LocalStamp& day : p.repeat.except) except.push_back(LocalText(day, true));
            j["repeat"] = {{"weekdays", days}, {"every", p.repeat.every}, {"except", except}};
            if (p.repeat.hasUntil) j["repeat"]["until"] = LocalText(p.repeat.until, true);
        }
        nlohmann::json times = nlohmann::json::array();
        for (const Occurrence& o : Occurrences(p, fromMs, toMs, 100)) times.push_back({o.startMs, o.endMs});
        j["times"] = times;
        list.push_back(j);
    }
    return nlohmann::json{{"plans", list}}.dump();
}

WebResponse PlansAnswer(const WebRequest& request, const WebSources& sources) {
    if (request.method != "GET" && request.method != "HEAD") return Refusal(405);
    WebResponse refused = ReadRights(request, sources);
    if (refused.status != 0) return refused;
    std::string name, from, to;
    QueryValue(request.target, "name", name);
    std::int64_t fromMs = WallMs() - DayMs, toMs = 0;
    if (QueryValue(request.target, "from", from) && !LocalTimeMs(from, fromMs))
        return JsonAnswer(400, "from must be a date or a date and time, as 2027-01-05.");
    toMs = fromMs + 15 * DayMs;
    if (QueryValue(request.target, "to", to) && !LocalTimeMs(to, toMs))
        return JsonAnswer(400, "to must be a date or a date and time, as 2027-01-19.");
    if (toMs - fromMs > 62 * DayMs) toMs = fromMs + 62 * DayMs;  // two months of times at most
    WebResponse response;
    response.contentType = "application/json";
    response.body = PlansJson(sources.plans->list(FromUtf8(name)), fromMs, toMs);
    return response;
}

WebResponse PlanChangeAnswer(const WebRequest& request, const WebSources& sources) {
    if (!sources.plans) return Refusal(404);
    const std::string path = PathOf(request);
    const std::int64_t id = request.method == "POST" ? 0 : IdOf(path);
    Plan before;
    if (request.method != "POST" && (!id || !sources.plans->find(id, before)))
        return JsonAnswer(404, "There is no such plan.");
    Plan plan;
    std::string code, error, author;
    if (request.method == "DELETE") {
        nlohmann::json body;
        if (!request.body.empty() && (!ParseJsonObject(request.body, body, error) || !TakeCode(body, code, error)))
            return JsonAnswer(400, error);
    } else if (!ParsePlanBody(request.body, plan, code, error)) {
        return JsonAnswer(400, error);
    } else if (request.method == "POST" && LastEndMs(plan) >= 0 && LastEndMs(plan) <= WallMs()) {
        // Taken, it would never show and never be listed: said instead. An edit may still end one now.
        return JsonAnswer(400, "That plan has already ended.");
    }
    // A person's own plans, or reception anyone's: the plan as it was and as it would be.
    for (const Plan* p : {id ? &before : nullptr, request.method == "DELETE" ? nullptr : &plan}) {
        if (!p) continue;
        WebResponse refused = ChangeRights(request, sources, p->name, code, author);
        if (refused.status != 0) return refused;
    }
    if (request.method == "DELETE") {
        if (!sources.plans->remove(id, error)) return JsonAnswer(503, "The plan cannot be deleted right now: " + error);
        return JsonAnswer(200, "");
    }
    plan.id = id;
    plan.source = id ? before.source : "page";
    plan.author = author;
    plan.createdMs = id ? before.createdMs : WallMs();
    if (!sources.plans->put(plan, error)) return JsonAnswer(503, "The plan cannot be kept right now: " + error);
    WebResponse response;
    response.status = id ? 200 : 201;
    response.contentType = "application/json";
    response.body = nlohmann::json{{"id", plan.id}}.dump();
    return response;
}

bool IsCalendarRoute(const std::string& path) { return path.compare(0, 10, "/calendar/") == 0; }

bool IsCalendarLinkRoute(const WebRequest& request) {
    return request.method == "POST" && PathOf(request) == "/calendar-link";
}

std::string FeedOfPath(const std::string& path) {
    const std::string ics = ".ics";
    if (path.size() < 14 || path.compare(path.size() - 4, 4, ics) != 0) return std::string();
    const std::string inner = path.substr(10, path.size() - 14);
    if (inner == "office") return "office";
    for (const char* kind : {"group", "person"}) {
        const std::string prefix = std::string(kind) + "/";
        std::string name;
        if (inner.compare(0, prefix.size(), prefix) != 0 ||
            !QueryValue("?n=" + inner.substr(prefix.size()), "n", name) || name.empty())
            continue;
        return kind + std::string(":") + AsciiLower(FromUtf8(name));
    }
    return std::string();
}

WebResponse CalendarAnswer(const WebRequest& request, const WebSources& sources) {
    if (!sources.plans || !sources.plans->feedOf) return Refusal(404);
    const std::string feed = FeedOfPath(PathOf(request));
    std::string key;
    // The key is the whole of the right: calendars cannot sign in. Guessed keys are guarded as codes are.
    if (std::int64_t waitMs = sources.guard ? sources.guard->ShutFor(request.peer, request.steadyMs) : 0) {
        WebResponse response = JsonAnswer(429, "Too many wrong keys; try again in a minute.");
        response.headers.push_back({"Retry-After", std::to_string((waitMs + 999) / 1000)});
        return response;
    }
    if (feed.empty() || !QueryValue(request.target, "key", key) || key.size() != 64 ||
        sources.plans->feedOf(key) != feed) {
        if (sources.guard && !feed.empty()) sources.guard->Wrong(request.peer, request.steadyMs);
        return Refusal(404);
    }
    std::vector<Plan> plans;
    const std::string name = feed.substr(feed.find(':') + 1);
    if (feed == "office") {
        plans = sources.plans->list(std::string());
    } else if (feed.compare(0, 6, "group:") == 0) {
        for (const Plan& p : sources.plans->list(std::string()))
            if (AsciiLower(sources.plans->groupOf(p.name)) == name) plans.push_back(p);
    } else {
        plans = sources.plans->list(name);
    }
    CalendarFeed calendar;
    calendar.title = "Pegora: " + (feed == "office" ? std::string("the office") : Windows1252ToUtf8(name));
    calendar.host = request.host.substr(
        0, request.host.rfind(':') == std::string::npos ? request.host.size() : request.host.rfind(':'));
    if (calendar.host.empty()) calendar.host = "pegora";
    calendar.nowMs = WallMs();
    calendar.called = sources.plans->called;
    WebResponse response;
    response.contentType = "text/calendar; charset=utf-8";
    response.body = CalendarText(calendar, plans);
    response.headers.push_back({"Content-Disposition", "inline; filename=\"pegora.ics\""});
    return response;
}

WebResponse CalendarLinkAnswer(const WebRequest& request, const WebSources& sources) {
    if (!sources.plans || !sources.plans->newKey) return Refusal(404);
    nlohmann::json body;
    std::string name, code, error, author, key;
    if (!ParseJsonObject(request.body, body, error) || !TakeCode(body, code, error) || !TakeName(body, name, error))
        return JsonAnswer(400, error);
    WebResponse refused = ChangeRights(request, sources, name, code, author);
    if (refused.status != 0) return refused;
    if (!sources.plans->newKey("person:" + AsciiLower(name), key))
        return JsonAnswer(503, "The calendar's address cannot be made right now; try again.");
    WebResponse response;
    response.contentType = "application/json";
    std::string encoded;
    for (unsigned char ch : Windows1252ToUtf8(AsciiLower(name))) {
        static const char hex[] = "0123456789ABCDEF";
        if (std::isalnum(ch) || ch == '-' || ch == '.' || ch == '_' || ch == '~')
            encoded += static_cast<char>(ch);
        else
            encoded += std::string("%") + hex[ch >> 4] + hex[ch & 15];
    }
    const std::string path = "/calendar/person/" + encoded + ".ics?key=" + key;
    response.body = nlohmann::json{{"address", (request.secure ? "https://" : "http://") + request.host + path}}.dump();
    return response;
}

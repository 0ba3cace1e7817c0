// Plans over the web view: GET /plans, POST /plans, PUT and DELETE /plans/ID,
// with the rights of /status (the update code, or the session where people
// sign in), and the plan a row shows next.
#pragma once

#include <functional>
#include <vector>

#include "Plan.h"
#include "WebRoutes.h"

// What the routes ask of the board's plans; null where the board keeps none.
struct PlanDesk {
    std::function<std::vector<Plan>(const std::string& name)> list;  // empty name: everybody's
    std::function<bool(std::int64_t id, Plan& plan)> find;
    std::function<bool(Plan& plan, std::string& error)> put;  // a new id given when it has none
    std::function<bool(std::int64_t id, std::string& error)> remove;
    // Calendar feeds: the feed a key opens ("office", "group:name", "person:name",
    // names in lower case; empty: none), a new key for a feed, and the names a
    // row's key and group are known by (UTF-8).
    std::function<std::string(const std::string& key)> feedOf;
    std::function<bool(const std::string& feed, std::string& key)> newKey;
    std::function<std::string(const std::string&name)> called, groupOf;
};

// GET /calendar/office.ics, /calendar/group/NAME.ics, /calendar/person/NAME.ics, each ?key=.
bool IsCalendarRoute(const std::string& path);
WebResponse CalendarAnswer(const WebRequest& request, const WebSources& sources);
// POST /calendar-link: a person's own feed's address, with the rights of a change.
bool IsCalendarLinkRoute(const WebRequest& request);
WebResponse CalendarLinkAnswer(const WebRequest& request, const WebSources& sources);
// The feed a calendar path names, or empty.
std::string FeedOfPath(const std::string& path);

bool IsPlansRoute(const std::string& path);
// A change to plans: POST /plans, PUT or DELETE /plans/ID.
bool IsPlanChange(const WebRequest& request);
WebResponse PlansAnswer(const WebRequest& request, const WebSources& sources);
WebResponse PlanChangeAnswer(const WebRequest& request, const WebSources& sources);

// A plan from its JSON (UTF-8 in, Windows-1252 kept), as POST /plans takes it;
// false with the sentence the page shows.
bool ParsePlanBody(const std::string& body, Plan& plan, std::string& code, std::string& error);
// {"id","name","start","end","allDay","status","word","message"[,"repeat"],"source"[,"by"],
//  "times":[[startMs,endMs]...] within [fromMs, toMs)}
std::string PlansJson(const std::vector<Plan>& plans, std::int64_t fromMs, std::int64_t toMs);

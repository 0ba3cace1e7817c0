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
};

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

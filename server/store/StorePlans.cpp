// Plans in the store: written as the office wrote them, local dates and
// times, so that the zone's rules apply at each use.
#include <sstream>

#include "AsciiText.h"
#include "BoardStore.h"
#include "StoreStatement.h"

namespace {

std::string ExceptText(const PlanRepeat& r) {
    std::string text;
    for (const LocalStamp& day : r.except) text += (text.empty() ? "" : ",") + LocalText(day, true);
    return text;
}

}  // namespace

bool BoardStore::PutPlan(Plan& plan, std::string& error) {
    Statement put(db,
                  "INSERT OR REPLACE INTO plans(id, name_key, name, start, end, all_day, status, message, weekdays,"
                  " every, until, except_days, source, author, created_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                  " ?, ?, ?)");
    if (put) {
        if (plan.id)
            put.Number(1, plan.id);
        else
            put.Null(1);
        put.Blob(2, AsciiLower(plan.name)).Blob(3, plan.name);
        put.Text(4, LocalText(plan.start, plan.allDay)).Text(5, LocalText(plan.end, plan.allDay));
        put.Number(6, plan.allDay).Number(7, plan.status).Blob(8, plan.message);
        put.Number(9, plan.repeats ? plan.repeat.weekdays : 0).Number(10, plan.repeat.every);
        put.Text(11, plan.repeats && plan.repeat.hasUntil ? LocalText(plan.repeat.until, true) : std::string());
        put.Text(12, plan.repeats ? ExceptText(plan.repeat) : std::string());
        put.Text(13, plan.source).Blob(14, plan.author).Number(15, plan.createdMs);
    }
    if (!put || put.Step() != SQLITE_DONE) {
        error = Why(db);
        return false;
    }
    if (!plan.id) plan.id = sqlite3_last_insert_rowid(db);
    return true;
}

bool BoardStore::DeletePlan(std::int64_t id, std::string& error) {
    Statement remove(db, "DELETE FROM plans WHERE id = ?");
    if (remove && remove.Number(1, id).Step() == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

bool BoardStore::LoadPlans(std::vector<Plan>& plans, std::string& error) {
    Statement select(db,
                     "SELECT id, name, start, end, all_day, status, message, weekdays, every, until, except_days,"
                     " source, author, created_ms FROM plans ORDER BY id");
    if (!select) {
        error = Why(db);
        return false;
    }
    plans.clear();
    int rc;
    while ((rc = select.Step()) == SQLITE_ROW) {
        Plan p;
        bool dateOnly = false;
        p.id = select.Int(0);
        p.name = select.Bytes(1);
        const bool good =
            ParseLocalStamp(select.Bytes(2), p.start, dateOnly) && ParseLocalStamp(select.Bytes(3), p.end, dateOnly);
        p.allDay = select.Int(4) != 0;
        p.status = static_cast<std::int32_t>(select.Int(5));
        p.message = select.Bytes(6);
        p.repeat.weekdays = static_cast<unsigned>(select.Int(7));
        p.repeats = p.repeat.weekdays != 0;
        p.repeat.every = static_cast<int>(select.Int(8));
        p.repeat.hasUntil = ParseLocalStamp(select.Bytes(9), p.repeat.until, dateOnly);
        std::istringstream days(select.Bytes(10));
        for (std::string day; std::getline(days, day, ',');) {
            LocalStamp stamp;
            if (ParseLocalStamp(day, stamp, dateOnly)) p.repeat.except.push_back(stamp);
        }
        p.source = select.Bytes(11);
        p.author = select.Bytes(12);
        p.createdMs = select.Int(13);
        // A plan changed by hand into nonsense is left in the file, not shown.
        if (good && PlanProblem(p).empty()) plans.push_back(p);
    }
    if (rc == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

bool BoardStore::PutPlans(std::vector<Plan>& plans, std::int64_t nowMs, std::string& error) {
    if (!Exec("BEGIN IMMEDIATE;", error)) return false;
    bool good = true;
    for (Plan& plan : plans) good = good && PutPlan(plan, error);
    Statement mark(db, "INSERT OR REPLACE INTO marks(name, ms) VALUES ('plans_changed', ?)");
    good = good && mark && mark.Number(1, nowMs).Step() == SQLITE_DONE;
    if (good && Exec("COMMIT;", error)) {
        // Written through at once, so a large import leaves no large journal behind.
        sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        return true;
    }
    if (!good && error.empty()) error = Why(db);
    std::string ignored;
    Exec("ROLLBACK;", ignored);
    return false;
}

bool BoardStore::PlansChangedMs(std::int64_t& ms, std::string& error) {
    Statement select(db, "SELECT ms FROM marks WHERE name = 'plans_changed'");
    const int rc = select ? select.Step() : SQLITE_ERROR;
    ms = rc == SQLITE_ROW ? select.Int(0) : 0;
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
    error = Why(db);
    return false;
}

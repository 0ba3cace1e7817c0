#include "PlanKeeper.h"

#include "AsciiText.h"
#include "PasswordHash.h"

PlanKeeper::PlanKeeper(BoardServer& board_, std::chrono::steady_clock::duration speaking_)
    : board(board_), speaking(speaking_) {}

bool PlanKeeper::Open(const std::string& path, std::string& error) {
    std::unique_ptr<BoardStore> opened = BoardStore::Connect(path, error);
    std::vector<Plan> plans;
    if (!opened || !opened->LoadPlans(plans, error) || !opened->PlansChangedMs(changedMs, error)) return false;
    const std::int64_t now = WallMs();
    std::lock_guard<std::mutex> guard(lock);
    store = std::move(opened);
    for (const Plan& p : plans) book.Put(p, now);
    // A time that began while the board was stopped shows at the first tick, unless already shown.
    Plan holding;
    Occurrence when;
    std::set<std::string> names;
    for (const Plan& p : plans) names.insert(AsciiLower(p.name));
    for (const std::string& name : names)
        if (book.Holding(name, now, holding, when)) waiting.insert(holding.name);
    return true;
}

bool PlanKeeper::Put(Plan& plan, std::string& error) {
    std::lock_guard<std::mutex> guard(lock);
    const Plan* before = plan.id ? book.Find(plan.id) : nullptr;
    const std::string was = before ? before->name : std::string();
    if (!store || !store->PutPlan(plan, error)) return false;
    book.Put(plan, WallMs());
    Changed(plan.name);
    if (!was.empty()) Changed(was);
    return true;
}

bool PlanKeeper::Delete(std::int64_t id, std::string& error) {
    std::lock_guard<std::mutex> guard(lock);
    const Plan* plan = book.Find(id);
    if (!plan) return true;
    const std::string name = plan->name;
    if (!store || !store->DeletePlan(id, error)) return false;
    book.Remove(id);
    Changed(name);
    return true;
}

bool PlanKeeper::Find(std::int64_t id, Plan& plan) const {
    std::lock_guard<std::mutex> guard(lock);
    const Plan* found = book.Find(id);
    if (found) plan = *found;
    return found != nullptr;
}

std::vector<Plan> PlanKeeper::Of(const std::string& name) const {
    std::lock_guard<std::mutex> guard(lock);
    return book.Of(name);
}

bool PlanKeeper::Next(const std::string& name, std::int64_t nowMs, Plan& plan, Occurrence& occurrence) const {
    std::lock_guard<std::mutex> guard(lock);
    auto it = nextPlans.find(AsciiLower(name));
    // Kept a day ahead: made for 15 days, told for 14.
    if (it == nextPlans.end() || it->second.occurrence.startMs <= nowMs ||
        it->second.occurrence.startMs > nowMs + NextPlanDays * 86400000LL)
        return false;
    plan = it->second.plan;
    occurrence = it->second.occurrence;
    return true;
}

void PlanKeeper::MakeNext(std::int64_t nowMs) {
    // Everybody's at a new day or when plans were read again; otherwise only the people whose plans changed.
    std::set<std::string> names;
    if (nextStale) {
        nextPlans.clear();
        for (const Plan& p : book.Of(std::string())) names.insert(AsciiLower(p.name));
        nextDay = UtcToLocal(nowMs).Days();
    } else {
        for (const std::string& name : nextWaiting) names.insert(AsciiLower(name));
    }
    NextOne next;
    for (const std::string& name : names) {
        if (book.Next(name, nowMs, (NextPlanDays + 1) * 86400000LL, next.plan, next.occurrence))
            nextPlans[name] = next;
        else
            nextPlans.erase(name);
    }
    nextStale = false;
    nextWaiting.clear();
}

void PlanKeeper::Changed(const std::string& name) {
    waiting.insert(name);
    nextWaiting.insert(name);
}

std::size_t PlanKeeper::Size() const {
    std::lock_guard<std::mutex> guard(lock);
    return book.Size();
}

void PlanKeeper::ReadAgain(std::int64_t nowMs) {
    std::int64_t mark = 0;
    std::vector<Plan> plans;
    std::string error;
    if (!store || !store->PlansChangedMs(mark, error) || mark == changedMs || !store->LoadPlans(plans, error)) return;
    changedMs = mark;
    nextStale = true;
    for (const Plan& p : book.Of(std::string())) waiting.insert(p.name);
    book = PlanBook();
    for (const Plan& p : plans) {
        book.Put(p, nowMs);
        waiting.insert(p.name);
    }
}

void PlanKeeper::Tick(std::int64_t nowMs, std::int64_t forgetBeforeMs) {
    std::lock_guard<std::mutex> guard(lock);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastLook >= std::chrono::seconds(5)) {
        lastLook = now;
        ReadAgain(nowMs);
    }
    for (const PlanEvent& event : book.Due(nowMs))
        if (const Plan* plan = book.Find(event.planId)) Changed(plan->name);
    if (UtcToLocal(nowMs).Days() != nextDay) nextStale = true;  // a new day
    if (nextStale || !nextWaiting.empty()) MakeNext(nowMs);
    if (forgetBeforeMs > 0) {
        std::string error;
        for (std::int64_t id : book.Forget(forgetBeforeMs))
            if (store) store->DeletePlan(id, error);
    }
    if (waiting.empty() && started) return;
    TableHold hold(board.tableLock, std::chrono::milliseconds(50));
    if (!hold) return;  // the next tick tries again
    // Every row's index by its name once a tick, not a search of the table per name.
    std::unordered_map<std::string, std::size_t> rows;
    const std::size_t count = static_cast<std::size_t>(board.table.RowCount());
    for (std::size_t i = 0; i < count; ++i) {
        rows.emplace(AsciiLower(board.table.Row(i).Name()), i);
        // At the start: a plan's word whose time ended while the board was stopped goes back now.
        if (!started && board.table.Word(i).source == RowSource::Plan) waiting.insert(board.table.Row(i).Name());
    }
    started = true;
    std::vector<std::string> gone;
    for (const std::string& name : waiting) Reconcile(name, nowMs, rows, gone);
    for (const std::string& name : gone) board.table.Remove(name);
    if (board.boardChanged && !waiting.empty()) board.boardChanged();
    waiting.clear();
}

void PlanKeeper::Reconcile(const std::string& name, std::int64_t nowMs,
                           std::unordered_map<std::string, std::size_t>& rows, std::vector<std::string>& gone) {
    // The row shows the plan whose time holds now, or goes back from one that no longer does.
    Plan plan;
    Occurrence when;
    const bool holding = book.Holding(name, nowMs, plan, when);
    auto found = rows.find(AsciiLower(name));
    auto tell = [this](RowChange change) {
        change.fromPlan = true;
        if (board.rowChanged) board.rowChanged(change);
    };
    if (found != rows.end()) {
        const std::size_t at = found->second;
        const RowWord& word = board.table.Word(at);
        const bool same = holding && word.planId == plan.id && word.planStartMs == when.startMs;
        if (word.source == RowSource::Plan && !same) {
            RowChange change;
            change.before = board.table.Row(at);
            const PlanEnd end = board.table.EndPlanAt(at, word.planId, word.planStartMs, speaking, nowMs);
            change.removed = end == PlanEnd::Gone;
            change.after = change.removed ? change.before : board.table.Row(at);
            if (end != PlanEnd::NotShown) tell(change);
            if (change.removed && !holding) gone.push_back(name);
        }
    }
    if (!holding) return;
    StatusRecord record;
    record.SetName(plan.name);
    record.SetStatus(plan.status);
    record.SetMessage(plan.message);
    RowChange change;
    change.added = found == rows.end();
    bool shown = false;
    if (change.added) {
        bool added = false;
        shown = board.table.StartPlan(record, plan.id, when.startMs, when.endMs, plan.author, added);
        rows[AsciiLower(name)] = static_cast<std::size_t>(board.table.RowCount() - 1);
    } else {
        change.before = board.table.Row(found->second);
        shown = board.table.StartPlanAt(found->second, record, plan.id, when.startMs, when.endMs, plan.author);
    }
    if (!shown) return;
    change.after = record;
    change.author = plan.author;
    tell(change);
}

std::string PlanKeeper::FeedOf(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock);
    std::string feed, error;
    if (!store || !store->CalendarFeedOf(Sha256(key), feed, error)) return std::string();
    return feed;
}

bool PlanKeeper::NewKey(const std::string& feed, bool replace, std::string& key) const {
    std::string random, error;
    if (!RandomBytes(32, random)) return false;
    key = HexOf(random);
    std::lock_guard<std::mutex> guard(lock);
    return store && store->AddCalendarKey(Sha256(key), feed, WallMs(), replace, error);
}

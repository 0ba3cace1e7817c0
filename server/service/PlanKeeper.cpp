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
    // A time that began while the board was stopped shows at the first tick, unless already shown.
    for (const Plan& p : plans) {
        book.Put(p, now);
        waiting.insert(p.name);
    }
    return true;
}

bool PlanKeeper::Put(Plan& plan, std::string& error) {
    std::lock_guard<std::mutex> guard(lock);
    const Plan* before = plan.id ? book.Find(plan.id) : nullptr;
    const std::string was = before ? before->name : std::string();
    if (!store || !store->PutPlan(plan, error)) return false;
    book.Put(plan, WallMs());
    if (!was.empty()) waiting.insert(was);
    waiting.insert(plan.name);
    return true;
}

bool PlanKeeper::Delete(std::int64_t id, std::string& error) {
    std::lock_guard<std::mutex> guard(lock);
    const Plan* plan = book.Find(id);
    if (!plan) return true;
    const std::string name = plan->name;
    if (!store || !store->DeletePlan(id, error)) return false;
    book.Remove(id);
    waiting.insert(name);
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
    return book.Next(name, nowMs, NextPlanDays * 86400000LL, plan, occurrence);
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
        if (const Plan* plan = book.Find(event.planId)) waiting.insert(plan->name);
    if (forgetBeforeMs > 0) {
        std::string error;
        for (std::int64_t id : book.Forget(forgetBeforeMs))
            if (store) store->DeletePlan(id, error);
    }
    if (waiting.empty()) return;
    TableHold hold(board.tableLock, std::chrono::milliseconds(50));
    if (!hold) return;  // the next tick tries again
    for (const std::string& name : waiting) Reconcile(name, nowMs);
    waiting.clear();
    if (board.boardChanged) board.boardChanged();
}

void PlanKeeper::Reconcile(const std::string& name, std::int64_t nowMs) {
    // Under tableLock: the row shows the plan whose time holds now, or goes back from one that no longer does.
    Plan plan;
    Occurrence when;
    const bool holding = book.Holding(name, nowMs, plan, when);
    const std::int32_t at = board.table.Find(name);
    auto tell = [this](RowChange change) {
        change.fromPlan = true;
        if (board.rowChanged) board.rowChanged(change);
    };
    if (at >= 0) {
        const RowWord& word = board.table.Word(static_cast<std::size_t>(at));
        const bool same = holding && word.planId == plan.id && word.planStartMs == when.startMs;
        if (word.source == RowSource::Plan && !same) {
            RowChange change;
            change.before = board.table.Row(static_cast<std::size_t>(at));
            const PlanEnd end = board.table.EndPlan(name, word.planId, word.planStartMs, speaking, nowMs);
            change.removed = end == PlanEnd::Gone;
            change.after = change.removed ? change.before : board.table.Row(static_cast<std::size_t>(at));
            if (end != PlanEnd::NotShown) tell(change);
        }
    }
    if (!holding) return;
    StatusRecord record;
    record.SetName(plan.name);
    record.SetStatus(plan.status);
    record.SetMessage(plan.message);
    RowChange change;
    const std::int32_t now = board.table.Find(name);
    if (now >= 0) change.before = board.table.Row(static_cast<std::size_t>(now));
    if (!board.table.StartPlan(record, plan.id, when.startMs, when.endMs, plan.author, change.added)) return;
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

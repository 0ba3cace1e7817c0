#include "StaffRefresher.h"

#include <algorithm>

#include "BoardClock.h"

namespace {

const std::size_t ProblemsSaid = 5;
const std::chrono::seconds StopWait{2};

}  // namespace

StaffRefresher::StaffRefresher(StaffDirectory& directory_, StaffSource source_, StaffKeeper keeper_,
                               std::chrono::minutes interval_, Say say_)
    : directory(directory_),
      source(std::make_shared<const StaffSource>(std::move(source_))),
      keeper(std::make_shared<const StaffKeeper>(std::move(keeper_))),
      interval(interval_),
      say(std::move(say_)),
      shared(std::make_shared<Shared>()) {}

StaffRefresher::~StaffRefresher() { Stop(); }

StaffRefresher::Outcome StaffRefresher::ReadFrom(const StaffSource& source) {
    Outcome outcome;
    if (source.signature) outcome.signature = source.signature();
    outcome.read = source.read(outcome.list, outcome.problems, outcome.error);
    return outcome;
}

bool StaffRefresher::Take(Outcome outcome, bool asked, std::unique_ptr<StaffList>& toKeep) {
    const std::size_t skipped = std::max(outcome.list.unreadable, outcome.problems.size());
    auto problems = [this, skipped](const std::vector<std::string>& lines) {
        for (std::size_t i = 0; i < lines.size() && i < ProblemsSaid; ++i) say(true, lines[i]);
        if (skipped > ProblemsSaid)
            say(true, std::to_string(skipped - ProblemsSaid) + " more lines of " + source->name + " skipped");
    };
    std::string error;
    if (outcome.read) {
        const std::string summary = StaffSummary(outcome.list, source->name);
        std::unique_ptr<StaffList> kept(keeper->keep ? new StaffList(outcome.list) : nullptr);
        if (directory.Took(std::move(outcome.list), WallMs(), asked, error)) {
            toKeep = std::move(kept);
            say(false, summary);
            problems(outcome.problems);
            lastSignature = outcome.signature;
            lastError.clear();
            return true;
        }
        // Said once, with the lines it could not read, until something changes.
        if (error != lastError) {
            say(true, summary + "; not taken: " + error);
            problems(outcome.problems);
        }
    } else {
        error = outcome.error.detail;
        directory.Failed(outcome.error.shown.empty() ? error : outcome.error.shown, WallMs());
        // Once per distinct error; the last good list stays.
        if (error != lastError)
            say(true, "directory: " + error + "; the last list is kept and tried again in a minute");
    }
    lastError = error;
    return false;
}

void StaffRefresher::Restore() {
    StaffList list;
    std::int64_t readMs = 0;
    if (!keeper->restore || !keeper->restore(list, readMs)) return;
    say(false, "directory: the last good list of " + std::to_string(list.people.size()) + " people, from " +
                   keeper->where + ", serves until the source has been read");
    directory.Restore(std::move(list), readMs);
}

void StaffRefresher::Start() {
    Restore();
    const std::shared_ptr<Shared> s = shared;
    const std::shared_ptr<const StaffSource> from = source;
    const std::shared_ptr<const StaffKeeper> store = keeper;
    const std::chrono::minutes every = interval;
    thread = std::thread([this, s, from, store, every]() mutable {
        bool now = true, failing = false;
        // Members are touched only under the lock and while not stopping: a
        // refresher left behind by Stop reads its source and then goes.
        auto due = std::chrono::steady_clock::now() + every;
        std::unique_lock<std::mutex> guard(s->lock);
        while (!s->stopping) {
            if (!now) s->wake.wait_for(guard, std::chrono::minutes(1), [&] { return s->stopping || s->requested; });
            if (s->stopping) break;
            const bool asked = s->requested, first = now;
            now = s->requested = false;
            const std::string seen = lastSignature;
            guard.unlock();
            const auto at = std::chrono::steady_clock::now();
            const bool changed = from->signature && from->signature() != seen;
            if (first || asked || at >= due || failing || changed) {
                Outcome outcome = ReadFrom(*from);
                guard.lock();
                if (s->stopping) break;
                std::unique_ptr<StaffList> toKeep;
                failing = !Take(std::move(outcome), asked, toKeep);
                due = at + every;
                if (!toKeep) continue;
                // Written outside the lock, so that a stop's wait stays bounded.
                guard.unlock();
                std::string keepError;
                const bool written = store->keep(*toKeep, WallMs(), keepError);
                guard.lock();
                if (s->stopping) break;
                // Once per distinct error; the list serves from memory.
                if (!written && keepError != lastKeepError)
                    say(true, "directory: cannot keep the list in " + store->where + ": " + keepError);
                lastKeepError = written ? std::string() : keepError;
            } else {
                guard.lock();
            }
        }
        s->finished = true;
        s->wake.notify_all();
    });
}

void StaffRefresher::Stop() {
    std::unique_lock<std::mutex> guard(shared->lock);
    shared->stopping = true;
    shared->wake.notify_all();
    if (!thread.joinable()) return;
    const bool ended = shared->wake.wait_for(guard, StopWait, [this] { return shared->finished; });
    guard.unlock();
    if (ended)
        thread.join();
    else
        thread.detach();
}

void StaffRefresher::Request() {
    {
        std::lock_guard<std::mutex> guard(shared->lock);
        shared->requested = true;
    }
    shared->wake.notify_all();
}

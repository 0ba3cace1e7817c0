// The service's plans: kept in the store, indexed in a PlanBook, and carried
// into the board's rows when a plan's time starts or ends, the way a desk's
// record is carried in: under tableLock, the change told to the log and the
// history. The web view's routes change plans from their own thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "BoardServer.h"
#include "BoardStore.h"
#include "PlanBook.h"

// What the row shows next, for the web view: within this many days.
const int NextPlanDays = 14;

class PlanKeeper {
public:
    // `speaking`: a desk heard within it still speaks when a plan ends.
    PlanKeeper(BoardServer& board, std::chrono::steady_clock::duration speaking);
    // Its own connection to the database, and the plans read from it.
    bool Open(const std::string& path, std::string& error);
    // The starts and ends that came, carried into the rows; plans whose last
    // time ended before `forgetBeforeMs` dropped (0: none).
    void Tick(std::int64_t nowMs, std::int64_t forgetBeforeMs = 0);

    // From any thread: a plan added (its id given) or replaced, or deleted.
    // False with the store's error; the rows follow at the next tick.
    bool Put(Plan& plan, std::string& error);
    bool Delete(std::int64_t id, std::string& error);
    bool Find(std::int64_t id, Plan& plan) const;
    std::vector<Plan> Of(const std::string& name) const;
    // From the list the ticks keep: the web view asks for every row at every poll.
    bool Next(const std::string& name, std::int64_t nowMs, Plan& plan, Occurrence& occurrence) const;
    std::size_t Size() const;
    // Calendar feeds' keys, kept hashed: the feed a key opens (empty: none), and a new key for a feed.
    std::string FeedOf(const std::string& key) const;
    bool NewKey(const std::string& feed, bool replace, std::string& key) const;

private:
    // Under tableLock; `rows`: each row's index by its name's key, kept up to date.
    void Reconcile(const std::string& name, std::int64_t nowMs, std::unordered_map<std::string, std::size_t>& rows,
                   std::vector<std::string>& gone);

    BoardServer& board;
    const std::chrono::steady_clock::duration speaking;
    mutable std::mutex lock;
    PlanBook book;
    std::unique_ptr<BoardStore> store;
    std::set<std::string> waiting;  // names whose rows are to be brought up to date
    bool started = false;           // the rows that showed a plan before the start looked at
    // Another program's plans (an import): the mark it left, looked at every few seconds.
    std::int64_t changedMs = 0;
    std::chrono::steady_clock::time_point lastLook{};
    void ReadAgain(std::int64_t nowMs);
    // Each person's next plan, made again when their plans change, start or end, and everybody's each day.
    struct NextOne {
        Plan plan;
        Occurrence occurrence;
    };
    std::unordered_map<std::string, NextOne> nextPlans;
    bool nextStale = true;
    std::set<std::string> nextWaiting;
    std::int64_t nextDay = 0;  // the board's local day the list was last made whole
    void MakeNext(std::int64_t nowMs);
    // A person's plans changed, started or ended: their row and their next plan are looked at again.
    void Changed(const std::string& name);
};

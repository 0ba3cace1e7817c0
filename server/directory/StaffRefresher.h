// Keeps the staff list fresh on a thread of its own, so that a slow or hung
// source never holds up the reader, the web view or a stop: a file is looked
// at every minute and read again when it changed, any source is read every
// `interval`, and a failed read is tried again a minute later.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "StaffDirectory.h"
#include "StaffSource.h"

// Where the last good list is kept for a restart; without functions, nowhere.
struct StaffKeeper {
    // The list kept and when it was read good (ms since 1970); false when none is.
    std::function<bool(StaffList& list, std::int64_t& readMs)> restore;
    std::function<bool(const StaffList& list, std::int64_t readMs, std::string& error)> keep;
    std::string where;  // for what is said
};

class StaffRefresher {
public:
    typedef std::function<void(bool trouble, const std::string& line)> Say;
    StaffRefresher(StaffDirectory& directory, StaffSource source, StaffKeeper keeper, std::chrono::minutes interval,
                   Say say);
    ~StaffRefresher();
    // Restores the list kept from before, which serves until a read succeeds
    // and which the first read must pass as any later one must; the source is
    // read first thing on the refresher's thread, never holding up the start.
    void Start();
    // Waits a moment for a read under way; one still waiting on the network
    // is left to end on its own time-out, and then touches nothing.
    void Stop();
    // Read again at once (a reload asked for by the administrator).
    void Request();

private:
    struct Outcome {
        bool read = false;
        StaffList list;
        std::vector<std::string> problems;
        StaffError error;
        std::string signature;
    };
    static Outcome ReadFrom(const StaffSource& source);
    // false: it failed, try again in a minute. `toKeep`: the list to keep for
    // a restart, written by the caller outside the lock (null: nothing new).
    // `asked`: the administrator asked for this read, and takes a doubtful list.
    bool Take(Outcome outcome, bool asked, std::unique_ptr<StaffList>& toKeep);
    void Restore();

    // What the thread shares with Stop, and keeps when it is left behind.
    struct Shared {
        std::mutex lock;
        std::condition_variable wake;
        bool stopping = false, requested = false, finished = false;
    };

    StaffDirectory& directory;
    const std::shared_ptr<const StaffSource> source;
    const std::shared_ptr<const StaffKeeper> keeper;
    const std::chrono::minutes interval;
    Say say;
    std::string lastError;
    std::string lastSignature;
    std::string lastKeepError;
    std::shared_ptr<Shared> shared;
    std::thread thread;
};

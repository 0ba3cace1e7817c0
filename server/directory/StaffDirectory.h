// The staff list the board works from, shared between the thread that
// refreshes it and the web view that reads it. A failed refresh keeps the
// last good list; a refresh that finds nobody where there were people keeps it too.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "StaffList.h"

struct DirectoryState {
    std::string source;                     // "file"
    std::shared_ptr<const StaffList> list;  // never null once made
    std::int64_t updatedMs = 0;             // the last good read, ms since 1970; 0: none yet
    std::string error;                      // the last refresh's error; empty when it went well
    std::uint64_t failures = 0;             // refreshes that failed, since the start
};

class StaffDirectory {
public:
    explicit StaffDirectory(const std::string& source);
    DirectoryState State() const;
    // A good read. False, keeping the list, when it finds nobody where there
    // were people (`error` then says so).
    bool Took(StaffList list, std::int64_t nowMs, std::string& error);
    void Failed(const std::string& error);
    // The list kept from before a restart, until a refresh succeeds.
    void Restore(StaffList list, std::int64_t updatedMs);

private:
    mutable std::mutex lock;
    DirectoryState state;
};

// The staff list the board works from, shared between the thread that
// refreshes it and the web view that reads it. A failed refresh keeps the
// last good list, and so does one that looks like a fault rather than a
// change: nobody where there were people, many lines unread, or half the
// people gone at once.
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
    // The last refresh's trouble in words anybody may read (never an account or
    // a server); empty when it went well. When it came, ms since 1970.
    std::string error;
    std::int64_t errorMs = 0;
    std::uint64_t failures = 0;  // refreshes that failed, since the start
};

// Why `list` would not be taken in place of `before`, or empty when it would.
// Nobody where there were people is never taken; a read that left more than a
// tenth of its lines unread, or that has fewer than half the people, is taken
// only when the administrator asked for the read.
std::string DoubtfulList(const StaffList& list, const StaffList& before, bool asked);

class StaffDirectory {
public:
    explicit StaffDirectory(const std::string& source);
    DirectoryState State() const;
    // A good read. False, keeping the list, when it is doubtful (`error` then says why).
    bool Took(StaffList list, std::int64_t nowMs, bool asked, std::string& error);
    void Failed(const std::string& shown, std::int64_t nowMs);
    // The list kept from before a restart, until a refresh succeeds.
    void Restore(StaffList list, std::int64_t updatedMs);

private:
    mutable std::mutex lock;
    DirectoryState state;
};

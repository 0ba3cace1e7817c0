// Keeps the staff list fresh on a thread of its own, so that a slow or hung
// source never holds up the reader, the web view or a stop: the file is
// looked at every minute and read again when it changed, and every
// `interval` in any case; a failed read is tried again a minute later.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "StaffDirectory.h"

// Reads the whole list: false with the error; `problems` lists lines skipped.
bool ReadStaffFile(const std::string& path, StaffList& list, std::vector<std::string>& problems, std::string& error);

class StaffRefresher {
public:
    typedef std::function<void(bool trouble, const std::string& line)> Say;
    // `keep`: where the last good list is kept for a restart (empty: nowhere).
    StaffRefresher(StaffDirectory& directory, const std::string& path, const std::string& keep,
                   std::chrono::minutes interval, Say say);
    ~StaffRefresher();
    // Reads once now, on the caller's thread (the start), then keeps refreshing.
    void Start();
    void Stop();
    // Read again at once (a reload asked for by the administrator).
    void Request();

private:
    void Refresh();
    std::string Signature() const;  // the file's size and time, to see a change

    StaffDirectory& directory;
    const std::string path;
    const std::string keep;
    const std::chrono::minutes interval;
    Say say;
    std::string lastError;
    std::string lastSignature;
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false, requested = false;
    std::thread thread;
};

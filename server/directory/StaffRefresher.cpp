#include "StaffRefresher.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

#include "AtomicFile.h"
#include "BoardClock.h"
#include "StaffCsv.h"

namespace {

const std::size_t MaxStaffFileBytes = 64u << 20;
const std::size_t ProblemsSaid = 5;

}  // namespace

bool ReadStaffFile(const std::string& path, StaffList& list, std::vector<std::string>& problems, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    std::string text;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (text.size() > MaxStaffFileBytes) {
            error = path + ": larger than 64 MiB: not a staff list";
            return false;
        }
    }
    if (file.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    std::vector<StaffEntry> entries;
    if (!ReadStaffCsv(text, path, entries, problems, error)) return false;
    list = MakeStaffList(entries);
    return true;
}

StaffRefresher::StaffRefresher(StaffDirectory& directory_, const std::string& path_, const std::string& keep_,
                               std::chrono::minutes interval_, Say say_)
    : directory(directory_), path(path_), keep(keep_), interval(interval_), say(std::move(say_)) {}

StaffRefresher::~StaffRefresher() { Stop(); }

std::string StaffRefresher::Signature() const {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::string();
    return std::to_string(static_cast<long long>(st.st_size)) + "/" +
           std::to_string(static_cast<long long>(st.st_mtime));
}

void StaffRefresher::Refresh() {
    StaffList list;
    std::vector<std::string> problems;
    std::string error;
    const std::string signature = Signature();
    bool read = ReadStaffFile(path, list, problems, error);
    if (read) {
        const std::string summary = StaffSummary(list, path);
        const std::string kept = StaffCsv(list);
        read = directory.Took(std::move(list), WallMs(), error);
        std::string keepError;
        if (read && !keep.empty() && !WriteFileAtomically(keep, kept, 0640, keepError))
            say(true, "directory: cannot keep the list in " + keep + ": " + keepError);
        if (read) {
            say(false, summary);
            for (std::size_t i = 0; i < problems.size() && i < ProblemsSaid; ++i) say(true, problems[i]);
            if (problems.size() > ProblemsSaid)
                say(true, std::to_string(problems.size() - ProblemsSaid) + " more lines of " + path + " skipped");
            lastSignature = signature;
            lastError.clear();
            return;
        }
    } else {
        directory.Failed(error);
    }
    // Once per distinct error; the last good list stays.
    if (error != lastError) say(true, "directory: " + error + "; the last list is kept and tried again in a minute");
    lastError = error;
}

void StaffRefresher::Start() {
    Refresh();
    struct stat st;
    if (directory.State().updatedMs == 0 && !keep.empty() && ::stat(keep.c_str(), &st) == 0) {
        // The source cannot be had at the start: the list from before serves until it can.
        StaffList list;
        std::vector<std::string> problems;
        std::string error;
        if (ReadStaffFile(keep, list, problems, error)) {
            say(false, "directory: the last good list of " + std::to_string(list.people.size()) + " people, from " +
                           keep + ", serves until the source can be read");
            directory.Restore(std::move(list), static_cast<std::int64_t>(st.st_mtime) * 1000);
        }
    }
    thread = std::thread([this] {
        auto due = std::chrono::steady_clock::now() + interval;
        std::unique_lock<std::mutex> guard(lock);
        while (!stopping) {
            wake.wait_for(guard, std::chrono::minutes(1), [this] { return stopping || requested; });
            if (stopping) break;
            const bool asked = requested;
            requested = false;
            guard.unlock();
            const auto now = std::chrono::steady_clock::now();
            if (asked || now >= due || !lastError.empty() || Signature() != lastSignature) {
                Refresh();
                due = now + interval;
            }
            guard.lock();
        }
    });
}

void StaffRefresher::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
}

void StaffRefresher::Request() {
    {
        std::lock_guard<std::mutex> guard(lock);
        requested = true;
    }
    wake.notify_all();
}

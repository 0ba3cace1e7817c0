#include "StaffDirectory.h"

std::string DoubtfulList(const StaffList& list, const StaffList& before, bool asked) {
    const std::size_t had = before.people.size(), has = list.people.size();
    const std::string kept = "; the last list of " + std::to_string(had) + " people is kept";
    // A directory that empties in one step is far likelier a fault than a company that left.
    if (has == 0 && had > 0) return "the directory gave nobody" + kept;
    if (asked || had == 0) return std::string();
    const std::string until = kept +
                              " until the source is mended or the directory is reloaded (pegmastd --check --directory "
                              "shows what it would read)";
    if (list.unreadable * 10 > list.lines)
        return std::to_string(list.unreadable) + " of " + std::to_string(list.lines) +
               " lines could not be read, more than a tenth" + until;
    if (has * 2 < had)
        return "the directory gave " + std::to_string(has) + " people, fewer than half of the " + std::to_string(had) +
               " before" + until;
    return std::string();
}

StaffDirectory::StaffDirectory(const std::string& source) {
    state.source = source;
    state.list = std::make_shared<const StaffList>();
}

DirectoryState StaffDirectory::State() const {
    std::lock_guard<std::mutex> guard(lock);
    return state;
}

bool StaffDirectory::Took(StaffList list, std::int64_t nowMs, bool asked, std::string& error) {
    std::lock_guard<std::mutex> guard(lock);
    error = DoubtfulList(list, *state.list, asked);
    if (!error.empty()) {
        state.error = error;
        state.errorMs = nowMs;
        ++state.failures;
        return false;
    }
    state.list = std::make_shared<const StaffList>(std::move(list));
    state.updatedMs = nowMs;
    state.error.clear();
    state.errorMs = 0;
    return true;
}

void StaffDirectory::Failed(const std::string& shown, std::int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock);
    state.error = shown;
    state.errorMs = nowMs;
    ++state.failures;
}

void StaffDirectory::Restore(StaffList list, std::int64_t updatedMs) {
    std::lock_guard<std::mutex> guard(lock);
    state.list = std::make_shared<const StaffList>(std::move(list));
    state.updatedMs = updatedMs;
}

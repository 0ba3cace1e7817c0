#include "StaffDirectory.h"

StaffDirectory::StaffDirectory(const std::string& source) {
    state.source = source;
    state.list = std::make_shared<const StaffList>();
}

DirectoryState StaffDirectory::State() const {
    std::lock_guard<std::mutex> guard(lock);
    return state;
}

bool StaffDirectory::Took(StaffList list, std::int64_t nowMs, std::string& error) {
    std::lock_guard<std::mutex> guard(lock);
    if (list.people.empty() && !state.list->people.empty()) {
        // A directory that empties in one step is far likelier a fault than a company that left.
        error = "the directory gave nobody; the last list of " + std::to_string(state.list->people.size()) +
                " people is kept";
        state.error = error;
        ++state.failures;
        return false;
    }
    state.list = std::make_shared<const StaffList>(std::move(list));
    state.updatedMs = nowMs;
    state.error.clear();
    return true;
}

void StaffDirectory::Failed(const std::string& error) {
    std::lock_guard<std::mutex> guard(lock);
    state.error = error;
    ++state.failures;
}

void StaffDirectory::Restore(StaffList list, std::int64_t updatedMs) {
    std::lock_guard<std::mutex> guard(lock);
    state.list = std::make_shared<const StaffList>(std::move(list));
    state.updatedMs = updatedMs;
}

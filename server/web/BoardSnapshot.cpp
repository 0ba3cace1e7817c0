#include "BoardSnapshot.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "Windows1252.h"
#include "WebUpdates.h"

namespace {

// Everybody in the directory has a display name, their log-in name where it gives none,
// so that an empty one means a row the directory does not know.
std::string DisplayName(const StaffPerson& person) {
    return person.displayName.empty() ? Windows1252ToUtf8(person.key) : person.displayName;
}

void AddStaff(const StaffDirectory& directory, BoardSnapshot& snapshot) {
    snapshot.hasDirectory = true;
    snapshot.directory = directory.State();
    const StaffList& staff = *snapshot.directory.list;
    std::vector<bool> heard(staff.people.size(), false);
    for (SnapshotRow& row : snapshot.rows) {
        const StaffPerson* person = FindStaff(staff, row.name);
        if (!person) continue;
        heard[static_cast<std::size_t>(person - staff.people.data())] = true;
        row.displayName = DisplayName(*person);
        row.group = person->group;
        row.phone = person->phone;
    }
    for (std::size_t i = 0; i < staff.people.size(); ++i) {
        if (heard[i]) continue;
        const StaffPerson& person = staff.people[i];
        SnapshotRow row{person.key, 0, "", 0};
        row.displayName = DisplayName(person);
        row.group = person.group;
        row.phone = person.phone;
        row.unheard = true;
        snapshot.unheard.push_back(row);
    }
}

}  // namespace

bool TakeSnapshot(BoardServer& server, BoardSnapshot& snapshot) {
    snapshot.unheard.clear();
    snapshot.hasDirectory = false;
    snapshot.pending = server.pendingCount.load();
    snapshot.open = server.manager.SocketCount() - 1;  // as the board's counter: less the listener
    if (snapshot.open < 0) snapshot.open = 0;
    snapshot.silentMinutes = server.silentMinutes.load();
    snapshot.rows.clear();
    if (!server.tableLock.WaitFor(std::chrono::milliseconds(1500))) return false;
    const auto now = std::chrono::steady_clock::now();
    const std::int64_t wallNow = WallMs();
    const std::int32_t n = server.table.RowCount();
    try {
        snapshot.rows.reserve(static_cast<std::size_t>(n));
        for (std::int32_t i = 0; i < n; ++i) {
            const std::size_t index = static_cast<std::size_t>(i);
            const StatusRecord& row = server.table.Row(index);
            auto age = std::chrono::duration_cast<std::chrono::seconds>(now - server.table.LastStored(index));
            SnapshotRow taken{row.Name(), row.Status(), row.Message(), age.count()};
            const RowWord& word = server.table.Word(index);
            taken.fromBrowser = word.source == RowSource::Browser;
            taken.sinceMs = word.sinceMs;
            taken.sinceSeconds = word.sinceMs > 0 && wallNow > word.sinceMs ? (wallNow - word.sinceMs) / 1000 : 0;
            taken.hasDesk = taken.fromBrowser && word.hasDesk;
            if (taken.hasDesk) taken.deskStatus = word.desk.Status();
            if (taken.fromBrowser && word.hasUntil) {
                taken.until = ClockText(word.untilMs);
                taken.passed = UntilPassed(word, wallNow) && !word.hasDesk;
            }
            snapshot.rows.push_back(taken);
        }
    } catch (...) {
        server.tableLock.Release();
        throw;
    }
    server.tableLock.Release();
    if (server.directory) AddStaff(*server.directory, snapshot);
    return true;
}

const char* StatusName(std::int32_t status) {
    return status == StatusIn ? "in" : status == StatusOut ? "out" : "other";
}

std::string BoardJson(const BoardSnapshot& snapshot) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const SnapshotRow& row : snapshot.rows) {
        // The painter's rule: anything but in and out is other.
        std::int32_t status = row.status == StatusIn || row.status == StatusOut ? row.status : StatusOther;
        const char* word = StatusName(status);
        rows.push_back({{"name", Windows1252ToUtf8(row.name)},
                        {"status", status},
                        {"word", word},
                        {"message", Windows1252ToUtf8(row.message)},
                        {"age", row.ageSeconds < 0 ? 0 : row.ageSeconds},
                        {"since", row.sinceMs},
                        {"sinceAge", row.sinceSeconds},
                        {"source", row.fromBrowser ? "browser" : "desk"}});
        if (!row.until.empty()) rows.back()["until"] = row.until;
        if (row.passed) rows.back()["passed"] = true;
        if (row.hasDesk) rows.back()["desk"] = StatusName(row.deskStatus);
        if (snapshot.hasDirectory) {
            rows.back()["displayName"] = row.displayName;
            rows.back()["group"] = row.group;
            rows.back()["phone"] = row.phone;
        }
    }
    nlohmann::ordered_json board = {{"counter", {{"pending", snapshot.pending}, {"open", snapshot.open}}},
                                    {"silentMinutes", snapshot.silentMinutes},
                                    {"updates", snapshot.updates},
                                    {"code", snapshot.codeNeeded},
                                    {"rows", rows}};
    if (snapshot.hasDirectory) {
        nlohmann::ordered_json unheard = nlohmann::ordered_json::array();
        for (const SnapshotRow& person : snapshot.unheard)
            unheard.push_back({{"name", Windows1252ToUtf8(person.name)},
                               {"displayName", person.displayName},
                               {"group", person.group},
                               {"phone", person.phone}});
        board["unheard"] = unheard;
        const DirectoryState& d = snapshot.directory;
        board["directory"] = {
            {"source", d.source},
            {"entries", d.list ? d.list->people.size() : 0},
            {"updated", d.updatedMs},
            {"error", d.error.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(d.error)}};
    }
    // Directory texts come from outside: a byte that is not UTF-8 is replaced, never thrown on.
    return board.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

#include "BoardSnapshot.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "AsciiText.h"
#include "JsonText.h"
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
    for (SnapshotRow& row : snapshot.rows) {
        const StaffPerson* author = row.author.empty() ? nullptr : FindStaff(staff, row.author);
        if (author) row.authorDisplay = DisplayName(*author);
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

// FNV-1a over each field and a separator, so that "ab","c" differs from "a","bc".
struct Fingerprint {
    std::uint64_t value = 14695981039346656037ull;
    Fingerprint& operator<<(const std::string& text) {
        for (unsigned char c : text) value = (value ^ c) * 1099511628211ull;
        value = (value ^ 0x1F) * 1099511628211ull;
        return *this;
    }
    Fingerprint& operator<<(std::int64_t number) { return *this << std::to_string(number); }
};

// An age as the page words it: just now, minutes, hours, days.
std::int64_t AgeShown(std::int64_t seconds) {
    if (seconds < 60) return 0;
    if (seconds < 3600) return seconds / 60;
    if (seconds < 48 * 3600) return 100 + seconds / 3600;
    return 1000 + seconds / 86400;
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
    {
        TableHold hold(server.tableLock, std::chrono::milliseconds(1500));
        if (!hold) return false;
        const auto now = std::chrono::steady_clock::now();
        const std::int64_t wallNow = WallMs();
        const std::int32_t n = server.table.RowCount();
        snapshot.rows.reserve(static_cast<std::size_t>(n));
        for (std::int32_t i = 0; i < n; ++i) {
            const std::size_t index = static_cast<std::size_t>(i);
            const StatusRecord& row = server.table.Row(index);
            auto age = std::chrono::duration_cast<std::chrono::seconds>(now - server.table.LastStored(index));
            SnapshotRow taken{row.Name(), row.Status(), row.Message(), age.count()};
            const RowWord& word = server.table.Word(index);
            taken.fromBrowser = word.source == RowSource::Browser;
            taken.planned = word.source == RowSource::Plan;
            if (taken.planned) taken.backMs = word.untilMs;
            taken.author = taken.fromBrowser ? word.author : std::string();
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
    }
    if (server.directory) AddStaff(*server.directory, snapshot);
    return true;
}

BoardSnapshot SnapshotAt(std::int64_t atMs, const std::vector<HistoryEntry>& standing,
                         const StaffDirectory* directory) {
    BoardSnapshot snapshot;
    snapshot.asAtMs = atMs;
    for (const HistoryEntry& e : standing) {
        SnapshotRow row{e.name, e.status, e.message, (atMs - e.atMs) / 1000};
        row.fromBrowser = e.source == "browser";
        row.author = e.author;
        row.until = e.until;
        snapshot.rows.push_back(row);
    }
    // By the name, as the board orders nothing else of a moment gone.
    std::stable_sort(snapshot.rows.begin(), snapshot.rows.end(), [](const SnapshotRow& a, const SnapshotRow& b) {
        return AsciiLower(a.name) < AsciiLower(b.name);
    });
    if (directory) AddStaff(*directory, snapshot);
    return snapshot;
}

std::string BoardJson(const BoardSnapshot& snapshot) {
    JsonText j;
    j.Begin('{');
    if (snapshot.asAtMs) j.Key("asAt").Number(snapshot.asAtMs);
    j.Key("counter").Begin('{');
    j.Key("pending").Number(snapshot.pending).Key("open").Number(snapshot.open).End('}');
    j.Key("silentMinutes").Number(snapshot.silentMinutes).Key("updates").Bool(snapshot.updates);
    j.Key("code").Bool(snapshot.codeNeeded);
    if (snapshot.signIn) j.Key("signIn").Bool(true);
    if (snapshot.history) j.Key("history").Bool(true);
    j.Key("rows").Begin('[');
    for (const SnapshotRow& row : snapshot.rows) {
        // The painter's rule: anything but in and out is other.
        std::int32_t status = row.status == StatusIn || row.status == StatusOut ? row.status : StatusOther;
        j.Begin('{').Key("name").String(Windows1252ToUtf8(row.name)).Key("status").Number(status);
        j.Key("word").String(StatusName(status)).Key("message").String(Windows1252ToUtf8(row.message));
        j.Key("age").Number(row.ageSeconds < 0 ? 0 : row.ageSeconds).Key("since").Number(row.sinceMs);
        j.Key("sinceAge").Number(row.sinceSeconds);
        j.Key("source").String(row.fromBrowser ? "browser" : row.planned ? "plan" : "desk");
        if (row.planned) j.Key("planned").Bool(true).Key("back").Number(row.backMs);
        if (row.hasNextPlan) {
            j.Key("nextPlan").Begin('{').Key("start").String(row.nextStart).Key("end").String(row.nextEnd);
            j.Key("status").Number(row.nextStatus).Key("message").String(Windows1252ToUtf8(row.nextMessage)).End('}');
        }
        if (!row.until.empty()) j.Key("until").String(row.until);
        if (row.passed) j.Key("passed").Bool(true);
        if (row.hasDesk) j.Key("desk").String(StatusName(row.deskStatus));
        if (!row.author.empty()) {
            const std::string name = Windows1252ToUtf8(row.author);
            j.Key("setBy").Begin('{').Key("name").String(name);
            j.Key("displayName").String(row.authorDisplay.empty() ? name : row.authorDisplay);
            j.Key("at").Number(row.sinceMs).End('}');
        }
        if (snapshot.hasDirectory) {
            j.Key("displayName").String(row.displayName).Key("group").String(row.group);
            j.Key("phone").String(row.phone);
        }
        j.End('}');
    }
    j.End(']');
    if (snapshot.hasDirectory) {
        j.Key("unheard").Begin('[');
        for (const SnapshotRow& person : snapshot.unheard) {
            j.Begin('{').Key("name").String(Windows1252ToUtf8(person.name));
            j.Key("displayName").String(person.displayName).Key("group").String(person.group);
            j.Key("phone").String(person.phone);
            if (person.hasNextPlan) {
                j.Key("nextPlan").Begin('{').Key("start").String(person.nextStart).Key("end").String(person.nextEnd);
                j.Key("status").Number(person.nextStatus);
                j.Key("message").String(Windows1252ToUtf8(person.nextMessage)).End('}');
            }
            j.End('}');
        }
        j.End(']');
        const DirectoryState& d = snapshot.directory;
        j.Key("directory").Begin('{').Key("source").String(d.source);
        j.Key("entries").Number(d.list ? static_cast<std::int64_t>(d.list->people.size()) : 0);
        j.Key("updated").Number(d.updatedMs).Key("error");
        if (d.error.empty())
            j.Null();
        else
            j.String(d.error).Key("errorAt").Number(d.errorMs);
        j.End('}');
    }
    j.End('}');
    return j.Text();
}

std::string BoardEtag(const BoardSnapshot& snapshot) {
    Fingerprint f;
    const std::int64_t silentAfter =
        60 * static_cast<std::int64_t>(snapshot.silentMinutes ? snapshot.silentMinutes : 3);
    f << snapshot.silentMinutes << snapshot.updates << snapshot.codeNeeded << snapshot.history << snapshot.signIn
      << snapshot.rows.size();
    for (const SnapshotRow& row : snapshot.rows) {
        f << row.name << row.status << row.message << row.fromBrowser << row.until << row.passed << row.hasDesk
          << row.deskStatus << row.sinceMs << row.displayName << row.group << row.phone << row.author
          << row.authorDisplay << AgeShown(row.ageSeconds) << (row.ageSeconds > silentAfter) << row.planned
          << row.backMs << row.nextStart << row.nextEnd << row.nextStatus << row.nextMessage;
    }
    f << snapshot.hasDirectory << snapshot.unheard.size();
    for (const SnapshotRow& person : snapshot.unheard)
        f << person.name << person.displayName << person.group << person.phone << person.nextStart << person.nextEnd;
    const DirectoryState& d = snapshot.directory;
    if (snapshot.hasDirectory)
        f << d.source << static_cast<std::int64_t>(d.list ? d.list->people.size() : 0) << d.updatedMs << d.error
          << d.errorMs;
    char text[24];
    std::snprintf(text, sizeof text, "W/\"%016llx\"", static_cast<unsigned long long>(f.value));
    return text;
}

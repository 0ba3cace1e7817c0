#include "StoreStart.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

#include "AtomicFile.h"
#include "BoardService.h"
#include "BoardState.h"
#include "StaffSource.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::int64_t ModifiedMs(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_mtime) * 1000 : 0;
}

// A state file of the version before begins with its magic; a database never does.
bool IsStateFile(const std::string& path) {
    char magic[8] = {};
    std::ifstream in(path, std::ios::binary);
    return in.read(magic, sizeof magic) && std::memcmp(magic, "PEGSTATE", sizeof magic) == 0;
}

void RemoveDatabase(const std::string& path) {
    for (const char* part : {"", "-wal", "-shm"}) std::remove((path + part).c_str());
}

// The old file's rows and the kept staff list into a new database at `path`, in
// one transaction; the old files then kept as *.migrated. Where the old file is
// at `path` itself, the database is made beside it and renamed into its place.
bool Migrate(const std::string& path, const std::string& old, const StoreSay& say) {
    const std::int64_t savedMs = ModifiedMs(old);
    std::vector<StoredRow> rows;
    std::string problem;
    const StateLoad load = LoadStateFile(old, rows, problem);
    switch (load) {
    case StateLoad::Damaged:
        say(LogError, "state file " + old + " is damaged: " + problem + "; the board starts empty");
        break;
    case StateLoad::Unreadable: say(LogError, "state file " + old + ": " + problem + "; the board starts empty"); break;
    case StateLoad::Stuck:
        say(LogError, "state file " + old + ": " + problem + "; not starting, so that its rows are not written over");
        return false;
    case StateLoad::Missing:
    case StateLoad::Loaded: break;
    }
    const std::string folder = path.substr(0, path.find_last_of("/\\") + 1);
    const std::string keptStaff = folder + "staff.kept.csv";
    StaffList staff;
    std::vector<std::string> problems;
    StaffError staffError;
    const bool haveStaff = Exists(keptStaff) && ReadStaffFile(keptStaff, staff, problems, staffError);
    const bool loaded = load == StateLoad::Loaded;
    if (!loaded && !haveStaff) return true;

    const bool inPlace = old == path;
    const std::string made = inPlace ? path + ".new" : path;
    RemoveDatabase(made);
    BoardStore::Found found;
    std::string error;
    std::unique_ptr<BoardStore> store = BoardStore::Open(made, found, error);
    if (!store || !store->Take(rows, haveStaff ? &staff : nullptr, ModifiedMs(keptStaff), savedMs, error)) {
        store.reset();
        RemoveDatabase(made);
        say(LogError, "the rows of " + old + " cannot be moved into the database " + path + ": " + error +
                          "; not starting, and the old file stands");
        return false;
    }
    store.reset();  // closed, so that the database is one whole file
    if (loaded && !MoveReplacing(old, old + ".migrated")) {
        if (inPlace) {
            RemoveDatabase(made);
            say(LogError, "state file " + old + " cannot be renamed to " + old +
                              ".migrated; not starting, and the old file stands");
            return false;
        }
        say(LogWarning, "state file " + old + " cannot be renamed to " + old + ".migrated; its rows are in " + path);
    }
    if (inPlace && !MoveReplacing(made, path)) {
        say(LogError, "the new database " + made + " cannot be put at " + path + "; not starting");
        return false;
    }
    if (haveStaff && !MoveReplacing(keptStaff, keptStaff + ".migrated"))
        say(LogWarning, "the kept staff list " + keptStaff + " cannot be renamed; it is in " + path);
    std::string moved = loaded ? std::to_string(rows.size()) + " rows from " + old : std::string();
    if (haveStaff)
        moved += (loaded ? " and " : "") + std::string("the staff list of ") + std::to_string(staff.people.size()) +
                 " people from " + keptStaff;
    say(LogInfo, moved + " moved into the database " + path + "; the old files are kept as *.migrated");
    return true;
}

}  // namespace

bool OpenBoardStore(const std::string& path, const StoreSay& say, StoreStart& start) {
    const std::string folder = path.substr(0, path.find_last_of("/\\") + 1);
    // A move stopped between its two renames left the new database whole beside.
    if (!Exists(path) && Exists(path + ".new") && Exists(path + ".migrated")) MoveReplacing(path + ".new", path);
    std::string old;
    if (IsStateFile(path))
        old = path;
    else if (!Exists(path) && folder + "board.state" != path && Exists(folder + "board.state"))
        old = folder + "board.state";
    if (!old.empty() && !Migrate(path, old, say)) return false;

    BoardStore::Found found;
    std::string error;
    start.store = BoardStore::Open(path, found, error);
    if (!start.store) {
        say(LogError, "the database " + path + " cannot be opened: " + error + "; not starting");
        return false;
    }
    if (found == BoardStore::Found::SetAside)
        say(LogError,
            "the database " + path + " is damaged: set aside as " + path + ".damaged; the board starts empty");
    else if (found == BoardStore::Found::New)
        say(LogInfo, "no database at " + path + " yet: the board starts empty");
    if (!start.store->LoadRows(start.rows, start.savedMs, error)) {
        say(LogError, "the rows in the database " + path + " cannot be read: " + error + "; not starting");
        start.store.reset();
        return false;
    }
    return true;
}

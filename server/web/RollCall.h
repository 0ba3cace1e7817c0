// The roll call a fire warden takes outside: the board's rows in four groups
// (five where plans have put people out: "Planned away"),
// each sorted by the name people answer to (the display name, else the row's),
// and the same as CSV for a spreadsheet. It only reads a snapshot; nothing on
// the board changes.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "BoardSnapshot.h"

struct RollGroup {
    const char* title;  // "In", "No word for a while", "Other", "Out"[, "Planned away"]
    std::vector<SnapshotRow> rows;
};

// A row is silent, whatever its status, once it has been quiet longer than the
// board's SilentMinutes, or 3 minutes where the board greys nothing (as the page fades).
// Two rows are not where their status would put them, both for the warden's
// sake: a row whose desk said goodbye ("Client shutdown") is not silent but
// Other; a browser's word over a desk that still says "in" is In, with the
// browser's word beside it, so that a person at their desk is never folded away.
std::vector<RollGroup> RollCallGroups(const BoardSnapshot& snapshot);
// What the roll call says beside a row of a group ("set from a browser: out, at
// the dentist" under In); the row's message otherwise. Windows-1252.
std::string RollMessage(const SnapshotRow& row, std::size_t group);

// A CSV field, quoted, with ' before what a spreadsheet would run as a formula.
std::string SpreadsheetField(const std::string& text);

// UTF-8 with a byte-order mark; every field quoted, and one that a spreadsheet
// would take for a formula prefixed with '. `now` gives "last heard" its time.
std::string RollCsv(const BoardSnapshot& snapshot, std::time_t now);

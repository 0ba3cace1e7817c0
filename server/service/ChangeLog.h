// The change log of LogChanges: one line per change of a row's status or
// message, never one per re-send, and never a byte that could forge a line.
#pragma once

#include <string>

#include "BoardServer.h"
#include "HistoryEntry.h"

// A new row, or a status or message other than the row showed.
bool IsChange(const RowChange& change);

// "Anna: in -> out, from 10.0.0.5"; names in UTF-8, control characters as '?'.
std::string ChangeLine(const RowChange& change);

// The history's entry for a change that IsChange counts, at `atMs`.
HistoryEntry HistoryOf(const RowChange& change, std::int64_t atMs);

// A row of the board as it is kept across restarts: the record shown, when it
// was last stored, and whose word it shows.
#pragma once

#include <cstdint>

#include "RowRule.h"
#include "StatusRecord.h"

struct StoredRow {
    StatusRecord record;
    std::int64_t storedMs = 0;  // calendar time, milliseconds since 1970 UTC
    RowWord word;               // a row of an older file: its desk's record
};

// The board kept across restarts: every row's 512 bytes exactly as received
// and the calendar time (UTC) it was last stored.
//
// File: "PEGSTATE", version (u32), row count (u32), row size (u32), the rows,
// then a CRC-32 of everything before it; numbers little-endian. Each row is
// `row size` bytes: the record, the time in milliseconds since 1970 (i64),
// then whose word it shows: source (u8: 0 desk, 1 browser), has-desk (u8),
// has-until (u8), a reserved byte, the until time (i64, ms since 1970) and the
// desk's last record (512), since when the row's words have stood (i64, ms
// since 1970), and whatever a later version adds after them. A
// reader takes the fields it knows and skips the rest, so a newer file's rows
// are never lost to an older reader and an older file's rows (520 bytes, a
// desk's record each) load in a newer one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "StoredRow.h"

const std::uint32_t StateVersion = 1;

// The CRC-32 (as zlib computes it) that ends a file, of the bytes before it.
std::uint32_t StateChecksum(const std::string& bytes);

std::string EncodeBoardState(const std::vector<StoredRow>& rows);
// False, with what is wrong in words, for bytes that are not a whole state
// file of a version this reader knows.
bool DecodeBoardState(const std::string& bytes, std::vector<StoredRow>& rows, std::string& problem);

// Stuck: the file is there, was not read and could not be set aside; the
// board must not start, or its first write would replace rows never read.
enum class StateLoad { Loaded, Missing, Damaged, Unreadable, Stuck };

// Reads the file at `path`. A damaged one is renamed to <path>.damaged, one
// that cannot be read to <path>.unreadable (each replacing an older one), and
// `problem` says why.
StateLoad LoadStateFile(const std::string& path, std::vector<StoredRow>& rows, std::string& problem);
// Writes the file as one step (see AtomicFile.h); false with the error.
bool SaveStateFile(const std::string& path, const std::vector<StoredRow>& rows, std::string& error);

// One change of what a row shows, as the history keeps it.
#pragma once

#include <cstdint>
#include <string>

struct HistoryEntry {
    std::int64_t atMs = 0;  // calendar time, milliseconds since 1970 UTC
    std::string name;       // as the row shows it, Windows-1252
    std::int32_t status = 0;
    std::string message;  // Windows-1252
    std::string until;    // "HH:MM" of a browser's word, when it has one
    std::string source;   // "desk", "browser", "until passed", "removed", "forgotten"
    std::string from;     // the sender's address, when known
    std::string author;   // who signed in and set it (Windows-1252); empty: the desk, or the code
};

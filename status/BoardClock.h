// The board's calendar clock: milliseconds since 1970 UTC, as rows, the state
// file and the web view keep times that must outlive the process.
#pragma once

#include <chrono>
#include <cstdint>

inline std::int64_t WallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

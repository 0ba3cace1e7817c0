// A whole record from its three fields, for tests that fill a board directly.
#pragma once

#include <cstdint>
#include <string>

#include "StatusRecord.h"

inline StatusRecord MakeRecord(const std::string& name, std::int32_t status, const std::string& message) {
    StatusRecord r;
    r.SetName(name);
    r.SetStatus(status);
    r.SetMessage(message);
    return r;
}

#include "BoardOptions.h"

// Board options with the fields a test names; every other one as the board starts.
inline BoardOptions TestOptions(std::uint32_t webPort, std::uint32_t silentMinutes, std::uint32_t pacing = 250) {
    BoardOptions options;
    options.webPort = webPort;
    options.silentMinutes = silentMinutes;
    options.acceptPacingMs = pacing;
    return options;
}

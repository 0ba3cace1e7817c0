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

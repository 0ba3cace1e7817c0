// A record gathered from the pieces a connection delivers: its first 512
// bytes; what comes after them is dropped, what never came is zero.
#pragma once

#include <cstddef>
#include <cstring>

#include "StatusRecord.h"

class PendingRecord {
public:
    // True once all 512 bytes are in.
    bool Append(const char* data, std::size_t length) {
        std::size_t room = StatusRecord::Size - count;
        std::size_t take = length < room ? length : room;
        std::memcpy(bytes + count, data, take);
        count += take;
        return count == StatusRecord::Size;
    }
    bool Empty() const { return count == 0; }
    std::size_t Count() const { return count; }
    StatusRecord Record() const { return StatusRecord(bytes, count); }

private:
    unsigned char bytes[StatusRecord::Size] = {};
    std::size_t count = 0;
};

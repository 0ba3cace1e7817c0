// The one message of the system: a fixed 512-byte block, the same in memory,
// on the wire and in every board row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

const std::int32_t StatusIn = 1;
const std::int32_t StatusOut = 2;
const std::int32_t StatusOther = 3;

// The status in words, by the painter's rule: anything but in and out is other.
const char* StatusName(std::int32_t status);

class StatusRecord {
public:
    static const std::size_t Size = 512;
    static const std::size_t NameOffset = 0;
    static const std::size_t NameSize = 20;
    static const std::size_t StatusOffset = 20;
    static const std::size_t MessageOffset = 24;
    static const std::size_t MessageSize = 488;

    StatusRecord();
    // A delivery of any length: the first 512 bytes, missing bytes zero.
    StatusRecord(const void* bytes, std::size_t length);

    // Text up to the first NUL, or to the field's end when there is none.
    std::string Name() const;
    std::string Message() const;
    std::int32_t Status() const;

    // Copies at most the field's size less one and a NUL; bytes behind the NUL stay.
    void SetName(const std::string& text);
    void SetMessage(const std::string& text);
    void SetStatus(std::int32_t status);

    const unsigned char* Bytes() const { return bytes; }
    unsigned char* Bytes() { return bytes; }

private:
    unsigned char bytes[Size];
};

// The board's key: equal length, equal bytes after folding ASCII A-Z only.
bool NamesEqual(const StatusRecord& a, const StatusRecord& b);
bool NamesEqual(const std::string& a, const std::string& b);

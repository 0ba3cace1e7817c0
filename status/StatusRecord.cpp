#include "StatusRecord.h"

#include <cstring>

namespace {

std::string FieldText(const unsigned char* field, std::size_t size) {
    const void* nul = std::memchr(field, 0, size);
    std::size_t length = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - field) : size;
    return std::string(reinterpret_cast<const char*>(field), length);
}

void PutText(unsigned char* field, std::size_t size, const std::string& text) {
    std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(field, text.data(), length);
    field[length] = 0;
}

unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

StatusRecord::StatusRecord() { std::memset(bytes, 0, Size); }

StatusRecord::StatusRecord(const void* data, std::size_t length) {
    std::memset(bytes, 0, Size);
    std::memcpy(bytes, data, length < Size ? length : Size);
}

std::string StatusRecord::Name() const { return FieldText(bytes + NameOffset, NameSize); }

std::string StatusRecord::Message() const { return FieldText(bytes + MessageOffset, MessageSize); }

std::int32_t StatusRecord::Status() const {
    // Little-endian on the wire whatever the host.
    std::uint32_t v = static_cast<std::uint32_t>(bytes[StatusOffset]) |
                      static_cast<std::uint32_t>(bytes[StatusOffset + 1]) << 8 |
                      static_cast<std::uint32_t>(bytes[StatusOffset + 2]) << 16 |
                      static_cast<std::uint32_t>(bytes[StatusOffset + 3]) << 24;
    return static_cast<std::int32_t>(v);
}

void StatusRecord::SetName(const std::string& text) { PutText(bytes + NameOffset, NameSize, text); }

void StatusRecord::SetMessage(const std::string& text) { PutText(bytes + MessageOffset, MessageSize, text); }

void StatusRecord::SetStatus(std::int32_t status) {
    std::uint32_t v = static_cast<std::uint32_t>(status);
    for (int i = 0; i < 4; ++i) bytes[StatusOffset + i] = static_cast<unsigned char>(v >> (8 * i));
}

bool NamesEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool NamesEqual(const StatusRecord& a, const StatusRecord& b) { return NamesEqual(a.Name(), b.Name()); }

const char* StatusName(std::int32_t status) {
    return status == StatusIn ? "in" : status == StatusOut ? "out" : "other";
}

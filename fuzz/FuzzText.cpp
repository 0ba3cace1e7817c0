// Text typed by users: the port field's number and the Windows-1252 boundary.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ClientRules.h"
#include "Windows1252.h"

namespace {

// The C library's reading of a number, saturated to 32 bits.
std::int32_t Reference(const std::string& text) {
    std::string digits;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) digits += text[i++];
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') digits += text[i++];
    errno = 0;
    long long v = std::strtoll(digits.c_str(), nullptr, 10);
    if (v > 2147483647LL) v = 2147483647LL;
    if (v < -2147483648LL) v = -2147483648LL;
    return static_cast<std::int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find('\0') == std::string::npos && ParsePortText(text) != Reference(text)) std::abort();

    std::string back = Utf8ToWindows1252(Windows1252ToUtf8(text));
    if (back.size() != text.size()) std::abort();
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        bool unassigned = b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        if (back[i] != (unassigned ? '?' : text[i])) std::abort();
    }
    Utf8ToWindows1252(text);  // any bytes at all, as typed
    return 0;
}

#include "Windows1252.h"

#include <cstdint>

namespace {

// 0x80 to 0x9F; 0 where Windows-1252 assigns no character.
const std::uint16_t High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char ToByte(std::uint32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (High[i] != 0 && High[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

std::string Windows1252ToUtf8(const std::string& bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        std::uint32_t c = b;
        if (b >= 0x80 && b <= 0x9F) c = High[b - 0x80] != 0 ? High[b - 0x80] : 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8ToWindows1252(const std::string& utf8) {
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size() + (extra == 0 ? 1 : 0)) {
            out += '?';
            ++i;
            continue;
        }
        std::uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char n = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((n & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (n & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        out += ToByte(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

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

std::size_t Utf8SequenceAt(const std::string& text, std::size_t at) {
    const unsigned char b = static_cast<unsigned char>(text[at]);
    if (b < 0x80) return 1;
    const std::size_t n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (n == 0 || at + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second > 0x9F) || (b == 0xF0 && second < 0x90) ||
        (b == 0xF4 && second > 0x8F))
        return 0;
    return n;
}

bool ValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceAt(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string ValidUtf8Text(const std::string& text) {
    if (ValidUtf8(text)) return text;
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceAt(text, i);
        if (n == 0) {
            AppendUtf8(out, 0xFFFD);
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

bool ValidWindows1252(const std::string& bytes) {
    for (unsigned char b : bytes)
        if (b >= 0x80 && b <= 0x9F && High[b - 0x80] == 0) return false;
    return true;
}

#include "JsonText.h"

namespace {

// Whether the bytes at `i` begin a well-formed UTF-8 sequence; `length`: its
// length, or that of the broken beginning (at least 1), which one U+FFFD stands for.
bool Sequence(const std::string& s, std::size_t i, std::size_t& length) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;   // no overlong forms
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    }
    std::size_t k = 1;
    while (k < n && i + k < s.size()) {
        const unsigned char b = static_cast<unsigned char>(s[i + k]);
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) break;
        ++k;
    }
    length = k;
    return n != 0 && k == n;
}

}  // namespace

void AppendJsonString(std::string& out, const std::string& s) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                std::size_t n = 1;
                if (!Sequence(s, i, n)) {
                    out += "\xEF\xBF\xBD";
                    i += n;
                    continue;
                }
                out.append(s, i, n);
                i += n;
                continue;
            }
        }
        ++i;
    }
    out += '"';
}

void JsonText::Separate() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (first.empty()) return;
    if (!first.back()) out += ',';
    first.back() = false;
}

JsonText& JsonText::Begin(char bracket) {
    Separate();
    out += bracket;
    first.push_back(true);
    return *this;
}

JsonText& JsonText::End(char bracket) {
    out += bracket;
    first.pop_back();
    return *this;
}

JsonText& JsonText::Key(const char* key) {
    Separate();
    AppendJsonString(out, key);
    out += ':';
    afterKey = true;
    return *this;
}

JsonText& JsonText::String(const std::string& utf8) {
    Separate();
    AppendJsonString(out, utf8);
    return *this;
}

JsonText& JsonText::Number(std::int64_t value) {
    Separate();
    out += std::to_string(value);
    return *this;
}

JsonText& JsonText::Bool(bool value) {
    Separate();
    out += value ? "true" : "false";
    return *this;
}

JsonText& JsonText::Null() {
    Separate();
    out += "null";
    return *this;
}

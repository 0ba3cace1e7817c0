// Text rules for names and settings that are ASCII by nature: the board's key
// rule folds ASCII letters only, and settings and column names ignore their case.
#pragma once

#include <string>

// Capital ASCII letters made small; every other byte as it is.
inline std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Without spaces, tabs and line ends around it.
inline std::string TrimSpace(const std::string& text) {
    const char* space = " \t\r\n";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Fit for one log line: control characters (a line break, a tab) become '?',
// so that no name from outside can end the line or forge the next.
inline std::string LogSafe(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

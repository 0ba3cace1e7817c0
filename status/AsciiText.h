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

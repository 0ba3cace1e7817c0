// The wire carries single-byte Windows-1252 text; the Linux desktop speaks
// UTF-8. These convert at the user-interface boundary.
#pragma once

#include <string>

// Every byte has a character (the five unassigned ones map to U+FFFD).
std::string Windows1252ToUtf8(const std::string& bytes);
// A character without a Windows-1252 byte becomes '?'; malformed UTF-8 too.
std::string Utf8ToWindows1252(const std::string& utf8);

// The length of the well-formed UTF-8 sequence at `at` (1 for ASCII), or 0
// where the bytes there are not UTF-8 (overlong forms and surrogates included).
std::size_t Utf8SequenceAt(const std::string& text, std::size_t at);
bool ValidUtf8(const std::string& text);
// `text` with every byte that is not UTF-8 replaced by U+FFFD: what is kept or
// shown is always valid UTF-8.
std::string ValidUtf8Text(const std::string& text);
// No byte that Windows-1252 leaves unassigned.
bool ValidWindows1252(const std::string& bytes);

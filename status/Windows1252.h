// The wire carries single-byte Windows-1252 text; the Linux desktop speaks
// UTF-8. These convert at the user-interface boundary.
#pragma once

#include <string>

// Every byte has a character (the five unassigned ones map to U+FFFD).
std::string Windows1252ToUtf8(const std::string& bytes);
// A character without a Windows-1252 byte becomes '?'; malformed UTF-8 too.
std::string Utf8ToWindows1252(const std::string& utf8);

// Updates from a browser: who may send them, what a request must look like,
// and the words it carries, checked before the board is touched. Anybody who
// can open the page can reach these routes; the desk protocol itself has no
// authentication, so the code guards only this door.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <string>

#include "BoardOptions.h"

struct UpdateSettings {
    bool on = false;
    std::string code;  // Windows-1252; empty: none is asked
};

const std::size_t MaxUpdateBody = 4096;

// The same length of time whatever the two hold, so a guess learns nothing from it.
bool CodesEqual(const std::string& given, const std::string& expected);

// Five wrong codes from one address within a minute shut that address out for
// a minute. Guesses spread over many addresses are caught board-wide: more
// than 20 wrong codes within a minute shut every address out until a minute
// has passed without one. Times are on the steady clock, so a clock that is
// set back shuts nobody out.
class CodeGuard {
public:
    // How long, in milliseconds, until an update from `address` is taken; 0: now.
    std::int64_t ShutFor(const std::string& address, std::int64_t steadyMs);
    // True when the board is shut out, however the address fares.
    bool BoardShut(std::int64_t steadyMs) const { return boardShut && steadyMs - lastWrong < 60 * 1000; }
    // A wrong code; true when it is the one that shuts the whole board out.
    bool Wrong(const std::string& address, std::int64_t steadyMs);

private:
    std::map<std::string, std::deque<std::int64_t>> wrong;
    std::map<std::string, std::int64_t> shutUntil;
    std::deque<std::int64_t> allWrong;
    bool boardShut = false;
    std::int64_t lastWrong = 0;
};

// A status for one row, as a browser gives it; texts in Windows-1252.
struct BrowserWord {
    std::string name;
    std::int32_t status = 0;
    std::string message;
    bool hasUntil = false;
    int hour = 0, minute = 0;
};

// The JSON bodies of POST /status and POST /remove. False with the words the
// page shows when a field is missing or wrong; nothing is ever silently cut
// or changed.
bool ParseStatusBody(const std::string& body, BrowserWord& word, std::string& code, std::string& error);
bool ParseRemoveBody(const std::string& body, std::string& name, std::string& code, std::string& error);
// POST /sign-in: the name (Windows-1252), the password as typed (UTF-8, never
// empty, at most 1 KiB) and whether to keep the session on this device.
bool ParseSignInBody(const std::string& body, std::string& name, std::string& password, bool& keep, std::string& error);

// The next time the board's clock shows hour:minute, within the next 24 hours.
std::int64_t UntilMs(int hour, int minute, std::int64_t nowMs);
// A calendar time on the board's clock, in its parts.
std::tm LocalParts(std::time_t when);
// "HH:MM" of a calendar time on the board's clock ("HH:MM:SS" with `seconds`).
std::string ClockText(std::int64_t ms, bool seconds = false);

#include <algorithm>
#include "WebUpdates.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "JsonFields.h"
#include "StatusRecord.h"
#include "Windows1252.h"

namespace {

const std::int64_t MinuteMs = 60 * 1000;
const std::size_t WrongCodesAllowed = 5;
const std::size_t BoardWrongCodesAllowed = 20;

}  // namespace

std::tm LocalParts(std::time_t when) {
    std::tm parts{};
#if defined(_WIN32)
    localtime_s(&parts, &when);
#else
    localtime_r(&when, &parts);
#endif
    return parts;
}

bool CodesEqual(const std::string& given, const std::string& expected) {
    unsigned difference = given.size() == expected.size() ? 0u : 1u;
    for (std::size_t i = 0; i < MaxUpdateCode + 1; ++i) {
        unsigned char a = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        unsigned char b = i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0;
        difference |= static_cast<unsigned>(a ^ b);
    }
    return difference == 0;
}

std::int64_t CodeGuard::ShutFor(const std::string& address, std::int64_t nowMs) {
    std::int64_t left = 0;
    if (BoardShut(nowMs)) left = lastWrong + MinuteMs - nowMs;
    if (boardShut && left == 0) boardShut = false;
    auto until = shutUntil.find(address);
    if (until == shutUntil.end()) return left;
    if (nowMs < until->second) return std::max(left, until->second - nowMs);
    shutUntil.erase(until);
    return left;
}

bool CodeGuard::Wrong(const std::string& address, std::int64_t nowMs) {
    lastWrong = nowMs;
    allWrong.push_back(nowMs);
    while (!allWrong.empty() && nowMs - allWrong.front() >= MinuteMs) allWrong.pop_front();
    const bool starts = !boardShut && allWrong.size() > BoardWrongCodesAllowed;
    if (starts) boardShut = true;
    std::deque<std::int64_t>& times = wrong[address];
    times.push_back(nowMs);
    while (!times.empty() && nowMs - times.front() >= MinuteMs) times.pop_front();
    if (times.size() >= WrongCodesAllowed) {
        shutUntil[address] = nowMs + MinuteMs;
        times.clear();
    }
    // Addresses that have gone quiet are forgotten, so the map stays small.
    if (wrong.size() > 1000)
        for (auto it = wrong.begin(); it != wrong.end();)
            it = it->second.empty() || nowMs - it->second.back() >= MinuteMs ? wrong.erase(it) : std::next(it);
    return starts;
}

bool ParseStatusBody(const std::string& text, BrowserWord& word, std::string& code, std::string& error) {
    nlohmann::json body;
    if (!ParseJsonObject(text, body, error) || !TakeCode(body, code, error) || !TakeName(body, word.name, error))
        return false;
    auto status = body.find("status");
    if (status == body.end() || !status->is_number_integer() || status->get<std::int64_t>() < 1 ||
        status->get<std::int64_t>() > 3) {
        error = "The status must be in, out or other (1, 2 or 3).";
        return false;
    }
    word.status = static_cast<std::int32_t>(status->get<std::int64_t>());
    if (!TakeText(body, "message", "message", StatusRecord::MessageSize - 1, false, word.message, error)) return false;
    std::string until;
    if (!TakeText(body, "until", "until time", 5, false, until, error)) return false;
    word.hasUntil = !until.empty();
    if (word.hasUntil) {
        auto digit = [&until](int i) {
            return until[static_cast<std::size_t>(i)] >= '0' && until[static_cast<std::size_t>(i)] <= '9';
        };
        bool shaped = until.size() == 5 && digit(0) && digit(1) && until[2] == ':' && digit(3) && digit(4);
        word.hour = shaped ? (until[0] - '0') * 10 + (until[1] - '0') : 99;
        word.minute = shaped ? (until[3] - '0') * 10 + (until[4] - '0') : 99;
        if (word.hour > 23 || word.minute > 59) {
            error = "The until time must be HH:MM, from 00:00 to 23:59.";
            return false;
        }
    }
    return true;
}

bool ParseRemoveBody(const std::string& text, std::string& name, std::string& code, std::string& error) {
    nlohmann::json body;
    return ParseJsonObject(text, body, error) && TakeCode(body, code, error) && TakeName(body, name, error);
}

bool ParseSignInBody(const std::string& text, std::string& name, std::string& password, bool& keep,
                     std::string& error) {
    nlohmann::json body;
    if (!ParseJsonObject(text, body, error) || !TakeName(body, name, error)) return false;
    auto typed = body.find("password");
    // An empty password is never tried: many directories take it as no sign-in at all.
    if (typed == body.end() || !typed->is_string() || typed->get<std::string>().empty()) {
        error = "The password is missing.";
        return false;
    }
    password = typed->get<std::string>();
    if (password.size() > 1024) {
        error = "The password is longer than 1 KiB.";
        return false;
    }
    auto kept = body.find("keep");
    keep = kept != body.end() && kept->is_boolean() && kept->get<bool>();
    return true;
}

std::int64_t UntilMs(int hour, int minute, std::int64_t nowMs) {
    const std::time_t now = static_cast<std::time_t>(nowMs / 1000);
    std::tm at = LocalParts(now);
    at.tm_hour = hour;
    at.tm_min = minute;
    at.tm_sec = 0;
    at.tm_isdst = -1;
    std::time_t when = std::mktime(&at);
    if (when <= now) {
        at = LocalParts(now);
        at.tm_mday += 1;  // tomorrow, the same time on the clock
        at.tm_hour = hour;
        at.tm_min = minute;
        at.tm_sec = 0;
        at.tm_isdst = -1;
        when = std::mktime(&at);
    }
    return static_cast<std::int64_t>(when) * 1000;
}

std::string ClockText(std::int64_t ms, bool seconds) {
    std::tm parts = LocalParts(static_cast<std::time_t>(ms / 1000));
    char text[16];
    std::strftime(text, sizeof text, seconds ? "%H:%M:%S" : "%H:%M", &parts);
    return text;
}

// What the web view asks of sign-in, where the board has it: the person of a
// session, a name and password checked (slow on purpose, so never on the web
// thread), and a session ended. The service answers from its accounts and its
// store; the web view knows nothing of either.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

struct SignedIn {
    std::string name;         // the account, Windows-1252, which is the row's key
    std::string displayName;  // UTF-8; the name when there is none
    bool reception = false;
};

// A password checked: right, wrong, or the directory could not say.
enum class SignInVerdict { Right, Wrong, Unavailable };

struct SignInDesk {
    // The person whose session `token` is, the session touched; false when
    // there is none (never begun, signed out, idle too long).
    std::function<bool(const std::string& token, SignedIn& who)> session;
    // Right, with a new session's token, when the password is the account's;
    // the same time for a name that is no account.
    std::function<SignInVerdict(const std::string& name, const std::string& password, bool keep, std::string& token,
                                SignedIn& who)>
        check;
    std::function<void(const std::string& token)> signOut;
    // Whether the board itself is shown to signed-in people only, and a wall
    // screen's view-only key checked.
    bool viewSignedIn = false;
    std::function<bool(const std::string& key)> wall;
};

// Three wrong passwords for one account within 15 minutes shut that account
// out for the rest of them, before any password is checked: below the lockout
// of a directory, and the same for a name that is no account. Steady clock.
class AccountGuard {
public:
    std::int64_t ShutFor(const std::string& key, std::int64_t steadyMs);
    void Wrong(const std::string& key, std::int64_t steadyMs);
    void Right(const std::string& key) { wrong.erase(key); }

private:
    std::map<std::string, std::deque<std::int64_t>> wrong;
};

// The session cookie's name: __Host- so that only this host, over HTTPS, may set it.
const char* const SessionCookie = "__Host-pegora";

// The local accounts, for offices without a directory: one line a person,
// "name:role:hash" (role "person" or "reception", the hash as PasswordHash.h
// keeps it), "#" comment lines; UTF-8. Names follow the board's key rule, so
// an account's name is its row's key.
#pragma once

#include <string>
#include <vector>

struct Account {
    std::string name;  // UTF-8, as written
    bool reception = false;
    std::string hash;
};

struct AccountsProblem {
    int line;
    std::string what;
};

// Empty when `name` may name an account, else why not.
std::string AccountNameProblem(const std::string& name);

// False, with each wrong line, when any line is wrong: nothing is taken from
// a damaged file, so that a half-read file never signs in the wrong people.
bool ParseAccounts(const std::string& text, std::vector<Account>& accounts, std::vector<AccountsProblem>& problems);
std::string AccountsText(const std::vector<Account>& accounts);

// By the board's key rule; null when there is none.
const Account* FindAccount(const std::vector<Account>& accounts, const std::string& name);

enum class AccountsRead { Read, Missing, Wrong };
// Wrong: `problems` says why (line 0: the file could not be read).
AccountsRead ReadAccountsFile(const std::string& path, std::vector<Account>& accounts,
                              std::vector<AccountsProblem>& problems);

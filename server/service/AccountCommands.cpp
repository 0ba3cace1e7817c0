#include "AccountCommands.h"

#include <cstdio>
#include <vector>

#include "AccountsFile.h"
#include "AtomicFile.h"
#include "PasswordHash.h"
#include "ServicePlatform.h"

namespace {

int Fail(const std::string& text) {
    std::fprintf(stderr, "pegmastd: %s\n", text.c_str());
    return 1;
}

bool ReadLine(std::string& line) {
    line.clear();
    for (int c; (c = std::getchar()) != EOF;) {
        if (c == '\n') return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

// Typed twice without echo at a console; one line from a pipe, for scripts.
bool ReadPassword(const std::string& name, std::string& password, std::string& error) {
    if (!ConsoleEcho(false)) {
        if (!ReadLine(password)) return error = "no password on standard input", false;
        if (!password.empty() && password.back() == '\r') password.pop_back();
    } else {
        std::string again;
        std::fprintf(stderr, "Password for %s: ", name.c_str());
        const bool first = ReadLine(password);
        std::fprintf(stderr, "\nAgain: ");
        const bool second = first && ReadLine(again);
        ConsoleEcho(true);
        std::fprintf(stderr, "\n");
        if (!second) return error = "no password was typed", false;
        if (again != password) return error = "the two passwords differ; nothing is changed", false;
    }
    if (password.empty()) return error = "an empty password is never taken", false;
    if (password.size() > MaxPasswordBytes) return error = "the password is longer than 1024 bytes", false;
    return true;
}

}  // namespace

int AccountCommand(const std::string& path, const std::string& command, const std::string& name, bool reception) {
    std::vector<Account> accounts;
    std::vector<AccountsProblem> problems;
    if (ReadAccountsFile(path, accounts, problems) == AccountsRead::Wrong) {
        for (const AccountsProblem& p : problems) Fail(path + ":" + std::to_string(p.line) + ": " + p.what);
        return 1;
    }
    if (command == "list") {
        for (const Account& a : accounts) std::printf("%s\t%s\n", a.name.c_str(), a.reception ? "reception" : "person");
        return 0;
    }
    const Account* found = FindAccount(accounts, name);
    if (command == "add") {
        const std::string wrong = AccountNameProblem(name);
        if (!wrong.empty()) return Fail(wrong);
        if (found) return Fail("there is an account " + found->name + " already");
    } else if (!found) {
        return Fail("there is no account " + name + " in " + path);
    }
    if (command == "remove") {
        accounts.erase(accounts.begin() + (found - accounts.data()));
    } else {
        std::string password, error, hash;
        if (!ReadPassword(name, password, error)) return Fail(error);
        if (!HashPassword(password, hash)) return Fail("the system gives no random salt");
        if (command == "add") {
            accounts.push_back({name, reception, hash});
        } else {
            accounts[static_cast<std::size_t>(found - accounts.data())].hash = hash;
        }
    }
    std::string error;
    if (!WriteFileAtomically(path, AccountsText(accounts), 0600, error)) return Fail(path + ": " + error);
    std::printf("# %s %s in %s\n", name.c_str(),
                command == "add"      ? "added"
                : command == "remove" ? "removed"
                                      : "has a new password",
                path.c_str());
    return 0;
}

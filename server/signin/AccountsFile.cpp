#include "AccountsFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "AsciiText.h"
#include "PasswordHash.h"
#include "StatusRecord.h"
#include "Windows1252.h"

namespace {

// A name as the board keys its rows: Windows-1252, case folded in ASCII.
std::string KeyOf(const std::string& name) { return AsciiLower(Utf8ToWindows1252(name)); }

}  // namespace

std::string AccountNameProblem(const std::string& name) {
    if (name.empty()) return "a name is needed";
    if (name.front() == ' ' || name.back() == ' ') return "a name cannot begin or end with a space";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f || c == ':') return "a name cannot hold a colon or a control character";
    const std::string board = Utf8ToWindows1252(name);
    if (Windows1252ToUtf8(board) != name) return "a name must be UTF-8 that the board can show";
    if (board.size() >= StatusRecord::NameSize)
        return "a name is at most " + std::to_string(StatusRecord::NameSize - 1) + " characters, as a row's is";
    return std::string();
}

bool ParseAccounts(const std::string& text, std::vector<Account>& accounts, std::vector<AccountsProblem>& problems) {
    std::vector<Account> taken;
    const std::size_t before = problems.size();
    int number = 0;
    std::size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(from, end - from);
        from = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            problems.push_back({number, "not name:role:hash"});
            continue;
        }
        Account a;
        a.name = line.substr(0, first);
        const std::string role = line.substr(first + 1, second - first - 1);
        a.hash = line.substr(second + 1);
        std::string wrong = AccountNameProblem(a.name);
        if (wrong.empty() && role != "person" && role != "reception")
            wrong = "the role must be person or reception, not \"" + role + "\"";
        if (wrong.empty()) wrong = StoredHashProblem(a.hash);
        if (wrong.empty() && FindAccount(taken, a.name)) wrong = a.name + " is given twice";
        if (!wrong.empty()) {
            problems.push_back({number, wrong});
            continue;
        }
        a.reception = role == "reception";
        taken.push_back(a);
    }
    if (problems.size() != before) return false;
    accounts.swap(taken);
    return true;
}

std::string AccountsText(const std::vector<Account>& accounts) {
    std::string text =
        "# Pegora's accounts: name:role:hash. Change them with pegmastd --add-account,\n"
        "# --set-password and --remove-account, not by hand.\n";
    for (const Account& a : accounts)
        text += a.name + ":" + (a.reception ? "reception" : "person") + ":" + a.hash + "\n";
    return text;
}

const Account* FindAccount(const std::vector<Account>& accounts, const std::string& name) {
    const std::string key = KeyOf(name);
    for (const Account& a : accounts)
        if (KeyOf(a.name) == key) return &a;
    return nullptr;
}

AccountsRead ReadAccountsFile(const std::string& path, std::vector<Account>& accounts,
                              std::vector<AccountsProblem>& problems) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return AccountsRead::Missing;
        problems.push_back({0, std::string("cannot be read: ") + std::strerror(errno)});
        return AccountsRead::Wrong;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseAccounts(text, accounts, problems) ? AccountsRead::Read : AccountsRead::Wrong;
}

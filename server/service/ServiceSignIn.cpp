#include "ServiceSignIn.h"

#include "AsciiText.h"
#include "BoardClock.h"
#include "LdapSignIn.h"
#include "PasswordHash.h"
#include "Windows1252.h"

ServiceSignIn::ServiceSignIn(const std::string& accountsFile_, std::shared_ptr<StaffDirectory> directory_)
    : accountsFile(accountsFile_), directory(std::move(directory_)) {
    desk.session = [this](const std::string& token, SignedIn& who) { return Session(token, who); };
    desk.check = [this](const std::string& name, const std::string& password, bool keep, std::string& token,
                        SignedIn& who) { return Check(name, password, keep, token, who); };
    desk.signOut = [this](const std::string& token) {
        std::lock_guard<std::mutex> guard(lock);
        std::string error;
        if (store) store->EndSession(Sha256(token), error);
    };
    desk.wall = [this](const std::string& key) {
        std::lock_guard<std::mutex> guard(lock);
        std::string error;
        bool known = false;
        return store && store->WallKeyKnown(Sha256(key), known, error) && known;
    };
}

bool ServiceSignIn::LoadAccounts(std::vector<std::string>& problems) {
    std::vector<Account> read;
    std::vector<AccountsProblem> wrong;
    const AccountsRead result = ReadAccountsFile(accountsFile, read, wrong);
    if (result == AccountsRead::Wrong) {
        for (const AccountsProblem& p : wrong)
            problems.push_back(accountsFile + ":" + std::to_string(p.line) + ": " + p.what);
        return false;
    }
    if (result == AccountsRead::Missing) {
        problems.push_back(accountsFile + ": there is no accounts file; add one with pegmastd --add-account");
        return false;
    }
    std::string dummy;
    if (unknownHash.empty() && !HashPassword("no account has this password", dummy)) {
        problems.push_back("the system gives no random numbers");
        return false;
    }
    std::lock_guard<std::mutex> guard(lock);
    accounts.swap(read);
    if (unknownHash.empty()) unknownHash = dummy;
    return true;
}

void ServiceSignIn::UseDirectory(const LdapSettings& settings, const std::string& group) {
    std::lock_guard<std::mutex> guard(lock);
    byDirectory = true;
    ldap = settings;
    receptionGroup = group;
}

bool ServiceSignIn::OpenStore(const std::string& path, std::string& error) {
    std::unique_ptr<BoardStore> opened = BoardStore::Connect(path, error);
    if (!opened) return false;
    std::lock_guard<std::mutex> guard(lock);
    store = std::move(opened);
    return true;
}

void ServiceSignIn::Describe(const Account& account, SignedIn& who) const {
    who.name = Utf8ToWindows1252(account.name);
    who.reception = account.reception;
    auto given = displayNames.find(who.name);
    who.displayName = given == displayNames.end() ? account.name : given->second;
    if (!directory) return;
    const DirectoryState state = directory->State();
    const StaffPerson* person = state.list ? FindStaff(*state.list, who.name) : nullptr;
    if (person && !person->displayName.empty()) who.displayName = person->displayName;
}

bool ServiceSignIn::Session(const std::string& token, SignedIn& who) {
    const std::string hash = Sha256(token);
    const std::int64_t now = WallMs();
    std::lock_guard<std::mutex> guard(lock);
    if (!store) return false;
    StoredSession session;
    bool found = false;
    std::string error;
    if (!store->FindSession(hash, session, found, error) || !found) return false;
    // An account removed since (from the file, or from the directory's list of
    // staff when it has one), or a session idle past its time, ends here.
    Account person{Windows1252ToUtf8(session.name), session.reception, std::string()};
    const Account* account = byDirectory ? &person : FindAccount(accounts, person.name);
    if (byDirectory && directory) {
        const DirectoryState state = directory->State();
        // Before the first read the list is empty, not a list of nobody.
        if (state.list && state.updatedMs && !FindStaff(*state.list, session.name)) account = nullptr;
    }
    if (!account || now - session.seenMs > (session.keep ? KeptSessionIdleMs : SessionIdleMs)) {
        store->EndSession(hash, error);
        return false;
    }
    if (now - session.seenMs > 60 * 1000) store->TouchSession(hash, now, error);  // a minute is close enough
    Describe(*account, who);
    return true;
}

SignInVerdict ServiceSignIn::CheckDirectory(const std::string& name, const std::string& password, Account& found) {
    LdapSettings settings;
    std::string group;
    {
        std::lock_guard<std::mutex> guard(lock);
        settings = ldap;
        group = receptionGroup;
    }
    LdapPerson person;
    std::string error;
    const LdapVerdict verdict = CheckLdapPassword(settings, group, Windows1252ToUtf8(name), password, person, error);
    if (verdict == LdapVerdict::Unreachable && notice) notice("a sign-in could not be checked: " + error);
    if (verdict != LdapVerdict::Right)
        return verdict == LdapVerdict::Wrong ? SignInVerdict::Wrong : SignInVerdict::Unavailable;
    found.name = person.name.empty() ? Windows1252ToUtf8(name) : person.name;
    found.reception = person.reception;
    if (!person.displayName.empty()) {
        std::lock_guard<std::mutex> guard(lock);
        displayNames[Utf8ToWindows1252(found.name)] = person.displayName;
    }
    return SignInVerdict::Right;
}

SignInVerdict ServiceSignIn::Check(const std::string& name, const std::string& password, bool keep, std::string& token,
                                   SignedIn& who) {
    Account found;
    if (byDirectory) {
        const SignInVerdict verdict = CheckDirectory(name, password, found);
        if (verdict != SignInVerdict::Right) return verdict;
        return StartSession(found, keep, token, who) ? SignInVerdict::Right : SignInVerdict::Unavailable;
    }
    std::string hash;
    bool known = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        const Account* account = FindAccount(accounts, Windows1252ToUtf8(name));
        known = account != nullptr;
        if (known) found = *account;
        hash = known ? found.hash : unknownHash;
    }
    // Outside the lock: the hash's time is the point, and nobody else waits for it.
    const bool right = PasswordMatches(password, hash) && known;
    if (!right) return SignInVerdict::Wrong;
    return StartSession(found, keep, token, who) ? SignInVerdict::Right : SignInVerdict::Unavailable;
}

bool ServiceSignIn::StartSession(const Account& found, bool keep, std::string& token, SignedIn& who) {
    std::string random;
    if (!RandomBytes(32, random)) return false;
    token = HexOf(random);  // a new one at every sign-in: no session is ever fixed from outside
    StoredSession session;
    session.tokenHash = Sha256(token);
    session.name = Utf8ToWindows1252(found.name);
    session.reception = found.reception;
    session.keep = keep;
    session.createdMs = session.seenMs = WallMs();
    std::lock_guard<std::mutex> guard(lock);
    std::string error;
    if (!store || !store->AddSession(session, error)) return false;
    Describe(found, who);
    return true;
}

void ServiceSignIn::Forget(std::int64_t nowMs) {
    std::lock_guard<std::mutex> guard(lock);
    std::string error;
    if (store) store->ForgetSessions(nowMs - SessionIdleMs, nowMs - KeptSessionIdleMs, error);
}

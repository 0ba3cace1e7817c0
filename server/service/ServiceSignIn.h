// Sign-in for the service's web view: passwords checked against the local
// accounts file or by the directory (LDAP), sessions kept (hashed) in the board's
// database so that a restart signs nobody out, and who a session's person is
// (their display name from the staff directory, their role from the file or
// the directory's reception group).
#pragma once

#include <cstdint>
#include <map>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AccountsFile.h"
#include "BoardStore.h"
#include "LdapSettings.h"
#include "SignInDesk.h"
#include "StaffDirectory.h"

// How long a session lasts unused: a working day, or a month on a kept device.
const std::int64_t SessionIdleMs = 12LL * 3600 * 1000;
const std::int64_t KeptSessionIdleMs = 30LL * 86400 * 1000;

class ServiceSignIn {
public:
    ServiceSignIn(const std::string& accountsFile, std::shared_ptr<StaffDirectory> directory);
    // The accounts read (again); false with each problem, and the accounts before kept.
    bool LoadAccounts(std::vector<std::string>& problems);
    // Passwords checked by the directory instead; reception: its group or members of it.
    void UseDirectory(const LdapSettings& settings, const std::string& receptionGroup);
    // Its own connection to the database, used under its lock from any thread.
    bool OpenStore(const std::string& path, std::string& error);
    const SignInDesk& Desk() const { return desk; }
    // The board itself shown to signed-in people (and wall links) only.
    void ShowSignedInOnly(bool on) { desk.viewSignedIn = on; }
    // Told what an administrator should hear of (a directory that cannot be asked). Set before use.
    std::function<void(const std::string& line)> notice;
    // Sessions idle past their time deleted.
    void Forget(std::int64_t nowMs);

private:
    bool Session(const std::string& token, SignedIn& who);
    SignInVerdict Check(const std::string& name, const std::string& password, bool keep, std::string& token,
                        SignedIn& who);
    SignInVerdict CheckDirectory(const std::string& name, const std::string& password, Account& found);
    void Describe(const Account& account, SignedIn& who) const;
    bool StartSession(const Account& account, bool keep, std::string& token, SignedIn& who);

    const std::string accountsFile;
    std::shared_ptr<StaffDirectory> directory;
    std::mutex lock;
    std::vector<Account> accounts;
    bool byDirectory = false;
    LdapSettings ldap;
    std::string receptionGroup;
    // Display names the directory gave at sign-in, for while the staff list is not read yet.
    std::map<std::string, std::string> displayNames;
    std::string unknownHash;  // checked for a name that is no account, so that it takes as long
    std::unique_ptr<BoardStore> store;
    SignInDesk desk;
};

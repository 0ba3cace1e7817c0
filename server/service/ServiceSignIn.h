// Sign-in with the local accounts for the service's web view: passwords
// checked against the accounts file, sessions kept (hashed) in the board's
// database so that a restart signs nobody out, and who a session's person is
// (their display name from the staff directory, their role from the file).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AccountsFile.h"
#include "BoardStore.h"
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
    // Its own connection to the database, used under its lock from any thread.
    bool OpenStore(const std::string& path, std::string& error);
    const SignInDesk& Desk() const { return desk; }
    // Sessions idle past their time deleted.
    void Forget(std::int64_t nowMs);

private:
    bool Session(const std::string& token, SignedIn& who);
    bool Check(const std::string& name, const std::string& password, bool keep, std::string& token, SignedIn& who);
    void Describe(const Account& account, SignedIn& who) const;

    const std::string accountsFile;
    std::shared_ptr<StaffDirectory> directory;
    std::mutex lock;
    std::vector<Account> accounts;
    std::string unknownHash;  // checked for a name that is no account, so that it takes as long
    std::unique_ptr<BoardStore> store;
    SignInDesk desk;
};

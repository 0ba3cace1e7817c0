// Where the staff list comes from: a CSV file, or an LDAP directory (made in
// LdapSearch.h). The refresher reads through this without knowing which.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "StaffList.h"

// Why a read failed: in full for the log (the file, the servers, the account),
// and in words that anybody who opens the page may read.
struct StaffError {
    std::string detail;
    std::string shown;
};

struct StaffSource {
    std::string kind;     // "file" or "ldap", as the configuration names it
    std::string name;     // for the log: the file, or the servers
    bool remote = false;  // over the network
    // The whole list: false with the error; `problems` lists entries skipped.
    std::function<bool(StaffList& list, std::vector<std::string>& problems, StaffError& error)> read;
    // Changes when the source did (a file's size and time); null: only the interval says when.
    std::function<std::string()> signature;
};

StaffSource StaffFileSource(const std::string& path);

// Reads a CSV staff file whole: false with the error; `problems` lists lines skipped.
bool ReadStaffFile(const std::string& path, StaffList& list, std::vector<std::string>& problems, StaffError& error);

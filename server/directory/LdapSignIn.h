// A person's directory password checked: their entry found with the service
// account by the name attribute, then one bind as that entry with the typed
// password on a connection of its own, over TLS only. Whether they belong to
// reception: their group attribute, or membership of the reception group,
// nested groups included.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "LdapSearch.h"

// A filter's value escaped as RFC 4515 says: no name typed at the sign-in can
// widen the search ("*)(uid=*").
std::string LdapFilterValue(const std::string& value);

// An entry found: its DN and the values of the attributes asked for, by the
// names as asked.
struct LdapFound {
    std::string dn;
    std::map<std::string, std::vector<std::string>> values;
};

// One bound connection: the platform's part.
class LdapLink {
public:
    virtual ~LdapLink() = default;
    // The entries under `base` (or `base` itself) that match, at most `limit`;
    // false with the error. No attributes asked: DNs only.
    virtual bool Search(const std::string& base, bool baseOnly, const std::string& filter,
                        const std::vector<std::string>& attributes, std::size_t limit, std::vector<LdapFound>& found,
                        std::string& error) = 0;
};

// Connected to `server` and bound as `dn` with `password`; null with the
// error and its kind (LdapTrouble::Password for a wrong password).
std::unique_ptr<LdapLink> OpenLdapLink(const LdapServer& server, const LdapSettings& settings, const std::string& dn,
                                       const std::string& password, std::string& error, LdapTrouble& trouble);

struct LdapPerson {
    std::string dn, name, displayName, group;
    bool reception = false;
};

enum class LdapVerdict { Right, Wrong, Unreachable };

// Nested groups are followed this deep, where the directory has no rule that does it.
const int LdapGroupDepth = 8;

// Whether the password is `name`'s. Wrong for an empty password (an empty
// simple bind is anonymous on many servers), a name that finds nobody or more
// than one, and a refused bind; Unreachable, with the error (never the
// password), when the directory could not say.
LdapVerdict CheckLdapPassword(const LdapSettings& settings, const std::string& receptionGroup, const std::string& name,
                              const std::string& password, LdapPerson& person, std::string& error);

// Whether `dn` is in group `groupDn`, directly or through nested groups: the
// Active Directory rule first, then `member` followed a level at a time,
// searching the whole domain that `base` is in.
bool InLdapGroup(LdapLink& link, const std::string& base, const std::string& dn, const std::string& groupDn);

// The people under the base that match the filter, read from the first
// server that answers: the platform's LDAP library (OpenLDAP's libldap, or
// Windows' wldap32). Read a page of 500 at a time, so that a server's size
// limit (Active Directory's 1,000) never cuts the list; connecting and each
// page wait at most 10 seconds; referrals are not chased.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "LdapSettings.h"
#include "StaffList.h"
#include "StaffSource.h"

const int LdapTimeoutSeconds = 10;
const int LdapPageSize = 500;

// What kind of failure a read met, from the least telling to the most.
enum class LdapTrouble { NoAnswer, NoAnswerOrCertificate, Search, Refused, Password, Certificate };

// The kind in words fit for the page: no account, server or password in them.
std::string LdapTroubleText(LdapTrouble trouble);

// The staff from the directory, for the refresher.
StaffSource StaffLdapSource(const LdapSettings& settings);

// The servers tried in order until one answers. False with the error of
// every server tried (the password is never in it) and the most telling kind.
bool SearchLdap(const LdapSettings& settings, std::vector<StaffEntry>& entries, StaffError& error);

// One server: the platform's part.
bool SearchLdapServer(const LdapServer& server, const LdapSettings& settings, std::vector<StaffEntry>& entries,
                      std::string& error, LdapTrouble& trouble);

// An entry from its attributes' first values, by the attributes' names.
StaffEntry LdapEntry(const LdapSettings& settings, const std::function<std::string(const std::string&)>& value);
std::string BindError(const std::string& dn, const std::string& why);
std::string SearchError(const LdapSettings& settings, const std::string& why, bool sizeLimit, std::size_t people);

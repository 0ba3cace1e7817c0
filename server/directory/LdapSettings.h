// Where and how the staff are read from Active Directory or another LDAP
// server, as the service's configuration gives it.
#pragma once

#include <string>
#include <vector>

// Active Directory's people whose accounts are not disabled.
const char* const DefaultLdapFilter =
    "(&(objectCategory=person)(objectClass=user)(!(userAccountControl:1.2.840.113556.1.4.803:=2)))";

struct LdapSettings {
    std::string urls;  // "ldap://host[:port]" or "ldaps://...", several separated by spaces
    bool startTls = false;
    std::string caFile;    // the CAs a server's certificate must come from (Linux); empty: the system's
    std::string bindDn;    // empty: anonymous; a DN or user@domain
    std::string password;  // from a file or a credential, never from the configuration itself
    std::string base;
    std::string filter = DefaultLdapFilter;
    std::string nameAttribute = "sAMAccountName";
    std::string displayNameAttribute = "displayName";
    std::string groupAttribute = "department";
    std::string phoneAttribute = "telephoneNumber";
};

struct LdapServer {
    std::string url;  // as the library takes it: scheme, host and port
    std::string host;
    unsigned port = 0;
    bool secure = false;  // ldaps://
};

// The servers in the order given; false with what is wrong.
bool ParseLdapUrls(const std::string& text, std::vector<LdapServer>& servers, std::string& error);

// An attribute's name: letters, digits and '-', or a dotted OID.
bool LdapAttributeName(const std::string& name);

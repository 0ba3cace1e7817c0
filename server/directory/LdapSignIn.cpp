#include "LdapSignIn.h"

#include <cstdio>
#include <set>

#include "AsciiText.h"

namespace {

// DNs as servers write them back: case and the spaces after commas aside.
std::string SameDn(const std::string& dn) {
    std::string out;
    for (std::size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == ' ' && (out.empty() || out.back() == ',' || out.back() == '=')) continue;
        out += dn[i];
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return AsciiLower(out);
}

// Where groups may be, whatever part of the tree the people are in: the
// domain's components of a DN (ou=people,dc=example,dc=com -> dc=example,dc=com).
std::string DomainOf(const std::string& dn) {
    const std::string lower = AsciiLower(dn);
    for (std::size_t at = 0; at < lower.size(); at = lower.find(',', at) + 1) {
        std::size_t start = at;
        while (start < lower.size() && lower[start] == ' ') ++start;
        if (lower.compare(start, 3, "dc=") == 0) return dn.substr(start);
        if (lower.find(',', at) == std::string::npos) break;
    }
    return dn;
}

std::string First(const LdapFound& entry, const std::string& attribute) {
    auto it = entry.values.find(attribute);
    return it == entry.values.end() || it->second.empty() ? std::string() : it->second.front();
}

// Groups found by the reception group's name (cn) under the base, or the DN itself when it is one.
std::vector<std::string> GroupDns(LdapLink& link, const std::string& base, const std::string& group) {
    if (group.find('=') != std::string::npos) return {group};
    std::vector<LdapFound> found;
    std::string error;
    const std::string filter =
        "(&(|(objectClass=group)(objectClass=groupOfNames)(objectClass=groupOfUniqueNames))(cn=" +
        LdapFilterValue(group) + "))";
    std::vector<std::string> dns;
    if (link.Search(DomainOf(base), false, filter, {}, 16, found, error))
        for (const LdapFound& f : found) dns.push_back(f.dn);
    return dns;
}

}  // namespace

std::string LdapFilterValue(const std::string& value) {
    std::string out;
    for (unsigned char ch : value) {
        if (ch == '*' || ch == '(' || ch == ')' || ch == '\\' || ch == 0) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "\\%02x", ch);
            out += hex;
        } else {
            out += static_cast<char>(ch);
        }
    }
    return out;
}

bool InLdapGroup(LdapLink& link, const std::string& base, const std::string& dn, const std::string& groupDn) {
    std::vector<LdapFound> found;
    std::string error;
    // Active Directory follows the nesting itself; elsewhere the rule matches nothing.
    if (link.Search(dn, true, "(memberOf:1.2.840.113556.1.4.1941:=" + LdapFilterValue(groupDn) + ")", {}, 1, found,
                    error) &&
        !found.empty())
        return true;
    const std::string target = SameDn(groupDn);
    std::set<std::string> seen = {SameDn(dn)};
    std::vector<std::string> level = {dn};
    for (int depth = 0; depth < LdapGroupDepth && !level.empty(); ++depth) {
        std::string filter = "(|";
        for (const std::string& member : level)
            filter += "(member=" + LdapFilterValue(member) + ")(uniqueMember=" + LdapFilterValue(member) + ")";
        filter += ")";
        found.clear();
        if (!link.Search(DomainOf(base), false, filter, {}, 1000, found, error)) return false;
        std::vector<std::string> next;
        for (const LdapFound& group : found) {
            if (SameDn(group.dn) == target) return true;
            if (seen.insert(SameDn(group.dn)).second) next.push_back(group.dn);
        }
        level.swap(next);
    }
    return false;
}

LdapVerdict CheckLdapPassword(const LdapSettings& settings, const std::string& receptionGroup, const std::string& name,
                              const std::string& password, LdapPerson& person, std::string& error) {
    error.clear();
    // An empty simple bind is an anonymous one: it would "succeed" for anybody.
    if (password.empty() || name.empty() || name.size() > 256) return LdapVerdict::Wrong;
    std::vector<LdapServer> servers;
    if (!ParseLdapUrls(settings.urls, servers, error)) return LdapVerdict::Unreachable;
    const std::vector<std::string> attributes = {settings.nameAttribute, settings.displayNameAttribute,
                                                 settings.groupAttribute};
    const std::string filter =
        "(&" + settings.filter + "(" + settings.nameAttribute + "=" + LdapFilterValue(name) + "))";
    for (const LdapServer& server : servers) {
        std::string why;
        LdapTrouble trouble = LdapTrouble::NoAnswer;
        std::unique_ptr<LdapLink> service =
            OpenLdapLink(server, settings, settings.bindDn, settings.password, why, trouble);
        std::vector<LdapFound> found;
        if (!service || !service->Search(settings.base, false, filter, attributes, 2, found, why)) {
            error += (error.empty() ? "" : "; ") + server.url + ": " + why;
            continue;  // the service account's work may go to the next server; the person's bind never does
        }
        if (found.size() != 1) {
            // A name that finds nobody takes a bind's time too, as one bind to an entry that is not
            // there, which no directory counts against anybody: the answer says nothing of who exists.
            OpenLdapLink(server, settings, "cn=nobody by this name," + settings.base, password, why, trouble);
            return LdapVerdict::Wrong;
        }
        person.dn = found[0].dn;
        person.name = First(found[0], settings.nameAttribute);
        person.displayName = First(found[0], settings.displayNameAttribute);
        person.group = First(found[0], settings.groupAttribute);
        // One bind with the typed password, never repeated: directories lock accounts after a few.
        std::unique_ptr<LdapLink> own = OpenLdapLink(server, settings, person.dn, password, why, trouble);
        if (!own) {
            if (trouble == LdapTrouble::Password) return LdapVerdict::Wrong;
            error = server.url + ": " + why;
            return LdapVerdict::Unreachable;
        }
        person.reception = false;
        if (!receptionGroup.empty()) {
            person.reception = AsciiLower(person.group) == AsciiLower(receptionGroup);
            for (const std::string& group :
                 person.reception ? std::vector<std::string>() : GroupDns(*service, settings.base, receptionGroup))
                if ((person.reception = InLdapGroup(*service, settings.base, person.dn, group))) break;
        }
        return LdapVerdict::Right;
    }
    return LdapVerdict::Unreachable;
}

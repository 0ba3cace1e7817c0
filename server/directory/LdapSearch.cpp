#include "LdapSearch.h"

bool SearchLdap(const LdapSettings& settings, std::vector<StaffEntry>& entries, std::string& error) {
    std::vector<LdapServer> servers;
    if (!ParseLdapUrls(settings.urls, servers, error)) return false;
    error.clear();
    for (const LdapServer& server : servers) {
        std::string why;
        std::vector<StaffEntry> found;
        if (SearchLdapServer(server, settings, found, why)) {
            entries = std::move(found);
            error.clear();
            return true;
        }
        error += (error.empty() ? "" : "; ") + server.url + ": " + why;
    }
    return false;
}

StaffEntry LdapEntry(const LdapSettings& settings, const std::function<std::string(const std::string&)>& value) {
    StaffEntry entry;
    entry.name = value(settings.nameAttribute);
    entry.displayName = value(settings.displayNameAttribute);
    entry.group = value(settings.groupAttribute);
    entry.phone = value(settings.phoneAttribute);
    return entry;
}

std::string BindError(const LdapSettings& settings, const std::string& why) {
    return (settings.bindDn.empty() ? "anonymous bind: " : "bind as " + settings.bindDn + ": ") + why;
}

std::string SearchError(const LdapSettings& settings, const std::string& why, bool sizeLimit, std::size_t people) {
    // A cut list would take people off the board: never taken, always said.
    return "search under \"" + settings.base + "\": " + why +
           (sizeLimit ? " after " + std::to_string(people) + " people (the server does not page its answers)" : "");
}

StaffSource StaffLdapSource(const LdapSettings& settings) {
    StaffSource source;
    source.kind = "ldap";
    source.name = settings.urls;
    source.remote = true;
    source.read = [settings](StaffList& list, std::vector<std::string>&, std::string& error) {
        std::vector<StaffEntry> entries;
        if (!SearchLdap(settings, entries, error)) return false;
        list = MakeStaffList(entries);
        return true;
    };
    return source;
}

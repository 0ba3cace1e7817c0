#include "LdapSearch.h"

std::string LdapTroubleText(LdapTrouble trouble) {
    switch (trouble) {
    case LdapTrouble::NoAnswer: return "no directory server answered";
    case LdapTrouble::NoAnswerOrCertificate: return "no directory server answered, or its certificate is not trusted";
    case LdapTrouble::Search: return "the directory's search failed";
    case LdapTrouble::Refused: return "the directory refused the service account";
    case LdapTrouble::Password: return "the directory refused the service account's password";
    case LdapTrouble::Certificate: return "the server's certificate is not trusted";
    }
    return "the directory cannot be read";
}

bool SearchLdap(const LdapSettings& settings, std::vector<StaffEntry>& entries, StaffError& error) {
    std::vector<LdapServer> servers;
    error = StaffError();
    if (!ParseLdapUrls(settings.urls, servers, error.detail)) {
        error.shown = "the directory's servers are not given right";
        return false;
    }
    LdapTrouble worst = LdapTrouble::NoAnswer;
    for (const LdapServer& server : servers) {
        std::string why;
        LdapTrouble trouble = LdapTrouble::NoAnswer;
        std::vector<StaffEntry> found;
        if (SearchLdapServer(server, settings, found, why, trouble)) {
            entries = std::move(found);
            error = StaffError();
            return true;
        }
        if (trouble > worst) worst = trouble;
        error.detail += (error.detail.empty() ? "" : "; ") + server.url + ": " + why;
    }
    error.shown = LdapTroubleText(worst);
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

std::string BindError(const std::string& dn, const std::string& why) {
    return (dn.empty() ? "anonymous bind: " : "bind as " + dn + ": ") + why;
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
    source.read = [settings](StaffList& list, std::vector<std::string>&, StaffError& error) {
        std::vector<StaffEntry> entries;
        if (!SearchLdap(settings, entries, error)) return false;
        list = MakeStaffList(entries);
        return true;
    };
    return source;
}

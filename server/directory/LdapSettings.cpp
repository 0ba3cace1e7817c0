#include "LdapSettings.h"

#include <sstream>

#include "AsciiText.h"

namespace {

bool HostName(const std::string& host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return host.find_first_not_of("0123456789abcdefABCDEF:.", 1) == host.size() - 1;
    return !host.empty() && host.size() <= 253 &&
           host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_") ==
               std::string::npos;
}

bool OneUrl(const std::string& written, LdapServer& server) {
    const std::string lower = AsciiLower(written);
    std::string rest;
    if (lower.compare(0, 7, "ldap://") == 0) {
        rest = written.substr(7);
        server.port = 389;
    } else if (lower.compare(0, 8, "ldaps://") == 0) {
        rest = written.substr(8);
        server.secure = true;
        server.port = 636;
    } else {
        return false;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::size_t colon = rest.rfind(':');
    if (colon != std::string::npos && rest.find(']', colon) == std::string::npos) {
        const std::string port = rest.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
        server.port = static_cast<unsigned>(std::stoul(port));
        if (server.port == 0 || server.port > 65535) return false;
        rest.erase(colon);
    }
    if (!HostName(rest)) return false;
    server.host = rest;
    server.url = std::string(server.secure ? "ldaps://" : "ldap://") + rest + ":" + std::to_string(server.port);
    if (server.host.front() == '[') server.host = server.host.substr(1, server.host.size() - 2);
    return true;
}

}  // namespace

bool ParseLdapUrls(const std::string& text, std::vector<LdapServer>& servers, std::string& error) {
    std::istringstream in(text);
    std::vector<LdapServer> found;
    for (std::string word; in >> word;) {
        LdapServer server;
        if (!OneUrl(word, server)) {
            error = "\"" + word + "\" is not ldap://host[:port] or ldaps://host[:port]";
            return false;
        }
        found.push_back(server);
    }
    if (found.empty()) {
        error = "no server is given";
        return false;
    }
    servers = found;
    return true;
}

bool LdapAttributeName(const std::string& name) {
    return !name.empty() && name.size() <= 64 &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.;") ==
               std::string::npos;
}

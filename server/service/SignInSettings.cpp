// What sign-in asks of the rest of the configuration.
#include "ServiceConfig.h"

void CheckSignInSettings(const ServiceConfig& config, std::map<std::string, int>& seen,
                         std::vector<ConfigProblem>& problems) {
    const int line = seen["websignin"];
    const std::string named = "WebSignIn = " + config.webSignIn;
    if (config.webSignIn == "none") {
        if (config.webViewAccess != "anyone")
            problems.push_back(
                {seen["webviewaccess"], "WebViewAccess = signed-in needs WebSignIn (accounts or directory)"});
        return;
    }
    // Passwords and session cookies never cross the network in clear: HTTPS here,
    // or a reverse proxy in front that terminates it.
    if (config.webTlsCertificateFile.empty() && config.webTrustedProxy.empty())
        problems.push_back({line, named + " needs HTTPS: set WebTlsCertificateFile (and WebTlsKeyFile), or "
                                          "WebTrustedProxy for a reverse proxy that serves HTTPS"});
    if (!config.webUpdates) problems.push_back({line, named + " needs WebUpdates = yes"});
    if (config.webSignIn != "directory") return;
    if (config.directory != "ldap") {
        problems.push_back({line, named + " needs Directory = ldap: the passwords are the directory's"});
        return;
    }
    // People's own passwords go to the directory: over TLS, whatever LdapAllowPlainBind says.
    std::vector<LdapServer> servers;
    std::string error;
    if (!config.ldap.startTls && ParseLdapUrls(config.ldap.urls, servers, error))
        for (const LdapServer& server : servers)
            if (!server.secure)
                problems.push_back({line, named + " would send people's passwords unencrypted to " + server.url +
                                              ": use ldaps:// or LdapStartTls = yes"});
}

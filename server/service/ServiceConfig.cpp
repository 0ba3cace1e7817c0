#include "ServiceConfig.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "AsciiText.h"
#include "BoardOptions.h"
#include "ProxyRule.h"
#include "WebTls.h"
#include "Windows1252.h"

namespace {

const std::size_t MaxConfigBytes = 1 << 20;

bool Number(const std::string& text, std::uint32_t low, std::uint32_t high, std::uint32_t& value) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned long long n = std::stoull(text);
    if (n < low || n > high) return false;
    value = static_cast<std::uint32_t>(n);
    return true;
}

struct NumberSetting {
    const char* name;
    std::uint32_t ServiceConfig::*field;
    std::uint32_t low, high;
};

const NumberSetting Numbers[] = {
    {"Port", &ServiceConfig::port, 1, 65535},
    {"WebPort", &ServiceConfig::webPort, 0, 65535},
    {"SilentMinutes", &ServiceConfig::silentMinutes, 0, 1440},
    {"AcceptPacingMs", &ServiceConfig::acceptPacingMs, 0, 1000},
    {"MaxConnections", &ServiceConfig::maxConnections, 1, 100000},
    {"ForgetDays", &ServiceConfig::forgetDays, 0, 36500},
    {"HistoryDays", &ServiceConfig::historyDays, 0, 3650},
    {"DirectoryRefreshMinutes", &ServiceConfig::directoryRefreshMinutes, 1, 1440},
};

enum class TextKind { Path, Urls, Words, Filter, Attribute, Addresses };

struct TextSetting {
    const char* name;
    std::string& (*field)(ServiceConfig&);
    TextKind kind;
};

const TextSetting Texts[] = {
    {"StateFile", [](ServiceConfig& c) -> std::string& { return c.stateFile; }, TextKind::Path},
    {"WebUpdateCodeFile", [](ServiceConfig& c) -> std::string& { return c.webUpdateCodeFile; }, TextKind::Path},
    {"DirectoryFile", [](ServiceConfig& c) -> std::string& { return c.directoryFile; }, TextKind::Path},
    {"WebTlsCertificateFile", [](ServiceConfig& c) -> std::string& { return c.webTlsCertificateFile; }, TextKind::Path},
    {"WebTlsKeyFile", [](ServiceConfig& c) -> std::string& { return c.webTlsKeyFile; }, TextKind::Path},
    {"WebTlsCertificatePasswordFile", [](ServiceConfig& c) -> std::string& { return c.webTlsCertificatePasswordFile; },
     TextKind::Path},
    {"WebAccountsFile", [](ServiceConfig& c) -> std::string& { return c.webAccountsFile; }, TextKind::Path},
    {"WebReceptionGroup", [](ServiceConfig& c) -> std::string& { return c.webReceptionGroup; }, TextKind::Words},
    {"WebTrustedProxy", [](ServiceConfig& c) -> std::string& { return c.webTrustedProxy; }, TextKind::Addresses},
    {"LdapUrl", [](ServiceConfig& c) -> std::string& { return c.ldap.urls; }, TextKind::Urls},
    {"LdapCaFile", [](ServiceConfig& c) -> std::string& { return c.ldap.caFile; }, TextKind::Path},
    {"LdapBindDn", [](ServiceConfig& c) -> std::string& { return c.ldap.bindDn; }, TextKind::Words},
    {"LdapBindPasswordFile", [](ServiceConfig& c) -> std::string& { return c.ldapBindPasswordFile; }, TextKind::Path},
    {"LdapBase", [](ServiceConfig& c) -> std::string& { return c.ldap.base; }, TextKind::Words},
    {"LdapFilter", [](ServiceConfig& c) -> std::string& { return c.ldap.filter; }, TextKind::Filter},
    {"LdapNameAttribute", [](ServiceConfig& c) -> std::string& { return c.ldap.nameAttribute; }, TextKind::Attribute},
    {"LdapDisplayNameAttribute", [](ServiceConfig& c) -> std::string& { return c.ldap.displayNameAttribute; },
     TextKind::Attribute},
    {"LdapGroupAttribute", [](ServiceConfig& c) -> std::string& { return c.ldap.groupAttribute; }, TextKind::Attribute},
    {"LdapPhoneAttribute", [](ServiceConfig& c) -> std::string& { return c.ldap.phoneAttribute; }, TextKind::Attribute},
};

struct FlagSetting {
    const char* name;
    bool& (*field)(ServiceConfig&);
};

const FlagSetting Flags[] = {
    {"LogChanges", [](ServiceConfig& c) -> bool& { return c.logChanges; }},
    {"WebUpdates", [](ServiceConfig& c) -> bool& { return c.webUpdates; }},
    {"LdapStartTls", [](ServiceConfig& c) -> bool& { return c.ldap.startTls; }},
    {"LdapAllowPlainBind", [](ServiceConfig& c) -> bool& { return c.ldapAllowPlainBind; }},
};

struct ChoiceSetting {
    const char* name;
    std::string& (*field)(ServiceConfig&);
    const char* choices[4];  // up to three, then null
};

const ChoiceSetting Choices[] = {
    {"Directory", [](ServiceConfig& c) -> std::string& { return c.directory; }, {"none", "file", "ldap", nullptr}},
    {"WebSignIn",
     [](ServiceConfig& c) -> std::string& { return c.webSignIn; },
     {"none", "accounts", "directory", nullptr}},
    {"WebViewAccess",
     [](ServiceConfig& c) -> std::string& { return c.webViewAccess; },
     {"anyone", "signed-in", nullptr}},
};

// What a value of this kind must be, or empty when it is that.
std::string Wrong(TextKind kind, const std::string& value) {
    switch (kind) {
    case TextKind::Path: {
        bool absolute =
            !value.empty() &&
            (value[0] == '/' || (value.size() > 2 && value[1] == ':' && (value[2] == '\\' || value[2] == '/')));
        return absolute ? "" : "an absolute path";
    }
    case TextKind::Urls: {
        std::vector<LdapServer> servers;
        std::string error;
        return ParseLdapUrls(value, servers, error) ? ""
                                                    : "ldap://host[:port] or ldaps://host[:port], "
                                                      "several separated by spaces";
    }
    case TextKind::Words: return value.find_first_of("\r\n\t") == std::string::npos ? "" : "one line";
    case TextKind::Filter: {
        int depth = 0;
        for (char ch : value)
            if ((depth += ch == '(' ? 1 : ch == ')' ? -1 : 0) < 0) break;
        return value.size() > 2 && value.front() == '(' && value.back() == ')' && depth == 0
                   ? ""
                   : "an LDAP filter in parentheses";
    }
    case TextKind::Attribute: return LdapAttributeName(value) ? "" : "an attribute's name";
    case TextKind::Addresses: {
        std::vector<std::string> addresses;
        std::string wrong;
        return ParseProxyAddresses(value, addresses, wrong) ? "" : "IP addresses separated by spaces";
    }
    }
    return "";
}

// A code as written (UTF-8) into Windows-1252; empty when taken, else what is wrong.
std::string CodeFrom(const std::string& value, const std::string& where, std::string& code) {
    std::string taken = Utf8ToWindows1252(value);
    if (Windows1252ToUtf8(taken) != value) return where + " has a character outside Windows-1252";
    if (taken.size() > MaxUpdateCode)
        return where + " must be at most " + std::to_string(MaxUpdateCode) + " characters";
    code = taken;
    return std::string();
}

// The first line of a small file, without its line end, and without
// surrounding spaces unless they may belong to it (a password). A line longer
// than MaxSecretBytes is refused, never cut.
bool FirstLine(const std::string& path, std::string& line, std::string& error, bool trim = true) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    std::string text(MaxSecretBytes + 8, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > MaxSecretBytes) {
        error = "holds a line longer than " + std::to_string(MaxSecretBytes / 1024) + " KiB: not a password file";
        line.clear();
        return false;
    }
    if (trim) line = TrimSpace(line);
    return true;
}

// The servers that would be sent the bind's password unencrypted.
std::string PlainServers(const ServiceConfig& config) {
    const LdapSettings& l = config.ldap;
    if (config.directory != "ldap" || l.bindDn.empty() || l.startTls) return std::string();
    std::vector<LdapServer> servers;
    std::string error, plain;
    if (!ParseLdapUrls(l.urls, servers, error)) return std::string();
    for (const LdapServer& server : servers)
        if (!server.secure) plain += (plain.empty() ? "" : " ") + server.url;
    return plain;
}

// One setting; empty when taken, else what is wrong with its value.
std::string Take(const std::string& written, const std::string& value, ServiceConfig& config, std::string& spelled) {
    const std::string key = AsciiLower(written);
    for (const NumberSetting& n : Numbers) {
        if (key != AsciiLower(n.name)) continue;
        spelled = n.name;
        if (!Number(value, n.low, n.high, config.*n.field))
            return std::string(n.name) + " must be a number from " + std::to_string(n.low) + " to " +
                   std::to_string(n.high) + ", not \"" + value + "\"";
        return std::string();
    }
    for (const TextSetting& t : Texts) {
        if (key != AsciiLower(t.name)) continue;
        spelled = t.name;
        std::string wrong = Wrong(t.kind, value);
        if (!wrong.empty()) return std::string(t.name) + " must be " + wrong + ", not \"" + value + "\"";
        t.field(config) = value;
        return std::string();
    }
    for (const FlagSetting& f : Flags) {
        if (key != AsciiLower(f.name)) continue;
        spelled = f.name;
        std::string v = AsciiLower(value);
        if (v != "yes" && v != "no") return std::string(f.name) + " must be yes or no, not \"" + value + "\"";
        f.field(config) = v == "yes";
        return std::string();
    }
    for (const ChoiceSetting& c : Choices) {
        if (key != AsciiLower(c.name)) continue;
        spelled = c.name;
        const std::string v = AsciiLower(value);
        std::string all;
        for (int i = 0; i < 3 && c.choices[i]; ++i) {
            if (v == c.choices[i]) return c.field(config) = v, std::string();
            all += std::string(i == 0 ? "" : !c.choices[i + 1] || i == 2 ? " or " : ", ") + c.choices[i];
        }
        return std::string(c.name) + " must be " + all + ", not \"" + value + "\"";
    }
    if (key == "webupdatecode") {
        spelled = "WebUpdateCode";
        return CodeFrom(value, "WebUpdateCode", config.webUpdateCode);
    }
    spelled.clear();
    return "unknown name \"" + written + "\"";
}

}  // namespace

bool ParseServiceConfig(const std::string& text, ServiceConfig& config, std::vector<ConfigProblem>& problems) {
    std::size_t before = problems.size();
    std::map<std::string, int> seen;  // name -> first line
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);  // Notepad's mark
        std::string bare = TrimSpace(line);
        if (bare.empty() || bare[0] == '#') continue;
        std::size_t equals = bare.find('=');
        std::string written = equals == std::string::npos ? std::string() : TrimSpace(bare.substr(0, equals));
        std::string key = AsciiLower(written);
        if (key.empty() || key.find_first_of(" \t") != std::string::npos) {
            problems.push_back({number, "expected \"Name = value\""});
            continue;
        }
        std::string spelled;
        std::string wrong = Take(written, TrimSpace(bare.substr(equals + 1)), config, spelled);
        if (!wrong.empty()) {
            problems.push_back({number, wrong});
            continue;
        }
        auto first = seen.emplace(key, number);
        if (!first.second)
            problems.push_back(
                {number, spelled + " is given twice (first on line " + std::to_string(first.first->second) + ")"});
    }
    CheckSignInSettings(config, seen, problems);
    // HTTPS needs a certificate and its key; half of it would serve plain HTTP where HTTPS was meant.
    const bool pfx = IsPfxFile(config.webTlsCertificateFile);
    auto wrong = [&](const char* name, const std::string& what) {
        problems.push_back({seen[AsciiLower(name)], std::string(name) + " " + what});
    };
    if (config.webTlsCertificateFile.empty()) {
        if (!config.webTlsKeyFile.empty()) wrong("WebTlsKeyFile", "needs WebTlsCertificateFile too");
        if (!config.webTlsCertificatePasswordFile.empty())
            wrong("WebTlsCertificatePasswordFile", "needs WebTlsCertificateFile too");
    } else if (pfx && !config.webTlsKeyFile.empty()) {
        wrong("WebTlsKeyFile", "is not used with a PFX file, which holds its key");
    } else if (!pfx && config.webTlsKeyFile.empty()) {
        wrong("WebTlsCertificateFile", "needs WebTlsKeyFile too (or a .pfx file)");
    } else if (!pfx && !config.webTlsCertificatePasswordFile.empty()) {
        wrong("WebTlsCertificatePasswordFile", "is only for a PFX file (.pfx or .p12)");
    }
    return problems.size() == before;
}

std::string Credentials::Path(const char* name, bool& packaged) const {
    packaged = false;
    if (!directory.empty()) return directory + "/" + name;
    for (const auto& file : files)
        if (file.first == name) return packaged = true, file.second;
    return std::string();
}

namespace {

// Where a credential came from, as --check says it.
std::string CredentialFrom(const char* name, const std::string& path, bool packaged) {
    return packaged ? path + ", as the service will load it" : std::string("the credential ") + name;
}

}  // namespace

bool TakeUpdateCode(ServiceConfig& config, const Credentials& credentials, std::vector<ConfigProblem>& problems) {
    std::string line, error;
    bool packaged = false;
    const std::string credential = credentials.Path(UpdateCodeCredential, packaged);
    if (!credential.empty() && FirstLine(credential, line, error) && !line.empty()) {
        const std::string from = CredentialFrom(UpdateCodeCredential, credential, packaged);
        std::string wrong = CodeFrom(line, packaged ? from.substr(0, from.find(',')) : from, config.webUpdateCode);
        if (!wrong.empty()) {
            problems.push_back({0, wrong});
            return false;
        }
        config.codeFrom = from;
        return true;
    }
    if (config.webUpdateCodeFile.empty()) return true;
    const std::string& path = config.webUpdateCodeFile;
    error.clear();
    if (!FirstLine(path, line, error) || line.empty()) {
        problems.push_back({0, "WebUpdateCodeFile " + path + " " + (error.empty() ? "is empty" : error)});
        return false;
    }
    std::string wrong = CodeFrom(line, "WebUpdateCodeFile " + path, config.webUpdateCode);
    if (!wrong.empty()) {
        problems.push_back({0, wrong});
        return false;
    }
    config.codeFrom = "WebUpdateCodeFile";
    return true;
}

bool TakeLdapSettings(ServiceConfig& config, const Credentials& credentials, std::vector<ConfigProblem>& problems) {
    if (config.directory != "ldap") return true;
    const std::size_t before = problems.size();
    std::string line, error, unread;
    bool packaged = false;
    const std::string credential = credentials.Path(LdapPasswordCredential, packaged);
    if (!credential.empty() && FirstLine(credential, line, error, false) && !line.empty()) {
        config.ldap.password = line;
        config.ldapPasswordFrom = CredentialFrom(LdapPasswordCredential, credential, packaged);
    } else if (!config.ldapBindPasswordFile.empty()) {
        error.clear();
        if (!FirstLine(config.ldapBindPasswordFile, line, error, false) || line.empty())
            problems.push_back({0, "LdapBindPasswordFile " + config.ldapBindPasswordFile + " " +
                                       (error.empty() ? "is empty" : error)});
        config.ldap.password = line;
        config.ldapPasswordFrom = "LdapBindPasswordFile";
    } else if (!credential.empty() && !error.empty() && error.find("No such file") == std::string::npos) {
        unread = " (" + credential + " " + error + ")";
    }
    if (config.ldap.urls.empty()) problems.push_back({0, "Directory = ldap needs LdapUrl, the directory's server"});
    if (config.ldap.base.empty())
        problems.push_back(
            {0, "Directory = ldap needs LdapBase, where the people are (for example DC=example,DC=com)"});
    if (!config.ldap.bindDn.empty() && config.ldap.password.empty())
        problems.push_back({0, "LdapBindDn is given without a password: give LdapBindPasswordFile or the credential " +
                                   std::string(LdapPasswordCredential) + unread});
    const std::string plain = PlainServers(config);
    if (!plain.empty() && !config.ldapAllowPlainBind)
        problems.push_back({0, "the password of LdapBindDn would cross the network unencrypted to " + plain +
                                   ": use ldaps:// or LdapStartTls = yes (LdapAllowPlainBind = yes allows it)"});
    return problems.size() == before;
}

std::string PlainBindWarning(const ServiceConfig& config) {
    const std::string plain = PlainServers(config);
    if (plain.empty() || !config.ldapAllowPlainBind) return std::string();
    return "LdapAllowPlainBind = yes: the password of LdapBindDn crosses the network unencrypted to " + plain +
           "; use ldaps:// or LdapStartTls = yes";
}

ConfigRead ReadServiceConfig(const std::string& path, ServiceConfig& config, std::vector<ConfigProblem>& problems) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (errno == ENOENT) return ConfigRead::Missing;
        problems.push_back({0, std::string("cannot be read: ") + std::strerror(errno)});
        return ConfigRead::Unreadable;
    }
    std::string text;
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (text.size() > MaxConfigBytes) {
            problems.push_back({0, "is larger than 1 MiB: not a configuration file"});
            return ConfigRead::Unreadable;
        }
    }
    if (file.bad()) {
        problems.push_back({0, "cannot be read"});
        return ConfigRead::Unreadable;
    }
    ParseServiceConfig(text, config, problems);
    return ConfigRead::Read;
}

std::string ProblemText(const std::string& path, const ConfigProblem& problem) {
    return "pegmastd: " + path + ":" + std::to_string(problem.line) + ": " + problem.what;
}

std::string DescribeConfig(const ServiceConfig& config) {
    std::string text;
    for (const NumberSetting& n : Numbers) text += std::string(n.name) + " = " + std::to_string(config.*n.field) + "\n";
    text += "StateFile = " + config.stateFile + "\n";
    text += std::string("LogChanges = ") + (config.logChanges ? "yes" : "no") + "\n";
    text += std::string("WebUpdates = ") + (config.webUpdates ? "yes" : "no") + "\n";
    if (config.webSignIn != "none") {
        text += "WebSignIn = " + config.webSignIn + "\n";
        if (config.webSignIn == "accounts") text += "WebAccountsFile = " + config.webAccountsFile + "\n";
        if (config.webSignIn == "directory") text += "WebReceptionGroup = " + config.webReceptionGroup + "\n";
        text += "WebViewAccess = " + config.webViewAccess + "\n";
    }
    if (!config.webTrustedProxy.empty()) text += "WebTrustedProxy = " + config.webTrustedProxy + "\n";
    // The code itself is the administrator's to read in the file, not in every check's output.
    if (!config.webUpdateCodeFile.empty()) text += "WebUpdateCodeFile = " + config.webUpdateCodeFile + "\n";
    if (!config.webTlsCertificateFile.empty()) text += "WebTlsCertificateFile = " + config.webTlsCertificateFile + "\n";
    if (!config.webTlsKeyFile.empty()) text += "WebTlsKeyFile = " + config.webTlsKeyFile + "\n";
    if (!config.webTlsCertificatePasswordFile.empty())
        text += "WebTlsCertificatePasswordFile = " + config.webTlsCertificatePasswordFile + "\n";
    text += "Directory = " + config.directory + "\n";
    if (config.directory == "file") text += "DirectoryFile = " + config.directoryFile + "\n";
    if (config.directory == "ldap") {
        const LdapSettings& l = config.ldap;
        text += "LdapUrl = " + l.urls + "\n";
        text += std::string("LdapStartTls = ") + (l.startTls ? "yes" : "no") + "\n";
        if (config.ldapAllowPlainBind) text += "LdapAllowPlainBind = yes\n";
        if (!l.caFile.empty()) text += "LdapCaFile = " + l.caFile + "\n";
        text += "LdapBindDn = " + l.bindDn + "\n";
        // Never the password itself: only that there is one, and from where.
        text += "LdapBindPassword = " +
                (l.password.empty() ? std::string() : "(set, from " + config.ldapPasswordFrom + ")") + "\n";
        text += "LdapBase = " + l.base + "\nLdapFilter = " + l.filter + "\n";
        text += "LdapNameAttribute = " + l.nameAttribute + "\nLdapDisplayNameAttribute = " + l.displayNameAttribute +
                "\nLdapGroupAttribute = " + l.groupAttribute + "\nLdapPhoneAttribute = " + l.phoneAttribute + "\n";
    }
    text +=
        std::string("WebUpdateCode = ") +
        (config.webUpdateCode.empty() ? ""
                                      : "(set" + (config.codeFrom.empty() ? "" : ", from " + config.codeFrom) + ")") +
        "\n";
    return text;
}

std::string SetConfigValues(const std::string& text, const std::vector<std::pair<std::string, std::string>>& values) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    auto nameOf = [](std::string line, bool commented) {
        line = TrimSpace(line);
        if (commented) {
            if (line.empty() || line[0] != '#') return std::string();
            line = TrimSpace(line.substr(1));
        } else if (!line.empty() && line[0] == '#') {
            return std::string();
        }
        std::size_t equals = line.find('=');
        return equals == std::string::npos ? std::string() : AsciiLower(TrimSpace(line.substr(0, equals)));
    };
    for (const auto& value : values) {
        const std::string key = AsciiLower(value.first);
        const std::string line = value.first + " = " + value.second;
        bool done = false;
        for (std::string& l : lines)
            if (!done && nameOf(l, false) == key) l = line, done = true;
        for (std::string& l : lines)
            if (!done && nameOf(l, true) == key) l = line, done = true;
        if (!done) lines.push_back(line);
    }
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

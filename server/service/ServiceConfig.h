// pegmastd's configuration: a text file of `Name = value` lines, `#` comment
// lines, names matched without regard to case. Anything wrong in it stops the
// start: a service never runs half-configured.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "LdapSettings.h"

struct ServiceConfig {
    std::uint32_t port = 5001;
    std::uint32_t webPort = 5080;     // 0: no web view
    std::uint32_t silentMinutes = 3;  // 0: rows are never greyed
    std::uint32_t acceptPacingMs = 250;
    std::uint32_t maxConnections = 1000;
    std::uint32_t forgetDays = 30;  // 0: rows are kept for good
    std::uint32_t historyDays = 0;  // 0: no history is kept
    std::string stateFile;          // the platform's default unless given
    bool logChanges = false;
    bool webUpdates = false;    // people may update the board from a browser
    std::string webUpdateCode;  // Windows-1252, up to 31 characters; empty: no code
    // A file only root reads that holds the code, rather than this world-readable file.
    std::string webUpdateCodeFile;
    std::string codeFrom;  // where the code in effect came from, for --check
    // Who works here: "none", "file" (a CSV file of the staff) or "ldap".
    std::string directory = "none";
    std::string directoryFile;  // the platform's default unless given
    std::uint32_t directoryRefreshMinutes = 15;
    LdapSettings ldap;                 // its password from the file or the credential, never from here
    std::string ldapBindPasswordFile;  // a file only root reads
    std::string ldapPasswordFrom;      // for --check
    // The bind's password may cross the network unencrypted (ldap:// without StartTLS).
    bool ldapAllowPlainBind = false;
    // HTTPS for the web view: a PEM certificate (its chain after it) and its key, or a
    // PFX file (.pfx or .p12) holding both, with the file of its password.
    std::string webTlsCertificateFile, webTlsKeyFile, webTlsCertificatePasswordFile;
    std::string webAccountsFile;  // the local accounts; beside the configuration unless given
    // Who may change which row from a browser: "none" (the update code's rules),
    // "accounts" (each person signs in with a local account) or "directory" (with
    // their directory password, Directory = ldap); both need HTTPS.
    std::string webSignIn = "none";
    // Who may change anyone's row: this group's people (by the group attribute), or
    // for LDAP the members of the group of this name or DN, nested groups included.
    std::string webReceptionGroup = "Reception";
    std::string webViewAccess = "anyone";  // or "signed-in": the board itself needs a session or a wall link
    // The reverse proxies that terminate TLS: addresses whose X-Forwarded-Proto/-For are believed.
    std::string webTrustedProxy;
};

// The systemd credentials that, when given, hold the code and the LDAP password.
const char* const UpdateCodeCredential = "pegora-update-code";
const char* const LdapPasswordCredential = "pegora-ldap-password";
// The local accounts, for a service whose own user cannot read the root-only file.
const char* const AccountsCredential = "pegora-accounts";

// Where the credentials are: the folder systemd gives the service
// ($CREDENTIALS_DIRECTORY), or, for a check run by hand, the files the packaged
// unit would load into it.
struct Credentials {
    Credentials(const char* directory_ = nullptr) : directory(directory_ ? directory_ : "") {}
    std::string directory;
    std::vector<std::pair<std::string, std::string>> files;  // credential name -> file, without a folder
    // The credential's file, or empty; `packaged`: one of `files`.
    std::string Path(const char* name, bool& packaged) const;
};

struct ConfigProblem {
    int line;
    std::string what;
};

// What sign-in needs of the other settings: each problem, on the line of the
// setting it concerns (`seen`: each setting's line, by its lower-case name).
void CheckSignInSettings(const ServiceConfig& config, std::map<std::string, int>& seen,
                         std::vector<ConfigProblem>& problems);

// Takes every line of `text` into `config`; false when any is wrong, with
// one problem per wrong line.
bool ParseServiceConfig(const std::string& text, ServiceConfig& config, std::vector<ConfigProblem>& problems);

// The code from its file or from its credential, which wins over
// WebUpdateCodeFile, which wins over WebUpdateCode. An empty credential counts
// as none. False, with the problem, when a named file cannot be taken.
bool TakeUpdateCode(ServiceConfig& config, const Credentials& credentials, std::vector<ConfigProblem>& problems);

// The LDAP bind password from its credential, which wins, or from
// LdapBindPasswordFile, and what Directory = ldap needs: a password for a bind
// DN, and one that never crosses the network in clear unless allowed; false
// with the problem.
bool TakeLdapSettings(ServiceConfig& config, const Credentials& credentials, std::vector<ConfigProblem>& problems);

// A password files may hold: a longer one is refused rather than cut.
const std::size_t MaxSecretBytes = 4096;

// What to warn of at every start when LdapAllowPlainBind lets the password go
// in clear; empty when it does not.
std::string PlainBindWarning(const ServiceConfig& config);

enum class ConfigRead { Read, Missing, Unreadable };

// Reads and parses the file. Missing: every default; Unreadable: `problems`
// holds why (line 0).
ConfigRead ReadServiceConfig(const std::string& path, ServiceConfig& config, std::vector<ConfigProblem>& problems);

// "pegmastd: <file>:<line>: <what is wrong>"
std::string ProblemText(const std::string& path, const ConfigProblem& problem);

// The settings in effect, one `Name = value` line each, as the file spells them.
std::string DescribeConfig(const ServiceConfig& config);

// `text` with each named setting given the value: its line where it has one,
// else its commented-out default line taken in, else a line at the end. Every
// other line stays as it was, comments included.
std::string SetConfigValues(const std::string& text, const std::vector<std::pair<std::string, std::string>>& values);

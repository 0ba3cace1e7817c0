#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "ChangeLog.h"
#include "Records.h"
#include "ServiceConfig.h"
#include "TableRows.h"

namespace {

// The file holds `text`, or is not there when it is null.
void Put(const std::string& path, const char* text) {
    std::remove(path.c_str());
    if (text) std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

namespace {

struct ConfigLine {
    const char* text;
    const char* problem;  // the first problem, or "" when the text is taken
    const char* setting;  // the line DescribeConfig gives for it
} const configLines[] = {
    {"", "", "Port = 5001"},
    {"# Port = 1\n\n   \t\n", "", "Port = 5001"},
    {"Port = 7001", "", "Port = 7001"},
    {"  pOrT=7002  \r\n", "", "Port = 7002"},
    {"\xEF\xBB\xBFPort = 7003\n", "", "Port = 7003"},
    {"Port = 0", "1: Port must be a number from 1 to 65535, not \"0\"", ""},
    {"Port = 65536", "1: Port must be a number from 1 to 65535, not \"65536\"", ""},
    {"Port = 80x", "1: Port must be a number from 1 to 65535, not \"80x\"", ""},
    {"Port = -1", "1: Port must be a number from 1 to 65535, not \"-1\"", ""},
    {"Port = 99999999999", "1: Port must be a number from 1 to 65535, not \"99999999999\"", ""},
    {"Port =", "1: Port must be a number from 1 to 65535, not \"\"", ""},
    {"WebPort = 0", "", "WebPort = 0"},
    {"WebPort = 65535", "", "WebPort = 65535"},
    {"SilentMinutes = 0", "", "SilentMinutes = 0"},
    {"SilentMinutes = 1441", "1: SilentMinutes must be a number from 0 to 1440, not \"1441\"", ""},
    {"AcceptPacingMs = 0", "", "AcceptPacingMs = 0"},
    {"AcceptPacingMs = 1001", "1: AcceptPacingMs must be a number from 0 to 1000, not \"1001\"", ""},
    {"MaxConnections = 0", "1: MaxConnections must be a number from 1 to 100000, not \"0\"", ""},
    {"MaxConnections = 5000", "", "MaxConnections = 5000"},
    {"ForgetDays = 0", "", "ForgetDays = 0"},
    {"ForgetDays = 36501", "1: ForgetDays must be a number from 0 to 36500, not \"36501\"", ""},
    {"HistoryDays = 30", "", "HistoryDays = 30"},
    {"HistoryDays = 3651", "1: HistoryDays must be a number from 0 to 3650, not \"3651\"", ""},
    {"StateFile = /srv/pegora/board.state", "", "StateFile = /srv/pegora/board.state"},
    {"StateFile = C:\\ProgramData\\Pegora\\board.state", "", "StateFile = C:\\ProgramData\\Pegora\\board.state"},
    {"StateFile = board.state", "1: StateFile must be an absolute path, not \"board.state\"", ""},
    {"WebTlsCertificateFile = /etc/pegora/board.pem\nWebTlsKeyFile = /etc/pegora/board.key", "",
     "WebTlsCertificateFile = /etc/pegora/board.pem\nWebTlsKeyFile = /etc/pegora/board.key"},
    {"Port = 7001\nWebTlsKeyFile = /etc/pegora/board.key", "2: WebTlsKeyFile needs WebTlsCertificateFile too", ""},
    {"WebTlsCertificateFile = /etc/pegora/board.pem",
     "1: WebTlsCertificateFile needs WebTlsKeyFile too (or a .pfx file)", ""},
    {"WebTlsCertificateFile = C:\\Pegora\\board.PFX\nWebTlsCertificatePasswordFile = C:\\Pegora\\pfx-password", "",
     "WebTlsCertificateFile = C:\\Pegora\\board.PFX\nWebTlsCertificatePasswordFile = C:\\Pegora\\pfx-password"},
    {"WebTlsCertificateFile = /b.p12\nWebTlsKeyFile = /b.key",
     "2: WebTlsKeyFile is not used with a PFX file, which holds its key", ""},
    {"WebTlsCertificateFile = /b.pem\nWebTlsKeyFile = /b.key\nWebTlsCertificatePasswordFile = /p",
     "3: WebTlsCertificatePasswordFile is only for a PFX file (.pfx or .p12)", ""},
    {"WebTlsKeyFile = board.key", "1: WebTlsKeyFile must be an absolute path, not \"board.key\"", ""},
    {"LogChanges = YES", "", "LogChanges = yes"},
    {"logchanges = no", "", "LogChanges = no"},
    {"LogChanges = 1", "1: LogChanges must be yes or no, not \"1\"", ""},
    {"WebUpdates = yes", "", "WebUpdates = yes"},
    {"WebUpdates = maybe", "1: WebUpdates must be yes or no, not \"maybe\"", ""},
    {"WebUpdateCode = fire # drill", "", "WebUpdateCode = (set)"},
    {"WebUpdateCode =", "", "WebUpdateCode = "},
    {"WebUpdateCode = 01234567890123456789012345678901", "1: WebUpdateCode must be at most 31 characters", ""},
    {"WebUpdateCode = \xce\xa9", "1: WebUpdateCode has a character outside Windows-1252", ""},
    {"WebUpdateCodeFile = /etc/pegora/update-code", "", "WebUpdateCodeFile = /etc/pegora/update-code"},
    {"WebUpdateCodeFile = update-code", "1: WebUpdateCodeFile must be an absolute path, not \"update-code\"", ""},
    {"Directory = File\nDirectoryFile = /srv/staff.csv", "", "DirectoryFile = /srv/staff.csv"},
    {"Directory = ldap\nLdapUrl = ldaps://dc1.example.com ldap://[::1]:3389/", "",
     "LdapUrl = ldaps://dc1.example.com ldap://[::1]:3389/"},
    {"Directory = directory", "1: Directory must be none, file or ldap, not \"directory\"", ""},
    {"LdapUrl = dc1.example.com",
     "1: LdapUrl must be ldap://host[:port] or ldaps://host[:port], several separated "
     "by spaces, not \"dc1.example.com\"",
     ""},
    {"LdapUrl = ldap://dc1:0",
     "1: LdapUrl must be ldap://host[:port] or ldaps://host[:port], several separated by "
     "spaces, not \"ldap://dc1:0\"",
     ""},
    {"Directory = ldap\nLdapStartTls = yes\nLdapCaFile = /etc/ssl/office-ca.pem", "",
     "LdapCaFile = /etc/ssl/office-ca.pem"},
    {"LdapFilter = (&(uid=*)", "1: LdapFilter must be an LDAP filter in parentheses, not \"(&(uid=*)\"", ""},
    {"Directory = ldap\nLdapFilter = (objectClass=inetOrgPerson)", "", "LdapFilter = (objectClass=inetOrgPerson)"},
    {"LdapGroupAttribute = department number",
     "1: LdapGroupAttribute must be an attribute's name, not "
     "\"department number\"",
     ""},
    {"Directory = ldap\nLdapNameAttribute = uid", "",
     "LdapNameAttribute = uid\nLdapDisplayNameAttribute = displayName"},
    {"DirectoryRefreshMinutes = 0", "1: DirectoryRefreshMinutes must be a number from 1 to 1440, not \"0\"", ""},
    {"DirectoryRefreshMinutes = 1440", "", "DirectoryRefreshMinutes = 1440"},
    {"WebSignIn = ldap", "1: WebSignIn must be none, accounts or directory, not \"ldap\"", ""},
    {"WebSignIn = Accounts\nWebUpdates = yes",
     "1: WebSignIn = accounts needs HTTPS: set WebTlsCertificateFile (and "
     "WebTlsKeyFile), or WebTrustedProxy for a reverse proxy that serves HTTPS",
     ""},
    {"WebSignIn = accounts\nWebUpdates = yes\nWebTrustedProxy = 127.0.0.1, ::1", "",
     "WebSignIn = accounts\nWebAccountsFile = \nWebViewAccess = anyone\nWebTrustedProxy = 127.0.0.1, ::1"},
    {"WebTrustedProxy = proxy.example.com",
     "1: WebTrustedProxy must be IP addresses separated by spaces, not \"proxy.example.com\"", ""},
    {"WebViewAccess = everyone", "1: WebViewAccess must be anyone or signed-in, not \"everyone\"", ""},
    {"Port = 7001\nWebViewAccess = signed-in", "2: WebViewAccess = signed-in needs WebSignIn (accounts or directory)",
     ""},
    {"WebSignIn = directory\nWebUpdates = yes\nWebTrustedProxy = 127.0.0.1",
     "1: WebSignIn = directory needs Directory = ldap: the passwords are the directory's", ""},
    {"Directory = ldap\nLdapUrl = ldaps://dc1 ldap://dc2\nWebSignIn = directory\nWebUpdates = yes\n"
     "WebTrustedProxy = 127.0.0.1",
     "3: WebSignIn = directory would send people's passwords unencrypted to ldap://dc2:389: use ldaps:// or "
     "LdapStartTls = yes",
     ""},
    {"Directory = ldap\nLdapUrl = ldap://dc2\nLdapStartTls = yes\nWebSignIn = directory\nWebUpdates = yes\n"
     "WebTrustedProxy = 127.0.0.1\nWebViewAccess = Signed-In\nWebReceptionGroup = cn=Front Desk,ou=groups",
     "", "WebSignIn = directory\nWebReceptionGroup = cn=Front Desk,ou=groups\nWebViewAccess = signed-in"},
    {"\nColour = red", "2: unknown name \"Colour\"", ""},
    {"Port = 1\n#\nport = 2", "3: Port is given twice (first on line 1)", ""},
    {"Port 7001", "1: expected \"Name = value\"", ""},
    {"= 7001", "1: expected \"Name = value\"", ""},
    {"Web Port = 1", "1: expected \"Name = value\"", ""},
    {"Port = 7001 # the office's", "1: Port must be a number from 1 to 65535, not \"7001 # the office's\"", ""},
};

}  // namespace

class EveryNameBoundsAndTheLinesAround : public ::testing::TestWithParam<ConfigLine> {};

TEST_P(EveryNameBoundsAndTheLinesAround, TakenOrRefused) {
    const ConfigLine& row = GetParam();
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    bool taken = ParseServiceConfig(row.text, config, problems);
    EXPECT_EQ(taken, row.problem[0] == 0) << row.text;
    if (!problems.empty())
        EXPECT_EQ(std::to_string(problems[0].line) + ": " + problems[0].what, row.problem) << row.text;
    if (taken) EXPECT_NE(DescribeConfig(config).find(std::string(row.setting) + "\n"), std::string::npos) << row.text;
}
INSTANTIATE_TEST_SUITE_P(Rows, EveryNameBoundsAndTheLinesAround, ::testing::ValuesIn(configLines),
                         RowsNamedBy(&ConfigLine::text));

TEST(ServiceConfig, EveryWrongLineIsSaid) {
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    EXPECT_FALSE(ParseServiceConfig("Port = 1\nbad\nPort = 2\nColour = 3\n", config, problems));
    EXPECT_EQ(problems.size(), 3u) << "every wrong line is said, not just the first";
    EXPECT_EQ(ProblemText("/etc/pegora/pegmastd.conf", problems[0]),
              "pegmastd: /etc/pegora/pegmastd.conf:2: expected \"Name = value\"");
}

namespace {

// A folder for a file and a credential, made for each row.
template <class Row>
class WithFolder : public ::testing::TestWithParam<Row> {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pegora-config-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        for (const std::string& name : made) std::remove((folder + "/" + name).c_str());
        ::rmdir(folder.c_str());
    }
    // The folder's file `name` holds `text`, or is not there when it is null.
    std::string Put(const std::string& name, const char* text) {
        made.push_back(name);
        ::Put(folder + "/" + name, text);
        return folder + "/" + name;
    }
    std::string folder;
    std::vector<std::string> made;
};

// The code from a file only root reads, or from systemd's credential, which wins.
struct CodeFrom {
    const char* fileText;        // nullptr: no such file
    const char* credentialText;  // likewise
    bool taken;
    const char* code;
    const char* said;
} const codesFrom[] = {
    {"fire drill 2026\r\n", nullptr, true, "fire drill 2026", "(set, from WebUpdateCodeFile)"},
    {"\xEF\xBB\xBF  caf\xc3\xa9 au lait\nsecond line", nullptr, true, "caf\xe9 au lait", ""},
    {"from the file", "from the credential\n", true, "from the credential", "from the credential pegora-update"},
    {"from the file", "\n", true, "from the file", ""},  // a blank credential: the unit's fallback
    {"", nullptr, false, "in the conf", "is empty"},
    {nullptr, nullptr, false, "in the conf", "cannot be read: No such file"},
    {"\xce\xa9mega", nullptr, false, "in the conf", "has a character outside Windows-1252"},
    {"01234567890123456789012345678901", nullptr, false, "in the conf", "must be at most 31 characters"},
};

}  // namespace

class TheCodeFromItsFileOrTheCredential : public WithFolder<CodeFrom> {};

TEST_P(TheCodeFromItsFileOrTheCredential, Taken) {
    const CodeFrom& row = GetParam();
    const std::string file = Put("update-code", row.fileText);
    Put(UpdateCodeCredential, row.credentialText);
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    ASSERT_TRUE(ParseServiceConfig("WebUpdateCode = in the conf\nWebUpdateCodeFile = " + file, config, problems));
    EXPECT_EQ(TakeUpdateCode(config, folder.c_str(), problems), row.taken) << row.code;
    EXPECT_EQ(config.webUpdateCode, row.code);
    const std::string said = row.taken ? DescribeConfig(config) : (problems.empty() ? "" : problems[0].what);
    EXPECT_NE(said.find(row.said), std::string::npos) << said << " (" << row.said << ")";
}
INSTANTIATE_TEST_SUITE_P(Rows, TheCodeFromItsFileOrTheCredential, ::testing::ValuesIn(codesFrom),
                         RowsNamedBy(&CodeFrom::code));

TEST(ServiceConfig, TheCodeInTheConfigurationItself) {
    ServiceConfig plain;
    std::vector<ConfigProblem> problems;
    ASSERT_TRUE(ParseServiceConfig("WebUpdateCode = in the conf", plain, problems));
    EXPECT_TRUE(TakeUpdateCode(plain, nullptr, problems));
    EXPECT_EQ(plain.webUpdateCode, "in the conf") << "neither file nor credential: the line itself";
}

namespace {

// The LDAP password likewise, kept as written (spaces may belong to it), and
// never in what --check prints; what Directory = ldap cannot do without.
struct LdapPassword {
    std::string conf;            // "FILE" stands for the password file's path
    const char* fileText;        // nullptr: no such file
    const char* credentialText;  // likewise
    const char* password;
    const char* said;  // in --check's output, or the first problem
};
const std::string ldapFull = "Directory = ldap\nLdapUrl = ldap://127.0.0.1\nLdapBase = dc=example\n";
const std::string bindLines = "LdapBindDn = svc@example\nLdapBindPasswordFile = FILE\n";
const std::string ldapBound = "Directory = ldap\nLdapUrl = ldaps://127.0.0.1\nLdapBase = dc=example\n" + bindLines;
const std::string longest(MaxSecretBytes, 'p'), tooLong(MaxSecretBytes + 1, 'p');
const LdapPassword ldapPasswords[] = {
    {ldapBound, " s3cret \r\n", nullptr, " s3cret ", "LdapBindPassword = (set, from LdapBindPasswordFile)"},
    {ldapBound, "from file", "from credential\n", "from credential", "(set, from the credential pegora-ldap-password)"},
    {ldapBound, "", nullptr, "", "is empty"},
    {ldapFull + "LdapBindDn = svc@example", nullptr, nullptr, "", "LdapBindDn is given without a password"},
    {ldapFull, nullptr, nullptr, "", "LdapBindPassword = \n"},  // anonymous
    {"Directory = ldap\nLdapBase = dc=example", nullptr, nullptr, "", "needs LdapUrl"},
    {"Directory = ldap\nLdapUrl = ldap://127.0.0.1", nullptr, nullptr, "", "needs LdapBase"},
    {ldapBound, longest.c_str(), nullptr, longest.c_str(), "LdapBindPassword = (set"},
    {ldapBound, tooLong.c_str(), nullptr, "", "holds a line longer than 4 KiB"},
    {ldapFull + bindLines, "pw", nullptr, "pw",
     "would cross the network unencrypted to ldap://127.0.0.1:389: use ldaps:// or LdapStartTls = yes"},
    {"Directory = ldap\nLdapUrl = ldaps://a ldap://b\nLdapBase = dc=x\n" + bindLines, "pw", nullptr, "pw",
     "unencrypted to ldap://b:389: use"},
    {ldapFull + bindLines + "LdapStartTls = yes", "pw", nullptr, "pw", "LdapStartTls = yes\n"},
    {ldapFull + bindLines + "LdapAllowPlainBind = yes", "pw", nullptr, "pw", "LdapAllowPlainBind = yes\n"},
};

}  // namespace

class TheLdapPasswordAndWhatTheDirectoryNeeds : public WithFolder<LdapPassword> {};

TEST_P(TheLdapPasswordAndWhatTheDirectoryNeeds, TakenOrRefused) {
    const LdapPassword& row = GetParam();
    const std::string file = Put("ldap-password", row.fileText);
    Put(LdapPasswordCredential, row.credentialText);
    std::string conf = row.conf;
    if (conf.find("FILE") != std::string::npos) conf.replace(conf.find("FILE"), 4, file);
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    ASSERT_TRUE(ParseServiceConfig(conf, config, problems)) << conf;
    const bool taken = TakeLdapSettings(config, folder.c_str(), problems);
    EXPECT_EQ(config.ldap.password, row.password) << conf;
    const std::string said = taken ? DescribeConfig(config) : problems.at(0).what;
    EXPECT_NE(said.find(row.said), std::string::npos) << said << " (" << row.said << ")";
    if (row.password[0]) EXPECT_EQ(said.find(row.password), std::string::npos) << "the password is never shown";
    EXPECT_EQ(PlainBindWarning(config).empty(), !config.ldapAllowPlainBind) << "said at every start";
}

// A check run by hand finds the credentials where the packaged service loads them from.
TEST(ServiceConfig, ACheckReadsTheFilesThePackagedServiceLoads) {
    char pattern[] = "/tmp/pegora-config-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern, code = folder + "/update-code", password = folder + "/ldap-password";
    Put(code, "fire drill\n");
    Put(password, "s3cret\n");
    Credentials packaged;
    packaged.files = {{UpdateCodeCredential, code}, {LdapPasswordCredential, password}};
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    std::string conf = ldapBound;
    conf.replace(conf.find("FILE"), 4, folder + "/no-such-file");
    ASSERT_TRUE(ParseServiceConfig(conf, config, problems));
    EXPECT_TRUE(TakeUpdateCode(config, packaged, problems));
    EXPECT_TRUE(TakeLdapSettings(config, packaged, problems));
    EXPECT_EQ(config.webUpdateCode, "fire drill");
    EXPECT_EQ(config.ldap.password, "s3cret");
    const std::string said = DescribeConfig(config);
    EXPECT_NE(said.find("LdapBindPassword = (set, from " + password + ", as the service will load it)"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("WebUpdateCode = (set, from " + code + ", as the service will load it)"), std::string::npos);
    std::remove(code.c_str());
    std::remove(password.c_str());
    ::rmdir(pattern);
}
INSTANTIATE_TEST_SUITE_P(Rows, TheLdapPasswordAndWhatTheDirectoryNeeds, ::testing::ValuesIn(ldapPasswords),
                         RowsNamedBy(&LdapPassword::said));

TEST(ServiceConfig, FileMissingReadOrUnreadable) {
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    EXPECT_EQ(ReadServiceConfig("/nonexistent/pegmastd.conf", config, problems), ConfigRead::Missing);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(config.port, 5001u);
    EXPECT_EQ(config.webPort, 5080u);
    EXPECT_EQ(config.maxConnections, 1000u);
    EXPECT_EQ(config.forgetDays, 30u);
    EXPECT_FALSE(config.logChanges);

    char directory[] = "/tmp/pegora-config-XXXXXX";
    ASSERT_NE(::mkdtemp(directory), nullptr);
    std::string path = std::string(directory) + "/pegmastd.conf";
    std::ofstream(path) << "WebPort = 0\nForgetDays = 7\n";
    EXPECT_EQ(ReadServiceConfig(path, config, problems), ConfigRead::Read);
    EXPECT_EQ(config.webPort, 0u);
    EXPECT_EQ(config.forgetDays, 7u);
    EXPECT_EQ(ReadServiceConfig(directory, config, problems), ConfigRead::Unreadable);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(ProblemText(directory, problems[0]), std::string("pegmastd: ") + directory + ":0: cannot be read");
    std::remove(path.c_str());
}

namespace {

struct ChangeCase {
    bool added;
    StatusRecord before, after;
    bool change;
    const char* line;
    bool untilPassed = false;
};
const ChangeCase changeCases[] = {
    {true, StatusRecord(), MakeRecord("Anna", 1, "x"), true, "Anna: new row, in, from 10.0.0.5"},
    {false, MakeRecord("Anna", 1, "x"), MakeRecord("anna", 1, "x"), false, ""},
    {false, MakeRecord("Anna", 1, "x"), MakeRecord("Anna", 2, "x"), true, "Anna: in -> out, from 10.0.0.5"},
    {false, MakeRecord("Anna", 3, "a"), MakeRecord("Anna", 3, "b"), true,
     "Anna: other -> other (new message), from 10.0.0.5"},
    {false, MakeRecord("Anna", 7, "x"), MakeRecord("Anna", 3, "x"), true, "Anna: other -> other, from 10.0.0.5"},
    {true, StatusRecord(), MakeRecord("Ren\xe9\n<3>forged", 2, ""), true,
     "Ren\xc3\xa9?<3>forged: new row, out, from 10.0.0.5"},
    {false, MakeRecord("Anna", 2, "dentist"), MakeRecord("Anna", 1, "x"), true,
     "Anna: out -> in, the browser's word ran out: the desk's record again", true},
    {false, MakeRecord("Anna", 1, "x"), MakeRecord("Anna", 1, "x"), true,
     "Anna: in -> in, the browser's word ran out: the desk's record again", true},
};

}  // namespace

class OneLinePerChangeNeverForReSends : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(OneLinePerChangeNeverForReSends, EachRow) {
    const ChangeCase& row = GetParam();
    RowChange change;
    change.added = row.added;
    change.before = row.before;
    change.after = row.after;
    change.sender = row.untilPassed ? 0 : 0x0500000A;  // 10.0.0.5 in network order
    change.untilPassed = row.untilPassed;
    EXPECT_EQ(IsChange(change), row.change) << row.line;
    if (row.change) EXPECT_EQ(ChangeLine(change), row.line);
}
INSTANTIATE_TEST_SUITE_P(Rows, OneLinePerChangeNeverForReSends, ::testing::ValuesIn(changeCases),
                         RowsNamedBy(&ChangeCase::line));

namespace {

const std::string packaged = "# the board\n#Port = 5001\n\n# web\n#WebPort = 5080\nLogChanges = yes\n";

struct SetValuesCase {
    std::string text;
    std::vector<std::pair<std::string, std::string>> values;
    std::string result;
};
const SetValuesCase setValuesCases[] = {
    {packaged,
     {{"Port", "6001"}, {"WebPort", "6080"}},
     "# the board\nPort = 6001\n\n# web\nWebPort = 6080\nLogChanges = yes\n"},
    {"port=1\n# Port = 5001\n", {{"Port", "2"}}, "Port = 2\n# Port = 5001\n"},
    {"LogChanges = yes", {{"Port", "3"}}, "LogChanges = yes\nPort = 3\n"},
    {"", {{"WebPort", "0"}}, "WebPort = 0\n"},
};

}  // namespace

class SettingValuesKeepsEveryOtherLine : public ::testing::TestWithParam<SetValuesCase> {};

TEST_P(SettingValuesKeepsEveryOtherLine, EachRow) {
    const SetValuesCase& row = GetParam();
    EXPECT_EQ(SetConfigValues(row.text, row.values), row.result) << row.text;
}
INSTANTIATE_TEST_SUITE_P(Rows, SettingValuesKeepsEveryOtherLine, ::testing::ValuesIn(setValuesCases),
                         RowsNamedBy(&SetValuesCase::text));

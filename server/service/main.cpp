// pegmastd: the board as a service, with no window; the web view is its face.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "AsciiText.h"
#include "AccountCommands.h"
#include "SessionCommands.h"
#include "PlanImport.h"
#include "AtomicFile.h"
#include "BoardOptions.h"

#include "ServicePlatform.h"
#include "Windows1252.h"

namespace {

const char* const Usage =
    "usage: pegmastd [--config PATH] [--check [--directory]] [--backup FILE] [--version] [--help]\n"
    "       pegmastd [--config PATH] --add-account NAME [--reception] | --set-password NAME |\n"
    "                --remove-account NAME | --accounts | --sign-out NAME |\n"
    "                --wall-link [--renew] | --import-plans FILE [--skip-bad] |\n"
    "                --calendar-link office|group NAME|person NAME [--renew]\n"
    "  --config PATH  the configuration file (default %s)\n"
    "  --check        read the configuration, print the settings in effect and exit:\n"
    "                 0 when it is good, 2 with each problem when it is not\n"
    "  --check --directory  also read the staff directory once and print how many\n"
    "                 people it has and the first five, or why it cannot be read (exit 1)\n"
    "  --backup FILE  copy the board's database (StateFile) to FILE whole, safe while\n"
    "                 the service runs, and exit: 0 when the copy is made\n"
    "  --add-account NAME [--reception]  add a local account (WebAccountsFile), its\n"
    "                 password typed twice without echo, or one line from standard input\n"
    "  --set-password NAME  a new password for a local account, asked the same way\n"
    "  --remove-account NAME  remove a local account\n"
    "  --accounts     list the local accounts and their roles (never a hash)\n"
    "  --sign-out NAME  end every session of a person, on every device\n"
    "  --wall-link [--renew]  print a view-only link for a wall screen, for a board\n"
    "                 shown to signed-in people only; --renew ends every link before it\n"
    "  --calendar-link office|group NAME|person NAME [--renew]  print the address of a\n"
    "                 calendar of plans to subscribe to; --renew ends the feed's others\n"
    "  --import-plans FILE [--skip-bad]  take plans from a CSV file (name, start, end,\n"
    "                 status, message); nothing from a file with problems unless --skip-bad\n"
    "  --set NAME=VALUE  set one setting in the configuration file, keeping every\n"
    "                 other line, and exit (for installers; may be given more than once)\n"
    "  --version      print the version and exit\n"
    "  --help         print this and exit\n";

// Writes the settings into the file (a new one when there is none) only when
// the result reads as a whole, good configuration.
int SetSettings(const std::string& path, const std::vector<std::pair<std::string, std::string>>& settings) {
    std::string text;
    std::ifstream in(path, std::ios::binary);
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    in.close();
    text = SetConfigValues(text, settings);
    ServiceConfig config;
    std::vector<ConfigProblem> problems;
    if (!ParseServiceConfig(text, config, problems)) {
        for (const ConfigProblem& problem : problems) std::fprintf(stderr, "%s\n", ProblemText(path, problem).c_str());
        return 2;
    }
    std::string error;
    if (!WriteFileAtomically(path, text, 0644, error)) {
        std::fprintf(stderr, "pegmastd: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

enum class Said { Info, Warning, Problem };

// The configuration in effect, with the platform's default state file and the
// code from its file or credential; each problem, a warning, or a file that is
// not there, told through `say`. False when something is wrong.
// A check run by hand, outside the service manager, reads the credentials'
// files that the packaged service would load.
bool TakeConfig(const std::string& path, ServiceConfig& config, bool check,
                const std::function<void(Said kind, const std::string& text)>& say) {
    config.stateFile = DefaultStatePath();
    config.webAccountsFile = path.substr(0, path.find_last_of("/\\") + 1) + "accounts";
    config.directoryFile = DefaultStaffPath();
    std::vector<ConfigProblem> problems;
    ConfigRead read = ReadServiceConfig(path, config, problems);
    Credentials credentials(std::getenv("CREDENTIALS_DIRECTORY"));
    if (check && credentials.directory.empty()) credentials.files = PackagedCredentialFiles();
    if (problems.empty() && TakeUpdateCode(config, credentials, problems))
        TakeLdapSettings(config, credentials, problems);
    for (const ConfigProblem& problem : problems) say(Said::Problem, ProblemText(path, problem));
    if (!problems.empty()) return false;
    // Under systemd the root-only accounts file comes as a credential; a blank one is none.
    bool packaged = false;
    const std::string accounts = credentials.Path(AccountsCredential, packaged);
    std::ifstream given(accounts, std::ios::binary);
    std::string first;
    if (!packaged && !accounts.empty() && given && (given >> first)) config.webAccountsFile = accounts;
    if (read == ConfigRead::Missing)
        say(Said::Info, "no configuration file at " + path + ": every setting has its default");
    std::string warning = ShortCodeWarning(config.webUpdateCode);
    if (config.webUpdates && !warning.empty()) say(Said::Warning, warning);
    warning = PlainBindWarning(config);
    if (!warning.empty()) say(Said::Warning, warning);
    return true;
}

// The staff directory read once, as the service would: for trying a file before a restart.
int CheckDirectory(const ServiceConfig& config) {
    if (config.directory == "none") {
        std::printf("# no staff directory is configured (Directory = none)\n");
        return 0;
    }
    StaffList list;
    std::vector<std::string> problems;
    StaffError error;
    const StaffSource source = StaffSourceOf(config);
    if (!source.read(list, problems, error)) {
        std::fprintf(stderr, "pegmastd: directory: %s\n", LogSafe(error.detail).c_str());
        return 1;
    }
    for (const std::string& problem : problems) std::fprintf(stderr, "pegmastd: %s\n", problem.c_str());
    if (list.unreadable > problems.size())
        std::fprintf(stderr, "pegmastd: %s more lines skipped\n",
                     std::to_string(list.unreadable - problems.size()).c_str());
    std::printf("# %s\n", StaffSummary(list, source.name).c_str());
    for (std::size_t i = 0; i < list.people.size() && i < 5; ++i) {
        const StaffPerson& p = list.people[i];
        std::printf("#   %s\n", LogSafe(Windows1252ToUtf8(p.key) + ", " + p.displayName + ", " + p.group).c_str());
    }
    return 0;
}

// The configuration for a command run by hand: only its problems are said.
bool CommandConfig(const std::string& configPath, ServiceConfig& config) {
    return TakeConfig(configPath, config, false, [](Said kind, const std::string& text) {
        if (kind == Said::Problem) std::fprintf(stderr, "%s\n", text.c_str());
    });
}

// A copy of the database while the service may be writing it, for the office's backups.
int Backup(const std::string& configPath, const std::string& to) {
    ServiceConfig config;
    if (!CommandConfig(configPath, config)) return 2;
    std::string error;
    if (!BoardStore::BackupFile(config.stateFile, to, error)) {
        std::fprintf(stderr, "pegmastd: cannot copy %s to %s: %s\n", config.stateFile.c_str(), to.c_str(),
                     error.c_str());
        return 1;
    }
    std::printf("# %s copied to %s\n", config.stateFile.c_str(), to.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string configPath = DefaultConfigPath();
    bool check = false, directory = false, reception = false, renew = false, skipBad = false;
    std::string backup, accountCommand, accountName, feedKind;
    std::vector<std::pair<std::string, std::string>> settings;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--config" && i + 1 < argc) {
            configPath = argv[++i];
        } else if (arg.compare(0, 9, "--config=") == 0) {
            configPath = arg.substr(9);
        } else if (arg == "--set" && i + 1 < argc && std::strchr(argv[i + 1], '=')) {
            std::string setting = argv[++i];
            settings.push_back({setting.substr(0, setting.find('=')), setting.substr(setting.find('=') + 1)});
        } else if (arg == "--check") {
            check = true;
        } else if ((arg == "--add-account" || arg == "--set-password" || arg == "--remove-account") && i + 1 < argc &&
                   accountCommand.empty()) {
            accountCommand = arg == "--add-account" ? "add" : arg == "--remove-account" ? "remove" : "set-password";
            accountName = argv[++i];
        } else if (arg == "--sign-out" && i + 1 < argc && accountCommand.empty()) {
            accountCommand = "sign-out";
            accountName = argv[++i];
        } else if (arg == "--wall-link" && accountCommand.empty()) {
            accountCommand = "wall-link";
        } else if (arg == "--import-plans" && i + 1 < argc && accountCommand.empty()) {
            accountCommand = "import-plans";
            accountName = argv[++i];
        } else if (arg == "--calendar-link" && i + 1 < argc && accountCommand.empty()) {
            accountCommand = "calendar-link";
            feedKind = argv[++i];
            if (feedKind != "office" && i + 1 < argc) accountName = argv[++i];
        } else if (arg == "--skip-bad") {
            skipBad = true;
        } else if (arg == "--renew") {
            renew = true;
        } else if (arg == "--accounts" && accountCommand.empty()) {
            accountCommand = "list";
        } else if (arg == "--reception") {
            reception = true;
        } else if (arg == "--backup" && i + 1 < argc) {
            backup = argv[++i];
        } else if (arg == "--directory") {
            directory = true;
        } else if (arg == "--version") {
            std::printf("pegmastd %s\n", ServiceVersion);
            return 0;
        } else if (arg == "--help") {
            std::printf(Usage, DefaultConfigPath().c_str());
            return 0;
        } else {
            std::fprintf(stderr, "pegmastd: unknown argument \"%s\"\n", arg.c_str());
            std::fprintf(stderr, Usage, DefaultConfigPath().c_str());
            return 2;
        }
    }

    if (!settings.empty()) return SetSettings(configPath, settings);
    if (!backup.empty()) return Backup(configPath, backup);
    if (!accountCommand.empty()) {
        ServiceConfig config;
        if (!CommandConfig(configPath, config)) return 2;
        if (accountCommand == "sign-out") return SignOutCommand(config.stateFile, accountName);
        if (accountCommand == "wall-link") return WallLinkCommand(config, renew);
        if (accountCommand == "calendar-link") return CalendarLinkCommand(config, feedKind, accountName, renew);
        if (accountCommand == "import-plans") return ImportPlansCommand(config.stateFile, accountName, skipBad);
        return AccountCommand(config.webAccountsFile, accountCommand, accountName, reception);
    }
    if (check) {
        ServiceConfig config;
        bool good = TakeConfig(configPath, config, true, [](Said kind, const std::string& text) {
            if (kind == Said::Problem)
                std::fprintf(stderr, "%s\n", text.c_str());
            else
                std::printf("# %s%s\n", kind == Said::Warning ? "warning: " : "", text.c_str());
        });
        if (!good) return 2;
        std::printf("%s", DescribeConfig(config).c_str());
        return directory ? CheckDirectory(config) : 0;
    }

    static SocketManager manager;
    return RunService([&configPath](ServiceHost& host, std::unique_ptr<BoardService>& service) {
        ServiceConfig config;
        bool good = TakeConfig(configPath, config, false, [&host](Said kind, const std::string& text) {
            host.Log(kind == Said::Problem ? LogError : kind == Said::Warning ? LogWarning : LogInfo, text);
        });
        if (!good) return 2;
        std::string error;
        if (!RaiseOpenFileLimit(error)) host.Log(LogWarning, "cannot raise the limit of open files: " + error);
        service.reset(new BoardService(manager, config, host));
        return 0;
    });
}

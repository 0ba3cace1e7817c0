// pegmastd: the board as a service, with no window; the web view is its face.
#include <cstdio>
#include <cstring>
#include <string>

#include "ServicePlatform.h"

namespace {

const char* const Usage =
    "usage: pegmastd [--config PATH] [--check] [--version] [--help]\n"
    "  --config PATH  the configuration file (default %s)\n"
    "  --check        read the configuration, print the settings in effect and exit:\n"
    "                 0 when it is good, 2 with each problem when it is not\n"
    "  --version      print the version and exit\n"
    "  --help         print this and exit\n";

}  // namespace

int main(int argc, char** argv) {
    std::string configPath = DefaultConfigPath();
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--config" && i + 1 < argc) {
            configPath = argv[++i];
        } else if (arg.compare(0, 9, "--config=") == 0) {
            configPath = arg.substr(9);
        } else if (arg == "--check") {
            check = true;
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

    if (check) {
        ServiceConfig config;
        config.stateFile = DefaultStatePath();
        std::vector<ConfigProblem> problems;
        ConfigRead read = ReadServiceConfig(configPath, config, problems);
        for (const ConfigProblem& problem : problems) std::fprintf(stderr, "%s\n", ProblemText(configPath, problem).c_str());
        if (!problems.empty()) return 2;
        if (read == ConfigRead::Missing)
            std::printf("# no configuration file at %s: every setting has its default\n", configPath.c_str());
        std::printf("%s", DescribeConfig(config).c_str());
        return 0;
    }

    static SocketManager manager;
    return RunService([&configPath](ServiceHost& host, std::unique_ptr<BoardService>& service) {
        ServiceConfig config;
        config.stateFile = DefaultStatePath();
        std::vector<ConfigProblem> problems;
        ConfigRead read = ReadServiceConfig(configPath, config, problems);
        for (const ConfigProblem& problem : problems) host.Log(LogError, ProblemText(configPath, problem));
        if (!problems.empty()) return 2;
        if (read == ConfigRead::Missing)
            host.Log(LogInfo, "no configuration file at " + configPath + ": every setting has its default");
        std::string error;
        if (!RaiseOpenFileLimit(error)) host.Log(LogWarning, "cannot raise the limit of open files: " + error);
        service.reset(new BoardService(manager, config, host));
        return 0;
    });
}

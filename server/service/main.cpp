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

    std::unique_ptr<ServiceHost> host = MakeServiceHost();
    ServiceConfig config;
    config.stateFile = DefaultStatePath();
    std::vector<ConfigProblem> problems;
    ConfigRead read = ReadServiceConfig(configPath, config, problems);
    if (!problems.empty()) {
        for (const ConfigProblem& problem : problems) {
            if (check)
                std::fprintf(stderr, "%s\n", ProblemText(configPath, problem).c_str());
            else
                host->Log(LogError, ProblemText(configPath, problem));
        }
        return 2;
    }
    std::string missing = "no configuration file at " + configPath + ": every setting has its default";
    if (check) {
        if (read == ConfigRead::Missing) std::printf("# %s\n", missing.c_str());
        std::printf("%s", DescribeConfig(config).c_str());
        return 0;
    }
    if (read == ConfigRead::Missing) host->Log(LogInfo, missing);

    std::string error;
    if (!RaiseOpenFileLimit(error)) host->Log(LogWarning, "cannot raise the limit of open files: " + error);
    static SocketManager manager;
    BoardService service(manager, config, *host);
    return RunService(service, *host);
}

#include "SessionCommands.h"

#include <cstdio>

#include "BoardClock.h"
#include "BoardStore.h"
#include "HostRule.h"
#include "PasswordHash.h"
#include "Windows1252.h"

int SignOutCommand(const std::string& database, const std::string& name) {
    std::string error;
    std::int64_t ended = 0;
    std::unique_ptr<BoardStore> store = BoardStore::Connect(database, error);
    if (!store || !store->EndSessionsOf(Utf8ToWindows1252(name), ended, error)) {
        std::fprintf(stderr, "pegmastd: %s: %s\n", database.c_str(), error.c_str());
        return 1;
    }
    std::printf("# %s signed out of %s sessions\n", name.c_str(), std::to_string(ended).c_str());
    return 0;
}

int WallLinkCommand(const ServiceConfig& config, bool renew) {
    std::string error, random;
    if (!RandomBytes(32, random)) {
        std::fprintf(stderr, "pegmastd: the system gives no random numbers\n");
        return 1;
    }
    const std::string key = HexOf(random);
    std::unique_ptr<BoardStore> store = BoardStore::Connect(config.stateFile, error);
    if (!store || !store->AddWallKey(Sha256(key), WallMs(), renew, error)) {
        std::fprintf(stderr, "pegmastd: %s: %s\n", config.stateFile.c_str(), error.c_str());
        return 1;
    }
    // The machine's fullest name: the one its certificate most likely carries.
    std::string host = "localhost";
    for (const std::string& name : MachineNames())
        if (name.size() > host.size() || host == "localhost") host = name;
    const bool https = !config.webTlsCertificateFile.empty();
    if (config.webViewAccess != "signed-in")
        std::printf("# the board is shown to anyone (WebViewAccess = %s): a wall needs no key there\n",
                    config.webViewAccess.c_str());
    if (renew) std::printf("# every wall link made before this one no longer works\n");
    if (!https && !config.webTrustedProxy.empty())
        std::printf("# behind the reverse proxy, give the wall the proxy's address with the same ?wall&key=...\n");
    std::printf("%s://%s:%u/?wall&key=%s\n", https ? "https" : "http", host.c_str(), config.webPort, key.c_str());
    return 0;
}

#include "SessionCommands.h"

#include <cctype>
#include <cstdio>

#include "AsciiText.h"

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

namespace {

// This board's address as people reach it: the machine's fullest name, the certificate's most likely.
std::string BoardAddress(const ServiceConfig& config) {
    std::string host = "localhost";
    for (const std::string& name : MachineNames())
        if (name.size() > host.size() || host == "localhost") host = name;
    const bool https = !config.webTlsCertificateFile.empty();
    return std::string(https ? "https" : "http") + "://" + host + ":" + std::to_string(config.webPort);
}

std::string Encoded(const std::string& utf8) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char ch : utf8)
        out += std::isalnum(ch) || ch == '-' || ch == '.' || ch == '_' || ch == '~'
                   ? std::string(1, static_cast<char>(ch))
                   : std::string("%") + hex[ch >> 4] + hex[ch & 15];
    return out;
}

}  // namespace

int CalendarLinkCommand(const ServiceConfig& config, const std::string& kind, const std::string& name, bool renew) {
    if (!(kind == "office" || ((kind == "group" || kind == "person") && !name.empty()))) {
        std::fprintf(stderr, "pegmastd: --calendar-link takes office, group NAME or person NAME\n");
        return 2;
    }
    std::string error, random;
    if (!RandomBytes(32, random)) {
        std::fprintf(stderr, "pegmastd: the system gives no random numbers\n");
        return 1;
    }
    const std::string key = HexOf(random);
    const std::string lower = AsciiLower(Utf8ToWindows1252(name));
    const std::string feed = kind == "office" ? kind : kind + ":" + lower;
    std::unique_ptr<BoardStore> store = BoardStore::Connect(config.stateFile, error);
    if (!store || !store->AddCalendarKey(Sha256(key), feed, WallMs(), renew, error)) {
        std::fprintf(stderr, "pegmastd: %s: %s\n", config.stateFile.c_str(), error.c_str());
        return 1;
    }
    if (renew) std::printf("# every address of this calendar made before this one no longer works\n");
    const std::string path = kind == "office" ? "/calendar/office.ics"
                                              : "/calendar/" + kind + "/" + Encoded(Windows1252ToUtf8(lower)) + ".ics";
    std::printf("%s%s?key=%s\n", BoardAddress(config).c_str(), path.c_str(), key.c_str());
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
    const bool https = !config.webTlsCertificateFile.empty();
    if (config.webViewAccess != "signed-in")
        std::printf("# the board is shown to anyone (WebViewAccess = %s): a wall needs no key there\n",
                    config.webViewAccess.c_str());
    if (renew) std::printf("# every wall link made before this one no longer works\n");
    if (!https && !config.webTrustedProxy.empty())
        std::printf("# behind the reverse proxy, give the wall the proxy's address with the same ?wall&key=...\n");
    std::printf("%s/?wall&key=%s\n", BoardAddress(config).c_str(), key.c_str());
    return 0;
}

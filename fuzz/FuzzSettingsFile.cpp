// The settings file as another tool (or a damaged disk) may leave it: both
// programs must start with their messages and defaults, never crash.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "ClientSettings.h"
#include "ServerStartup.h"
#include "SettingsKey.h"

namespace {

void Plant(const std::string& keyPath, const std::uint8_t* data, std::size_t size) {
    SettingsKey::Open(keyPath);  // creates the folders
    std::ofstream out(SettingsFilePath(keyPath), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static char home[] = "/tmp/pegora-fuzz-XXXXXX";
    ::setenv("XDG_CONFIG_HOME", ::mkdtemp(home), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Plant(ServerKeyPath, data, size);
    ReadServerPort([](const std::string&, const std::string&, bool) {});

    Plant(ClientKeyPath, data, size);
    ClientState state;
    ClientSettingsShell shell;
    shell.showAccessError = [](const std::string&) {};
    shell.runFirstSetup = [](SetupFields&) { return false; };
    ReadClientSettings(state, shell);
    if (std::memchr(state.config.serverAddress, 0, sizeof state.config.serverAddress) == nullptr) std::abort();
    return 0;
}

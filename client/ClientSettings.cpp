#include "ClientSettings.h"

#include <cstring>
#include <memory>

#include "SettingsKey.h"

namespace {

const char* const KeyError = "Unable to create the RegKey \"ZORVEN\\PEGORA\\CLIENT\".";
const char* const NameError = "Unable to read \"Name\" field from the Registry.";
const char* const AddressError = "Unable to read \"ServerAddress\" field from the Registry.";

// Port 4 bytes, Name the whole 20-byte field, ServerAddress the whole 128-byte buffer.
// One update of the key, so no reader sees some of the values and not the others.
void WriteAll(SettingsKey& key, ClientState& state) {
    StatusRecord record = state.RecordCopy();
    ClientConfig config = state.ConfigCopy();
    const unsigned char* name = record.Bytes() + StatusRecord::NameOffset;
    const unsigned char* address = reinterpret_cast<const unsigned char*>(config.serverAddress);
    key.WriteValues(
        {DwordValue("Port", config.port),
         {"Name", SettingString, std::vector<unsigned char>(name, name + StatusRecord::NameSize)},
         {"ServerAddress", SettingString, std::vector<unsigned char>(address, address + sizeof config.serverAddress)}});
}

}  // namespace

void ReadClientSettings(ClientState& state, const ClientSettingsShell& shell) {
    std::unique_ptr<SettingsKey> key = SettingsKey::Open(ClientKeyPath);
    if (!key) {
        shell.showAccessError(KeyError);
        return;
    }

    unsigned char port[4];
    std::uint32_t length = 0;
    if (key->Read("Port", port, sizeof port, &length)) {
        // Like a registry read into the variable: only the bytes stored are replaced.
        auto guard = state.Lock();
        unsigned char current[4];
        std::memcpy(current, &state.config.port, 4);
        std::memcpy(current, port, length);
        std::memcpy(&state.config.port, current, 4);
    } else {
        SetupFields fields = OpenSetupDialog(state);
        bool ok = shell.runFirstSetup ? shell.runFirstSetup(fields) : false;
        CloseSetupDialog(state, fields, ok);
        WriteAll(*key, state);
    }

    unsigned char name[StatusRecord::NameSize];
    if (!key->Read("Name", name, sizeof name, &length)) {
        shell.showAccessError(NameError);
        return;
    }
    {
        auto guard = state.Lock();
        std::memcpy(state.record.Bytes() + StatusRecord::NameOffset, name, length);
    }

    char address[sizeof ClientConfig().serverAddress];
    if (!key->Read("ServerAddress", address, sizeof address, &length)) {
        shell.showAccessError(AddressError);
        return;
    }
    auto guard = state.Lock();
    std::memcpy(state.config.serverAddress, address, length);
    // A value stored by another tool without its terminator still ends inside the buffer.
    state.config.serverAddress[sizeof state.config.serverAddress - 1] = 0;
}

void ReadAwayOnLock(ClientState& state) {
    std::unique_ptr<SettingsKey> key = SettingsKey::Open(ClientKeyPath);
    unsigned char value[4] = {};
    std::uint32_t length = 0, type = 0;
    bool on = key && key->Read("AwayOnLock", value, sizeof value, &length, &type) && type == SettingDword &&
              length == 4 && value[0] == 1 && value[1] == 0 && value[2] == 0 && value[3] == 0;
    auto guard = state.Lock();
    state.awayOnLock = on;
}

void WriteAwayOnLock(ClientState& state, const ClientSettingsShell& shell) {
    std::unique_ptr<SettingsKey> key = SettingsKey::Open(ClientKeyPath);
    if (!key) {
        shell.showAccessError(KeyError);
        return;
    }
    bool on;
    {
        auto guard = state.Lock();
        on = state.awayOnLock;
    }
    key->WriteDword("AwayOnLock", on ? 1 : 0);
}

void WriteClientSettings(ClientState& state, const ClientSettingsShell& shell) {
    std::unique_ptr<SettingsKey> key = SettingsKey::Open(ClientKeyPath);
    if (!key) {
        shell.showAccessError(KeyError);
        return;
    }
    WriteAll(*key, state);
}

#include "BoardOptions.h"

#include <cstring>
#include <memory>

#include "ServerStartup.h"
#include "SettingsKey.h"

namespace {

// A DWORD of exactly four bytes, or nothing.
bool ReadDword(SettingsKey& key, const char* name, std::uint32_t& value) {
    unsigned char bytes[4] = {};
    std::uint32_t length = 0, type = 0;
    if (!key.Read(name, bytes, sizeof bytes, &length, &type) || type != SettingDword || length != 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return true;
}

// Whole decimal numbers only: "80x", "", "-1" and overlong text are refused.
bool ParseNumber(const std::string& text, std::uint32_t limit, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (n < 1 || n > limit) return false;
    value = static_cast<std::uint32_t>(n);
    return true;
}

}  // namespace

BoardOptions ReadBoardOptions() {
    BoardOptions options;
    std::unique_ptr<SettingsKey> key = SettingsKey::Open(ServerKeyPath);
    if (!key) return options;
    std::uint32_t value = 0;
    if (ReadDword(*key, "WebPort", value) && value <= 65535) options.webPort = value;
    if (ReadDword(*key, "SilentMinutes", value) && value <= MaxSilentMinutes) options.silentMinutes = value;
    if (ReadDword(*key, "AcceptPacingMs", value) && value <= MaxAcceptPacingMs) options.acceptPacingMs = value;
    options.webUpdates = ReadDword(*key, "WebUpdates", value) && value == 1;
    char code[MaxUpdateCode + 1] = {};
    std::uint32_t length = 0, type = 0;
    if (key->Read("WebUpdateCode", code, sizeof code, &length, &type) && type == SettingString && length > 0 &&
        std::memchr(code, 0, length) != nullptr)
        options.webUpdateCode = code;
    return options;
}

bool WriteBoardOptions(const BoardOptions& options) {
    std::unique_ptr<SettingsKey> key = SettingsKey::Open(ServerKeyPath);
    const std::string& code = options.webUpdateCode;
    std::vector<unsigned char> text(code.begin(), code.end());
    text.push_back(0);
    return key &&
           key->WriteValues({DwordValue("WebPort", options.webPort), DwordValue("SilentMinutes", options.silentMinutes),
                             DwordValue("WebUpdates", options.webUpdates ? 1 : 0),
                             SettingValue{"WebUpdateCode", SettingString, text}});
}

OptionsFields OpenOptionsDialog(const BoardOptions& options) {
    OptionsFields fields;
    fields.share = options.webPort != 0;
    fields.portText = std::to_string(options.webPort != 0 ? options.webPort : DefaultWebPort);
    fields.grey = options.silentMinutes != 0;
    fields.minutesText = std::to_string(options.silentMinutes != 0 ? options.silentMinutes : 3);
    fields.updates = options.webUpdates;
    fields.codeText = options.webUpdateCode;
    return fields;
}

bool TakeOptionsFields(const OptionsFields& fields, BoardOptions& options, std::string& refusal) {
    BoardOptions taken;
    taken.acceptPacingMs = options.acceptPacingMs;  // not the dialog's to change
    if (fields.share && !ParseNumber(fields.portText, 65535, taken.webPort)) {
        refusal = "The port must be a number from 1 to 65535.";
        return false;
    }
    if (fields.grey && !ParseNumber(fields.minutesText, MaxSilentMinutes, taken.silentMinutes)) {
        refusal = "The minutes must be a number from 1 to 1440.";
        return false;
    }
    if (fields.codeText.size() > MaxUpdateCode) {
        refusal = "The code must be at most " + std::to_string(MaxUpdateCode) + " characters.";
        return false;
    }
    if (!fields.codeText.empty() && fields.codeText.size() < MinNewUpdateCode &&
        fields.codeText != options.webUpdateCode) {
        refusal = "The code must be at least 8 characters, so that it cannot be guessed.";
        return false;
    }
    taken.webUpdates = fields.share && fields.updates;
    taken.webUpdateCode = fields.codeText;
    options = taken;
    return true;
}

std::string ShortCodeWarning(const std::string& code) {
    if (code.empty() || code.size() >= MinNewUpdateCode) return std::string();
    return "The update code is shorter than 8 characters and easily guessed; choose a longer one.";
}

std::string WebAddress(const std::string& address, const std::string& port) {
    return "http://" + address + ":" + port + "/";
}

OptionsLook LookOfOptions(const OptionsFields& fields, const std::string& machineAddress) {
    OptionsLook look;
    look.port = fields.share;
    look.minutes = fields.grey;
    look.updates = fields.share;
    look.code = fields.share && fields.updates;
    if (fields.share) look.address = WebAddress(machineAddress, fields.portText);
    return look;
}

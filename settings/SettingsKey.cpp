#include "SettingsKey.h"

bool SettingsKey::WriteDword(const std::string& name, std::uint32_t value) {
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    return Write(name, SettingDword, bytes, 4);
}

#include "SettingsKey.h"

SettingValue DwordValue(const std::string& name, std::uint32_t value) {
    SettingValue v{name, SettingDword, std::vector<unsigned char>(4)};
    for (int i = 0; i < 4; ++i) v.data[static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    return v;
}

bool SettingsKey::WriteDword(const std::string& name, std::uint32_t value) {
    SettingValue v = DwordValue(name, value);
    return Write(name, SettingDword, v.data.data(), 4);
}

bool SettingsKey::WriteValues(const std::vector<SettingValue>& values) {
    bool all = true;
    for (const SettingValue& v : values)
        all = Write(v.name, v.type, v.data.data(), static_cast<std::uint32_t>(v.data.size())) && all;
    return all;
}

// One per-user settings key: the registry under HKEY_CURRENT_USER on Windows,
// a file under $XDG_CONFIG_HOME elsewhere, with the same key path, value
// names, types and exact bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

const std::uint32_t SettingString = 1;  // REG_SZ
const std::uint32_t SettingDword = 4;   // REG_DWORD

// One value of a key, as WriteValues takes it.
struct SettingValue {
    std::string name;
    std::uint32_t type;
    std::vector<unsigned char> data;
};

SettingValue DwordValue(const std::string& name, std::uint32_t value);

class SettingsKey {
public:
    // Opens the key, creating it when absent; null when neither works.
    static std::unique_ptr<SettingsKey> Open(const std::string& path);
    virtual ~SettingsKey() = default;

    // Reads at most `capacity` bytes into `buffer`; fails when the value is
    // absent or larger than the buffer. The value's type plays no part in
    // the read; `type`, when given, receives it.
    virtual bool Read(const std::string& name, void* buffer, std::uint32_t capacity, std::uint32_t* length,
                      std::uint32_t* type = nullptr) = 0;
    virtual bool Write(const std::string& name, std::uint32_t type, const void* data, std::uint32_t length) = 0;

    // Several values as one update where the store can: the file backend
    // writes them all or none. The registry writes them one after another.
    virtual bool WriteValues(const std::vector<SettingValue>& values);

    bool WriteDword(const std::string& name, std::uint32_t value);
};

// Where the file backend keeps a key; empty on Windows.
std::string SettingsFilePath(const std::string& keyPath);

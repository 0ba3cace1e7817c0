// The registry backend: HKEY_CURRENT_USER\<path>, created when absent.
#include <windows.h>

#include "SettingsKey.h"

namespace {

class RegistryKey : public SettingsKey {
public:
    explicit RegistryKey(HKEY key_) : key(key_) {}
    ~RegistryKey() override { ::RegCloseKey(key); }

    bool Read(const std::string& name, void* buffer, std::uint32_t capacity, std::uint32_t* length,
              std::uint32_t* type = nullptr) override {
        DWORD size = capacity;
        DWORD kind = 0;
        LONG result = ::RegQueryValueExA(key, name.c_str(), nullptr, &kind, static_cast<BYTE*>(buffer), &size);
        if (result != ERROR_SUCCESS) return false;
        if (length) *length = size;
        if (type) *type = kind;
        return true;
    }

    bool Write(const std::string& name, std::uint32_t type, const void* data, std::uint32_t length) override {
        return ::RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), length) == ERROR_SUCCESS;
    }

private:
    HKEY key;
};

}  // namespace

std::unique_ptr<SettingsKey> SettingsKey::Open(const std::string& path) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &key, &disposition) != ERROR_SUCCESS)
        return nullptr;
    return std::unique_ptr<SettingsKey>(new RegistryKey(key));
}

std::string SettingsFilePath(const std::string&) { return std::string(); }

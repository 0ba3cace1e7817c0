// The file backend: one file per key under $XDG_CONFIG_HOME (default
// ~/.config), at the registry key's path. One line per value:
//   <name> <type> <hex bytes>
// Lines that do not parse are ignored, so a damaged file reads as missing
// values, never as a crash. Every write is one new file that is renamed over the old.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "AtomicFile.h"
#include "SettingsKey.h"

namespace {

struct Value {
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
};

typedef std::map<std::string, Value> Values;

const std::size_t MaxValueBytes = 1 << 20;

bool MakeDirectories(const std::string& path) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseLine(const std::string& line, std::string& name, Value& value) {
    std::istringstream in(line);
    std::string type, hex;
    if (!(in >> name >> type)) return false;
    in >> hex;  // an empty value has no hex field
    if (type.empty() || type.size() > 10 || type.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned long t = std::strtoul(type.c_str(), nullptr, 10);
    if (t > 0xFFFFFFFFul || hex.size() % 2 != 0 || hex.size() / 2 > MaxValueBytes) return false;
    value.type = static_cast<std::uint32_t>(t);
    value.data.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        value.data.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return true;
}

class FileKey : public SettingsKey {
public:
    explicit FileKey(const std::string& path_) : path(path_) {}

    bool Read(const std::string& name, void* buffer, std::uint32_t capacity, std::uint32_t* length,
              std::uint32_t* type = nullptr) override {
        Values values = Load();
        auto it = values.find(name);
        if (it == values.end() || it->second.data.size() > capacity) return false;
        if (!it->second.data.empty()) std::memcpy(buffer, it->second.data.data(), it->second.data.size());
        if (length) *length = static_cast<std::uint32_t>(it->second.data.size());
        if (type) *type = it->second.type;
        return true;
    }

    bool Write(const std::string& name, std::uint32_t type, const void* data, std::uint32_t length) override {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        return WriteValues({SettingValue{name, type, std::vector<unsigned char>(bytes, bytes + length)}});
    }

    bool WriteValues(const std::vector<SettingValue>& changes) override {
        for (const SettingValue& change : changes)
            if (change.name.empty() || change.name.find_first_of(" \t\r\n") != std::string::npos) return false;
        Values values = Load();
        for (const SettingValue& change : changes) {
            Value& value = values[change.name];
            value.type = change.type;
            value.data = change.data;
        }
        return Store(values);
    }

private:
    Values Load() const {
        Values values;
        std::ifstream in(path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            std::string name;
            Value value;
            if (ParseLine(line, name, value)) values[name] = value;
        }
        return values;
    }

    bool Store(const Values& values) const {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        for (const auto& entry : values) {
            text += entry.first + " " + std::to_string(entry.second.type) + " ";
            for (unsigned char b : entry.second.data) {
                text += digits[b >> 4];
                text += digits[b & 15];
            }
            text += "\n";
        }
        std::string error;
        return WriteFileAtomically(path, text, 0600, error);
    }

    std::string path;
};

}  // namespace

std::string SettingsFilePath(const std::string& keyPath) {
    std::string home;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        home = config;
    } else {
        const char* user = std::getenv("HOME");
        home = std::string(user ? user : "") + "/.config";
    }
    std::string relative = keyPath;
    for (char& c : relative)
        if (c == '\\') c = '/';
    return home + "/" + relative;
}

std::unique_ptr<SettingsKey> SettingsKey::Open(const std::string& keyPath) {
    std::string path = SettingsFilePath(keyPath);
    std::string directory = path.substr(0, path.rfind('/'));
    if (!MakeDirectories(directory)) return nullptr;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return nullptr;
    } else {
        std::ofstream create(path, std::ios::binary | std::ios::app);
        if (!create) return nullptr;
    }
    return std::unique_ptr<SettingsKey>(new FileKey(path));
}

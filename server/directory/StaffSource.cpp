#include "StaffSource.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

#include "StaffCsv.h"

namespace {

const std::size_t MaxStaffFileBytes = 64u << 20;

}  // namespace

bool ReadStaffFile(const std::string& path, StaffList& list, std::vector<std::string>& problems, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    std::string text;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (text.size() > MaxStaffFileBytes) {
            error = path + ": larger than 64 MiB: not a staff list";
            return false;
        }
    }
    if (file.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    std::vector<StaffEntry> entries;
    if (!ReadStaffCsv(text, path, entries, problems, error)) return false;
    list = MakeStaffList(entries);
    return true;
}

StaffSource StaffFileSource(const std::string& path) {
    StaffSource source;
    source.kind = "file";
    source.name = path;
    source.read = [path](StaffList& list, std::vector<std::string>& problems, std::string& error) {
        return ReadStaffFile(path, list, problems, error);
    };
    source.signature = [path] {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) return std::string();
        return std::to_string(static_cast<long long>(st.st_size)) + "/" +
               std::to_string(static_cast<long long>(st.st_mtime));
    };
    return source;
}

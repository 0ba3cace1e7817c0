#include "StaffSource.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

#include "StaffCsv.h"

namespace {

const std::size_t MaxStaffFileBytes = 64u << 20;

}  // namespace

bool ReadStaffFile(const std::string& path, StaffList& list, std::vector<std::string>& problems, StaffError& error) {
    error.shown = "the staff file cannot be read";
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error.detail = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    std::string text;
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (text.size() > MaxStaffFileBytes) {
            error.detail = path + ": larger than 64 MiB: not a staff list";
            error.shown = "the staff file is larger than 64 MiB";
            return false;
        }
    }
    if (file.bad()) {
        error.detail = path + ": cannot be read";
        return false;
    }
    error.shown = "the staff file has no header line naming a \"name\" column";
    return ReadStaffCsv(text, path, list, problems, error.detail);
}

StaffSource StaffFileSource(const std::string& path) {
    StaffSource source;
    source.kind = "file";
    source.name = path;
    source.read = [path](StaffList& list, std::vector<std::string>& problems, StaffError& error) {
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

#include "AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteWhole(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The file an administrator has narrowed (chmod 600, chown) stays so. The
// failed step, or null.
const char* KeepModeAndOwner(int fd, const std::string& path, int& code) {
    struct stat old;
    if (::stat(path.c_str(), &old) != 0) return nullptr;  // a new file
    if (::fchmod(fd, old.st_mode & 07777) != 0) {
        code = errno;
        return "cannot keep the file's mode";
    }
    // Only root can give a file away; anybody else writes their own file.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::geteuid() == 0 &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        code = errno;
        return "cannot keep the file's owner";
    }
    return nullptr;
}

bool Fail(std::string& error, const char* step, int code) {
    error = std::string(step) + ": " + std::strerror(code);
    return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, int mode, std::string& error) {
    std::string temporary = path + ".tmp" + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) return Fail(error, "cannot create the new file", errno);
    int code = 0;
    const char* step = KeepModeAndOwner(fd, path, code);
    if (!step && !WriteWhole(fd, bytes)) {
        code = errno ? errno : EIO;
        step = "cannot write the new file";
    } else if (!step && ::fsync(fd) != 0) {
        code = errno;
        step = "cannot flush the new file";
    }
    if (::close(fd) != 0 && !step) {
        code = errno;
        step = "cannot close the new file";
    }
    if (!step && std::rename(temporary.c_str(), path.c_str()) != 0) {
        code = errno;
        step = "cannot rename the new file over the old one";
    }
    if (step) {
        std::remove(temporary.c_str());
        return Fail(error, step, code);
    }
    std::string directory = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
    if (directory.empty()) directory = "/";
    int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

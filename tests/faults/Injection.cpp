#include "Injection.h"

#include <cerrno>
#include <cstdlib>
#include <new>
#include <thread>

std::atomic<int> failListenWith{0};
std::atomic<int> failRenameWith{0};
std::atomic<std::size_t> failAllocationsOf{0};

namespace {
std::atomic<std::thread::id> testThread;
}

void MarkTestThread() { testThread = std::this_thread::get_id(); }

extern "C" int __real_listen(int fd, int backlog);
extern "C" int __wrap_listen(int fd, int backlog) {
    if (int error = failListenWith.load()) {
        errno = error;
        return -1;
    }
    return __real_listen(fd, backlog);
}

extern "C" int __real_rename(const char* from, const char* to);
extern "C" int __wrap_rename(const char* from, const char* to) {
    if (int error = failRenameWith.load()) {
        errno = error;
        return -1;
    }
    return __real_rename(from, to);
}

void* operator new(std::size_t size) {
    std::size_t unit = failAllocationsOf.load();
    if (unit != 0 && size >= unit && size % unit == 0 && std::this_thread::get_id() != testThread.load())
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

#include "ProcessCounts.h"

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

int HandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return static_cast<int>(count);
}

#else
#include <dirent.h>

namespace {
int Entries(const char* path) {
    DIR* dir = opendir(path);
    if (!dir) return -1;
    int count = 0;
    while (dirent* e = readdir(dir))
        if (e->d_name[0] != '.') ++count;
    closedir(dir);
    return count;
}
}  // namespace

int ThreadCount() { return Entries("/proc/self/task"); }
int HandleCount() { return Entries("/proc/self/fd"); }
#endif

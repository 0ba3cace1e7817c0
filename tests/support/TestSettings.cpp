#include "TestSettings.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>

void ClearSettingsKey(const std::string& keyPath) { ::RegDeleteTreeA(HKEY_CURRENT_USER, keyPath.c_str()); }

#else
#include <cstdio>
#include <unistd.h>

#include "SettingsKey.h"

void ClearSettingsKey(const std::string& keyPath) {
    static std::string home;
    if (home.empty()) {
        char pattern[] = "/tmp/pegora-settings-XXXXXX";
        home = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    }
    std::remove(SettingsFilePath(keyPath).c_str());
}
#endif

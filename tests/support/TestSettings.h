// Gives each test a clean per-user settings store: a temporary settings home
// on Linux, the test prefix's registry key removed on Windows.
#pragma once

#include <string>

void ClearSettingsKey(const std::string& keyPath);

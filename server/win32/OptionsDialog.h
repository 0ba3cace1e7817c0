// The board's "Board options" dialog (win32).
#pragma once

#include <windows.h>

#include <string>

#include "BoardOptions.h"

// True for OK with fields that can be taken; `options` then holds them.
bool RunOptionsDialog(HINSTANCE instance, HWND owner, BoardOptions& options, const std::string& address);

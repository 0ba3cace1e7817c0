// The board's two modal dialogs; both return the id of the closing button.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

INT_PTR RunServerSetupDialog(HINSTANCE instance, HWND owner, std::int32_t serverPort, const std::string& localAddress);
INT_PTR RunServerAboutDialog(HINSTANCE instance, HWND owner);

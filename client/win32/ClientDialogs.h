// The client's modal dialogs. Each takes its fields in and gives them back;
// the result is true for OK.
#pragma once

#include <windows.h>

#include "ClientRules.h"

bool RunStatusDialog(HINSTANCE instance, HWND owner, StatusFields& fields);
bool RunSetupDialog(HINSTANCE instance, HWND owner, SetupFields& fields);
void RunAboutDialog(HINSTANCE instance, HWND owner);

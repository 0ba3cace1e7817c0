// The client's dialogs on Linux. Texts cross here between the wire's
// Windows-1252 bytes and the desktop's Unicode; limits count bytes.
#pragma once

#include <QWidget>

#include "ClientRules.h"

bool RunStatusDialog(QWidget* owner, StatusFields& fields);
bool RunSetupDialog(QWidget* owner, SetupFields& fields);
void RunAboutDialog(QWidget* owner);

// The board's Setup and About dialogs; both return the closing button's id
// (1 for OK, 2 for Cancel).
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

int RunServerSetupDialog(QWidget* owner, std::int32_t serverPort, const std::string& localAddress);
int RunServerAboutDialog(QWidget* owner);

// The board's "Board options" dialog (Qt): the same fields as the win32 one.
#pragma once

#include <QWidget>
#include <string>

#include "BoardOptions.h"

// True for OK with fields that can be taken; `options` then holds them.
bool RunOptionsDialog(QWidget* owner, BoardOptions& options, const std::string& address);

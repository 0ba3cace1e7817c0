// A program's icon in Qt, from the images drawn at build time (the same
// drawing as the Windows icons and the desktop entries).
#pragma once

#include <QIcon>

// `drawing`: "peg" (the status client) or "board" (the board).
QIcon ProgramIcon(const char* drawing);

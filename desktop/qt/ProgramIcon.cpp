#include "ProgramIcon.h"

QIcon ProgramIcon(const char* drawing) {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QString(":/icons/%1-%2.png").arg(QLatin1String(drawing)).arg(size), QSize(size, size));
    return icon;
}

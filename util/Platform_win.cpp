#include "util/Platform.h"

#include <QDir>

#include <windows.h>

namespace Platform {

QString appDataHome()
{
    const QDir home = QDir::home();
    if (home.exists(QStringLiteral("AppData/Roaming")))
        return home.absoluteFilePath(QStringLiteral("AppData/Roaming"));
    return home.absoluteFilePath(QStringLiteral("Application Data"));
}

void keepAwake()
{
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
}

}

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

void terminateProcess(int code)
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    // TerminateProcess does not return for the current process; keep the
    // promise of [[noreturn]] should it ever fail.
    ExitProcess(static_cast<UINT>(code));
}

}

#include "util/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

quint64 totalPhysicalMemory()
{
    // GlobalMemoryStatus tops out at 4 GB on 32-bit builds; the Ex form does not.
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return 0;
    return quint64(status.ullTotalPhys);
}

void terminateProcess(int code)
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    // TerminateProcess does not return for the current process; keep the
    // promise of [[noreturn]] should it ever fail.
    ExitProcess(static_cast<UINT>(code));
}

Qt::CaseSensitivity fileNameCaseSensitivity()
{
    return Qt::CaseInsensitive;
}

QString openRegularFile(QFile &file, QIODevice::OpenMode mode)
{
    // Pipes live outside the file system here; what remains are devices and
    // folders.
    const QFileInfo info(file.fileName());
    if (info.exists() && !info.isFile())
        return QStringLiteral("%1 is not a regular file.").arg(QDir::toNativeSeparators(info.absoluteFilePath()));
    return file.open(mode) ? QString() : file.errorString();
}

}

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

bool processExists(qint64 pid)
{
    if (pid <= 0 || pid > qint64(MAXDWORD))
        return false;
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!h)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

QString makePrivateFolder(const QString &path)
{
    // The temporary folder is the user's own here.
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        return QStringLiteral("%1 is not a folder.").arg(QDir::toNativeSeparators(path));
    if (!QDir().mkpath(path))
        return QStringLiteral("%1 cannot be created.").arg(QDir::toNativeSeparators(path));
    return QString();
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

#include "util/Platform.h"

#include <QDir>
#include <QtGlobal>

#include <sys/sysinfo.h>
#include <unistd.h>

namespace Platform {

QString appDataHome()
{
    // An unset or relative XDG_DATA_HOME is invalid and must be ignored.
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::home().absoluteFilePath(QStringLiteral(".local/share"));
}

quint64 totalPhysicalMemory()
{
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return 0;
    // totalram counts units of mem_unit bytes.
    return quint64(info.totalram) * quint64(info.mem_unit);
}

void terminateProcess(int code)
{
    _exit(code);
}

}

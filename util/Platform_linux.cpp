#include "util/Platform.h"

#include <QDir>
#include <QtGlobal>

namespace Platform {

QString appDataHome()
{
    // An unset or relative XDG_DATA_HOME is invalid and must be ignored.
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::home().absoluteFilePath(QStringLiteral(".local/share"));
}

Qt::CaseSensitivity fileNameCaseSensitivity()
{
    return Qt::CaseSensitive;
}

}

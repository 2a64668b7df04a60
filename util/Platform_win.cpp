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

QString userTag()
{
    return QString();
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

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

// Why the folder at path is not open (anymore): err when known, never empty.
QString notOpen(const QString &err, const QString &path)
{
    if (!err.isEmpty())
        return err;
    const QString link = linkRefusal(path);
    return link.isEmpty() ? QStringLiteral("%1 is no folder.").arg(native(path)) : link;
}

}

QString linkRefusal(const QString &path)
{
    if (!isLink(QFileInfo(path)))
        return QString();
    return QStringLiteral("%1 is a link. The program reads and writes a project's files only where they stand, "
                          "never through a link.")
        .arg(native(path));
}

QString openRegularFile(QFile &file, QIODevice::OpenMode mode)
{
    // Pipes live outside the file system here; what remains are devices,
    // folders and links (checked before the open: Windows has no flag that
    // refuses them).
    const QFileInfo info(file.fileName());
    const QString link = linkRefusal(info.filePath());
    if (!link.isEmpty())
        return link;
    if (info.exists() && !info.isFile())
        return QStringLiteral("%1 is not a regular file.").arg(native(info.filePath()));
    return file.open(mode) ? QString() : file.errorString();
}

bool mayWrite(const QString &path)
{
    return QFileInfo(path).isWritable();
}

void databaseWithoutLinks(const QString &, bool)
{
    // The callers refuse links before they open a database.
}

bool watchDatabaseLinks()
{
    return false;
}

// Without descriptors of folders here, each step checks the path anew.
Folder::Folder(const QString &path)
    : m_path(path)
{
    const QFileInfo info(path);
    m_err = isLink(info) ? linkRefusal(path)
        : info.isDir()   ? QString()
                         : QStringLiteral("%1 is no folder.").arg(native(path));
}

Folder::Folder(const Folder &parent, const QString &name)
    : Folder(parent.m_path + QLatin1Char('/') + name)
{
    if (!parent.isOpen())
        m_err = notOpen(parent.m_err, parent.m_path);
}

Folder::~Folder() = default;

bool Folder::isOpen() const
{
    return m_err.isEmpty() && !isLink(QFileInfo(m_path)) && QFileInfo(m_path).isDir();
}

QList<Folder::Entry> Folder::entries() const
{
    QList<Entry> out;
    if (!isOpen())
        return out;
    const QFileInfoList list = QDir(m_path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                              | QDir::NoDotAndDotDot,
                                                          QDir::Name);
    for (const QFileInfo &e : list)
        out.append({ e.fileName(), isLink(e) ? Link : e.isDir() ? SubFolder : e.isFile() ? File : Other });
    return out;
}

QByteArray Folder::read(const QString &name, qint64 max) const
{
    QFile f(m_path + QLatin1Char('/') + name);
    return isOpen() && openRegularFile(f, QIODevice::ReadOnly).isEmpty() ? f.read(max) : QByteArray();
}

QString Folder::remove(const QString &name) const
{
    if (!isOpen())
        return notOpen(m_err, m_path);
    QFile f(m_path + QLatin1Char('/') + name);
    return f.remove() ? QString() : f.errorString();
}

QString Folder::removeFolder(const QString &name) const
{
    if (!isOpen())
        return notOpen(m_err, m_path);
    return QDir(m_path).rmdir(name) ? QString() : QStringLiteral("%1 cannot be removed.").arg(native(m_path + QLatin1Char('/') + name));
}

bool Folder::isAt(const QString &path) const
{
    return isOpen() && QFileInfo(path).absoluteFilePath() == QFileInfo(m_path).absoluteFilePath();
}

}

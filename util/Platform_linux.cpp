#include "util/Platform.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

const char *const kWho = "Kalvinor Audio To Text Converter";
const char *const kWhy = "Recognising speech";

// logind holds its inhibitor lock while this descriptor stays open; the
// screen saver's holds while our session-bus connection lives. Both last
// until the process ends.
QDBusUnixFileDescriptor &sleepLock()
{
    static QDBusUnixFileDescriptor fd;
    return fd;
}

// Without an address libdbus would try to autolaunch a bus of its own, which
// then outlives us; a desktop session always announces one.
bool hasSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

void inhibitScreenSaver()
{
    if (!hasSessionBus())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage msg = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                                                      QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                      QStringLiteral("org.freedesktop.ScreenSaver"),
                                                      QStringLiteral("Inhibit"));
    msg << QString::fromLatin1(kWho) << QString::fromLatin1(kWhy);
    // Asynchronous: a missing or slow service must not hold up start-up.
    bus.asyncCall(msg);
}

void inhibitSleep()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage msg = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                      QStringLiteral("/org/freedesktop/login1"),
                                                      QStringLiteral("org.freedesktop.login1.Manager"),
                                                      QStringLiteral("Inhibit"));
    msg << QStringLiteral("sleep:idle") << QString::fromLatin1(kWho) << QString::fromLatin1(kWhy)
        << QStringLiteral("block");
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(msg), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [](QDBusPendingCallWatcher *w) {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isValid())
            sleepLock() = reply.value();
        w->deleteLater();
    });
}

}

void keepAwake()
{
    inhibitScreenSaver();
    inhibitSleep();
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

bool processExists(qint64 pid)
{
    if (pid <= 0 || pid != qint64(pid_t(pid)))
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

QString makePrivateFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), qt_error_string(errno));
    // In a folder every user may write to, the name may have been taken by
    // someone else first.
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), qt_error_string(errno));
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return QStringLiteral("%1 is not a folder of this user.").arg(QDir::toNativeSeparators(path));
    if ((st.st_mode & 077) != 0 && ::chmod(name.constData(), 0700) != 0)
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), qt_error_string(errno));
    return QString();
}

Qt::CaseSensitivity fileNameCaseSensitivity()
{
    return Qt::CaseSensitive;
}

namespace {

int openFlags(QIODevice::OpenMode mode)
{
    int flags = (mode & QIODevice::ReadWrite) == QIODevice::ReadWrite ? O_RDWR
        : (mode & QIODevice::WriteOnly)                               ? O_WRONLY
                                                                      : O_RDONLY;
    if (mode & QIODevice::WriteOnly) {
        if (!(mode & QIODevice::ExistingOnly))
            flags |= O_CREAT;
        if (mode & QIODevice::NewOnly)
            flags |= O_EXCL;
        // As QFile does: write-only truncates unless it reads or appends.
        if ((mode & QIODevice::Truncate)
            || !(mode & (QIODevice::ReadOnly | QIODevice::Append | QIODevice::NewOnly)))
            flags |= O_TRUNC;
    }
    if (mode & QIODevice::Append)
        flags |= O_APPEND;
    return flags;
}

QString notRegular(const QString &path)
{
    return QStringLiteral("%1 is not a regular file.").arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

}

QString openRegularFile(QFile &file, QIODevice::OpenMode mode)
{
    const QString path = file.fileName();
    struct stat st {};
    // Asked first so that a FIFO without a writer is named as such.
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return notRegular(path);
    // Non-blocking, so that opening whatever took the name meanwhile cannot hang.
    const int fd = ::open(QFile::encodeName(path).constData(), openFlags(mode) | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return qt_error_string(errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return notRegular(path);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return QString();
}

}

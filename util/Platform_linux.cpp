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
#include <QHash>
#include <QtGlobal>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
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

QString userTag()
{
    return QString::number(::geteuid());
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

QString native(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString notRegular(const QString &path)
{
    return QStringLiteral("%1 is not a regular file.").arg(native(path));
}

bool isLinkAt(int dirFd, const QByteArray &name)
{
    struct stat st {};
    return ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

QString linkText(const QString &path)
{
    return QStringLiteral("%1 is a link. The program reads and writes a project's files only where they stand, "
                          "never through a link.")
        .arg(native(path));
}

}

QString linkRefusal(const QString &path)
{
    return isLinkAt(AT_FDCWD, QFile::encodeName(path)) ? linkText(path) : QString();
}

QString openRegularFile(QFile &file, QIODevice::OpenMode mode)
{
    const QString path = file.fileName();
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // Asked first so that a FIFO without a writer is named as such.
    if (::lstat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return S_ISLNK(st.st_mode) ? linkText(path) : notRegular(path);
    // Non-blocking, so that opening whatever took the name meanwhile cannot
    // hang; a link that took it fails.
    const int fd = ::open(name.constData(), openFlags(mode) | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        const int err = errno;
        return isLinkAt(AT_FDCWD, name) ? linkText(path) : qt_error_string(err);
    }
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

bool mayWrite(const QString &path)
{
    // The effective rights, as an open would meet them; access() alone
    // would ask with the real user's.
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

namespace {

// SQLite resolves a link given as a database's name before it opens it and
// opens the journals by name later on; both go through its table of system
// calls, where these two take the place of the system's for the databases
// that must not be reached through a link.
std::mutex confinedMutex;
QHash<QByteArray, int> confinedDatabases;
sqlite3_syscall_ptr sqliteOpen = nullptr;
sqlite3_syscall_ptr sqliteReadlink = nullptr;

bool isConfined(const char *file)
{
    QByteArray path(file);
    for (const char *suffix : { "-wal", "-shm", "-journal" }) {
        if (path.endsWith(suffix)) {
            path.chop(int(qstrlen(suffix)));
            break;
        }
    }
    std::lock_guard<std::mutex> lock(confinedMutex);
    return confinedDatabases.contains(path) || confinedDatabases.contains(QByteArray(file));
}

int openConfined(const char *file, int flags, int mode)
{
    if (isConfined(file))
        flags |= O_NOFOLLOW;
    return reinterpret_cast<int (*)(const char *, int, int)>(sqliteOpen)(file, flags, mode);
}

ssize_t readlinkConfined(const char *file, char *buf, size_t size)
{
    if (isConfined(file)) {
        errno = ELOOP;
        return -1;
    }
    return reinterpret_cast<ssize_t (*)(const char *, char *, size_t)>(sqliteReadlink)(file, buf, size);
}

bool hookSqlite()
{
    sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
    if (!vfs || vfs->iVersion < 3)
        return false;
    sqliteOpen = vfs->xGetSystemCall(vfs, "open");
    sqliteReadlink = vfs->xGetSystemCall(vfs, "readlink");
    return sqliteOpen && sqliteReadlink
        && vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(&openConfined)) == SQLITE_OK
        && vfs->xSetSystemCall(vfs, "readlink", reinterpret_cast<sqlite3_syscall_ptr>(&readlinkConfined)) == SQLITE_OK;
}

}

bool watchDatabaseLinks()
{
    static const bool hooked = hookSqlite();
    return hooked;
}

void databaseWithoutLinks(const QString &path, bool on)
{
    if (!watchDatabaseLinks())
        return;
    // The name as SQLite completes it.
    const QByteArray key = (QDir::isAbsolutePath(path) ? QString() : QDir::currentPath() + QLatin1Char('/')).toUtf8()
        + path.toUtf8();
    std::lock_guard<std::mutex> lock(confinedMutex);
    if (on)
        ++confinedDatabases[key];
    else if (--confinedDatabases[key] <= 0)
        confinedDatabases.remove(key);
}

// ---- Folder

Folder::Folder(const QString &path)
    : m_path(path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int err = errno;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        m_err = isLinkAt(AT_FDCWD, QFile::encodeName(path)) ? linkText(path) : qt_error_string(err);
        if (fd >= 0)
            ::close(fd);
        return;
    }
    m_fd = fd;
    m_dev = st.st_dev;
    m_ino = st.st_ino;
}

Folder::Folder(const Folder &parent, const QString &name)
    : m_path(parent.m_path + QLatin1Char('/') + name)
{
    if (!parent.isOpen()) {
        m_err = parent.m_err;
        return;
    }
    const QByteArray n = QFile::encodeName(name);
    const int fd = ::openat(parent.m_fd, n.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int err = errno;
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        m_err = isLinkAt(parent.m_fd, n) ? linkText(m_path) : qt_error_string(err);
    } else if (quint64(st.st_dev) != parent.m_dev) {
        // A mount: another file system, never the project's.
        m_err = QStringLiteral("%1 is on another file system.").arg(native(m_path));
    } else {
        m_fd = fd;
        m_dev = st.st_dev;
        m_ino = st.st_ino;
        return;
    }
    if (fd >= 0)
        ::close(fd);
}

Folder::~Folder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Folder::isOpen() const
{
    return m_fd >= 0;
}

QList<Folder::Entry> Folder::entries() const
{
    QList<Entry> out;
    const int fd = m_fd >= 0 ? ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return out;
    }
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(m_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const Kind kind = S_ISLNK(st.st_mode) ? Link : S_ISDIR(st.st_mode) ? SubFolder : S_ISREG(st.st_mode) ? File : Other;
        out.append({ QFile::decodeName(name), kind });
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });
    return out;
}

QByteArray Folder::read(const QString &name, qint64 max) const
{
    QByteArray bytes;
    const int fd = m_fd >= 0 ? ::openat(m_fd, QFile::encodeName(name).constData(),
                                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
                             : -1;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        bytes.resize(int(qMin<qint64>(max, st.st_size)));
        const ssize_t n = ::pread(fd, bytes.data(), size_t(bytes.size()), 0);
        bytes.resize(n > 0 ? int(n) : 0);
    }
    if (fd >= 0)
        ::close(fd);
    return bytes;
}

QString Folder::remove(const QString &name) const
{
    return ::unlinkat(m_fd, QFile::encodeName(name).constData(), 0) == 0 ? QString() : qt_error_string(errno);
}

QString Folder::removeFolder(const QString &name) const
{
    return ::unlinkat(m_fd, QFile::encodeName(name).constData(), AT_REMOVEDIR) == 0 ? QString()
                                                                                     : qt_error_string(errno);
}

bool Folder::isAt(const QString &path) const
{
    struct stat st {};
    return m_fd >= 0 && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && quint64(st.st_dev) == m_dev && quint64(st.st_ino) == m_ino;
}

}

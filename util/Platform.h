#pragma once
// The few calls that differ between operating systems. Each platform has its
// own implementation file (Platform_linux.cpp, Platform_win.cpp).

#include <QIODevice>
#include <QList>
#include <QString>

class QFile;

namespace Platform {

// The folder under which per-user application data lives: the roaming
// application-data folder on Windows, $XDG_DATA_HOME (or ~/.local/share) on
// Linux. Neither created nor checked.
QString appDataHome();

// Keeps the system and the display awake for the life of the process. Where
// the desktop offers no way to ask (no session bus, say) it does nothing.
void keepAwake();

// Total physical memory in bytes as the operating system reports it; 0 when
// it cannot be asked.
quint64 totalPhysicalMemory();

// Ends the process at once with the given exit code. No destructor, atexit
// handler or buffered stream flush runs: whatever must persist is written
// when it changes.
[[noreturn]] void terminateProcess(int code);

// Whether a process with this id runs (under any user). An id that cannot
// be asked about counts as running.
bool processExists(qint64 pid);

// Tells this process's user from the others in names of a folder they
// share: the user's number on Linux; empty on Windows, where the temporary
// folder is the user's own.
QString userTag();

// Makes path a folder that only this user may enter, or checks that it is
// one already. Returns the error text, empty on success.
QString makePrivateFolder(const QString &path);

// How file names compare on this system: case-insensitively on Windows.
Qt::CaseSensitivity fileNameCaseSensitivity();

// Opens file (its name set) as QFile::open does, but only a regular file, or
// a new one where mode may create it: a FIFO or a device under the name of a
// project file would block the caller or never end. A link is never
// followed: it may lead to any file of the user's. Returns the error text,
// empty on success.
QString openRegularFile(QFile &file, QIODevice::OpenMode mode);

// Empty when no link stands at path; else the text that refuses it as a
// project's file.
QString linkRefusal(const QString &path);

// Whether this process may write to path with the rights it has now (a
// read-only mount counts).
bool mayWrite(const QString &path);

// While a database at path is open (on, counted), SQLite opens its files,
// path and the journals beside it, only where they stand, never through a
// link.
void databaseWithoutLinks(const QString &path, bool on);

// Prepares SQLite for databaseWithoutLinks; called with the process's first
// database, before a second thread opens one, since it changes what every
// connection calls. True when SQLite takes it.
bool watchDatabaseLinks();

// A folder opened where it stands, never through a link. Its entries are
// listed, read and removed relative to it: should the folder be renamed, or
// a link take its path meanwhile, nothing elsewhere is reached.
class Folder
{
public:
    enum Kind { File, SubFolder, Link, Other };
    struct Entry
    {
        QString name;
        Kind kind;
    };

    explicit Folder(const QString &path);
    // The sub-folder name of parent, only on the same file system.
    Folder(const Folder &parent, const QString &name);
    ~Folder();
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;

    bool isOpen() const;
    // Why it did not open.
    QString error() const { return m_err; }
    // Sorted by name, without "." and "..".
    QList<Entry> entries() const;
    // At most max bytes of the regular file name; empty for anything else.
    QByteArray read(const QString &name, qint64 max) const;
    // A file or link, or an empty sub-folder; the system's reason when it
    // cannot go, empty when it went.
    QString remove(const QString &name) const;
    QString removeFolder(const QString &name) const;
    // Whether path still names this very folder.
    bool isAt(const QString &path) const;

private:
    QString m_path;
    QString m_err;
    int m_fd = -1;
    quint64 m_dev = 0;
    quint64 m_ino = 0;
};

}

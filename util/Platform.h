#pragma once
// The few calls that differ between operating systems. Each platform has its
// own implementation file (Platform_linux.cpp, Platform_win.cpp).

#include <QIODevice>
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

// Makes path a folder that only this user may enter, or checks that it is
// one already. Returns the error text, empty on success.
QString makePrivateFolder(const QString &path);

// How file names compare on this system: case-insensitively on Windows.
Qt::CaseSensitivity fileNameCaseSensitivity();

// Opens file (its name set) as QFile::open does, but only a regular file, or
// a new one where mode may create it: a FIFO or a device under the name of a
// project file would block the caller or never end. Returns the error text,
// empty on success.
QString openRegularFile(QFile &file, QIODevice::OpenMode mode);

}

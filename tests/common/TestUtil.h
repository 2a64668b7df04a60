#pragma once
// Helpers shared by the tests.

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace TestUtil {

// Writes bytes to path, creating missing parent folders. False on failure.
bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Every path below dir, relative to it and sorted; links are listed, not followed.
QStringList fileTree(const QString &dir);
// The same paths, each with the SHA-256 of its content (empty for a folder).
QMap<QString, QByteArray> fileHashes(const QString &dir);
// The files below the temporary folder, relative to it, but those in except.
QSet<QString> tempFiles(const QString &except);

// Runs program with input on its standard input and returns what it wrote
// to its standard output. exitCode, when given, receives its exit code, -1
// when it did not end on its own within a minute.
QString run(const QString &program, const QStringList &args, const QByteArray &input = QByteArray(),
            int *exitCode = nullptr);

// The test runner gives every test a private HOME; refuse to run without it so
// a test started by hand cannot touch the real user's files.
void requireSandboxedHome();

// While it lives, the calling thread meets the permission bits of files as
// their owner would, also when the tests run as root (whose rights pass them).
class WithoutRootRights
{
public:
    WithoutRootRights();
    ~WithoutRootRights();
    WithoutRootRights(const WithoutRootRights &) = delete;
    WithoutRootRights &operator=(const WithoutRootRights &) = delete;

private:
    unsigned m_saved = 0;
    bool m_dropped = false;
};

// While it lives, no file of this process grows beyond bytes: a write past
// that fails as on a full disk ("File too large").
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    unsigned long long m_saved = 0;
};

// Watches a FIFO: should anything still wait on it after a minute, it is
// let go (opened and closed from the other end), so that a test fails
// instead of hanging.
class FifoWatch
{
public:
    explicit FifoWatch(const QString &path);
    ~FifoWatch();
    FifoWatch(const FifoWatch &) = delete;
    FifoWatch &operator=(const FifoWatch &) = delete;
    // Ends the watch: true when something had to be let go.
    bool released();

private:
    QByteArray m_path;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    bool m_released = false;
    std::thread m_thread;
};

// While it lives, the process ends with a fatal error naming what once
// seconds have passed: work that stalls the thread it runs on (layout on the
// GUI thread) fails the test instead of holding it up.
class Watchdog
{
public:
    Watchdog(int seconds, const QString &what);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_thread;
};

}

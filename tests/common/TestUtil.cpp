#include "TestUtil.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#include <array>

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace TestUtil {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList fileTree(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

QMap<QString, QByteArray> fileHashes(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QString &rel : fileTree(dir)) {
        QFile f(QDir(dir).absoluteFilePath(rel));
        QCryptographicHash h(QCryptographicHash::Sha256);
        if (QFileInfo(f).isFile() && f.open(QIODevice::ReadOnly))
            h.addData(&f);
        out.insert(rel, QFileInfo(f).isFile() ? h.result().toHex() : QByteArray());
    }
    return out;
}

QSet<QString> tempFiles(const QString &except)
{
    const QDir temp = QDir::temp();
    const QString skip = temp.relativeFilePath(except) + QLatin1Char('/');
    QSet<QString> files;
    for (const QString &rel : fileTree(temp.path())) {
        if (!rel.startsWith(skip) && QFileInfo(temp.absoluteFilePath(rel)).isFile())
            files << rel;
    }
    return files;
}

QString run(const QString &program, const QStringList &args, const QByteArray &input, int *exitCode)
{
    QProcess p;
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    const bool ended = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
    if (exitCode)
        *exitCode = ended ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

void requireSandboxedHome()
{
    if (!qEnvironmentVariable("HOME").startsWith(QStringLiteral("/tmp/kalvinor-test."))) {
        std::fprintf(stderr, "Run this test through ctest (tests/run_test.sh gives it a private HOME).\n");
        std::exit(2);
    }
}

namespace {

using CapData = std::array<__user_cap_data_struct, 2>;

bool capabilities(CapData &data, bool set)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(set ? SYS_capset : SYS_capget, &header, data.data()) == 0;
}

}

WithoutRootRights::WithoutRootRights()
{
    // Only the effective set of this thread: root stays the owner of its
    // files, but the rights that pass every permission bit are set aside.
    CapData caps{};
    if (!capabilities(caps, false))
        return;
    m_saved = caps[0].effective;
    caps[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    m_dropped = capabilities(caps, true);
}

WithoutRootRights::~WithoutRootRights()
{
    CapData caps{};
    if (m_dropped && capabilities(caps, false)) {
        caps[0].effective = m_saved;
        capabilities(caps, true);
    }
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    // The signal would end the process; the failed write is what is wanted.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim {};
    getrlimit(RLIMIT_FSIZE, &lim);
    m_saved = lim.rlim_cur;
    lim.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &lim);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit lim {};
    getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = rlim_t(m_saved);
    setrlimit(RLIMIT_FSIZE, &lim);
    std::signal(SIGXFSZ, SIG_DFL);
}

FifoWatch::FifoWatch(const QString &path)
    : m_path(QFile::encodeName(path))
{
    m_thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_ended.wait_for(lock, std::chrono::minutes(1), [this] { return m_done; }))
            return;
        m_released = true;
        // Both ends at once: a reader or a writer blocked in open() goes on.
        const int fd = ::open(m_path.constData(), O_RDWR | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
}

FifoWatch::~FifoWatch()
{
    released();
}

bool FifoWatch::released()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_ended.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    return m_released;
}

Watchdog::Watchdog(int seconds, const QString &what)
{
    m_thread = std::thread([this, seconds, what] {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_ended.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_done; }))
            qFatal("%s did not end within %d s", qPrintable(what), seconds);
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_ended.notify_all();
    m_thread.join();
}

}

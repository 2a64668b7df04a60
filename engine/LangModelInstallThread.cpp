#include "engine/LangModelInstallThread.h"

#include "storage/LangDb.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>

namespace {

constexpr int blockSize = 8192;
constexpr qint64 reportIntervalMs = 1000;

struct ArchiveCloser
{
    void operator()(archive *a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

void throwIfStopping()
{
    if (QThread::currentThread()->isInterruptionRequested())
        throw std::runtime_error("canceled.");
}

bool hasParentStep(const QString &name)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    const QStringList parts = name.split(separators);
    return parts.contains(QStringLiteral(".."));
}

bool looksAbsolute(const QString &name)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    return name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')) || drive.match(name).hasMatch();
}

bool isInside(const QString &path, const QString &root)
{
    return path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

// Folders already on disk may be links (left by the user or an earlier
// archive on another system); what they really point at must be inside too.
bool resolvesInside(const QString &path, const QString &canonicalRoot)
{
    QString existing = path;
    while (!QFileInfo::exists(existing) && !QFileInfo(existing).isSymLink()) {
        const QString up = QFileInfo(existing).path();
        if (up == existing)
            return false;
        existing = up;
    }
    const QString real = QFileInfo(existing).canonicalFilePath();
    if (real.isEmpty())
        return false; // a dangling link
    return real == canonicalRoot || isInside(real, canonicalRoot);
}

// The entry's name as it will be written below the destination, or an empty
// text when the entry must not be written at all.
QString entryName(archive_entry *entry)
{
    const char *raw = archive_entry_pathname_utf8(entry);
    if (!raw)
        raw = archive_entry_pathname(entry);
    if (!raw)
        return QString();
    const QString original = QString::fromUtf8(raw);
    if (looksAbsolute(original) || hasParentStep(original))
        return QString();

    QString name = original;
    if (name.startsWith(QLatin1String("./")))
        name.remove(0, 2);
    static const QRegularExpression reserved(QStringLiteral("[\\\\:*?\"<>|]"));
    static const QRegularExpression controls(QStringLiteral("[\\n\\r\\t]"));
    name.remove(reserved);
    name.remove(controls);
    // Removing characters can make a name absolute or a step upward ("..:/x").
    if (looksAbsolute(name) || hasParentStep(name))
        return QString();
    return name;
}

}

QString unzipModelArchive(const QString &archivePath, const QDir &dest, QObject *receiver, const char *slot)
{
    QString result;
    ArchivePtr a(archive_read_new());
    if (!a)
        return result;
    archive_read_support_filter_all(a.get());
    archive_read_support_format_all(a.get());
    if (archive_read_open_filename(a.get(), archivePath.toUtf8().constData(), blockSize) != ARCHIVE_OK)
        return result;

    const qint64 total = QFileInfo(archivePath).size();
    qint64 lastReport = QDateTime::currentMSecsSinceEpoch();
    char buffer[blockSize];
    const QString root = QDir::cleanPath(dest.absolutePath());
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (canonicalRoot.isEmpty())
        return result;

    archive_entry *entry = nullptr;
    int rc;
    while ((rc = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || rc == ARCHIVE_WARN) {
        throwIfStopping();
        const QString name = entryName(entry);
        if (name.isEmpty())
            continue;
        const QString path = QDir::cleanPath(root + QLatin1Char('/') + name);
        if (!isInside(path, root))
            continue;

        // Exact types: a link or a device has other type bits set as well and
        // must not be taken for a folder or a file. Hard links carry no data
        // of their own, so they would only give an empty file.
        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            if (!resolvesInside(path, canonicalRoot))
                continue;
            if (!QFileInfo::exists(path))
                QDir().mkpath(path);
            if (result.isEmpty())
                result = path;
        } else if (type == AE_IFREG && !archive_entry_hardlink(entry)) {
            const QString parent = QFileInfo(path).path();
            if (!resolvesInside(parent, canonicalRoot) || !resolvesInside(path, canonicalRoot))
                continue;
            if (!QFileInfo::exists(parent))
                QDir().mkpath(parent);
            if (result.isEmpty())
                result = path;

            QFile out(path);
            if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                fail(QStringLiteral("create %1 error. %2").arg(path, out.errorString()));
            la_ssize_t n;
            while ((n = archive_read_data(a.get(), buffer, sizeof buffer)) > 0) {
                if (out.write(buffer, n) != n)
                    fail(QStringLiteral("write %1 error. %2").arg(path, out.errorString()));
                throwIfStopping();
                const qint64 now = QDateTime::currentMSecsSinceEpoch();
                if (receiver && now - lastReport > reportIntervalMs) {
                    // Compressed archives count header positions in the
                    // unpacked stream; the bytes read from the file match
                    // the file's size.
                    qint64 cur = archive_filter_count(a.get()) > 1 ? archive_filter_bytes(a.get(), -1)
                                                                   : archive_read_header_position(a.get());
                    cur = qBound<qint64>(0, cur, total);
                    QMetaObject::invokeMethod(receiver, slot, Qt::AutoConnection, Q_ARG(qint64, cur),
                                              Q_ARG(qint64, total), Q_ARG(QString, QFileInfo(path).fileName()));
                    lastReport = now;
                }
            }
            if (!out.flush())
                fail(QStringLiteral("write %1 error. %2").arg(path, out.errorString()));
            // A damaged or cut-off archive must not pass for a complete model.
            if (n < 0)
                return QString();
        }
    }
    if (rc != ARCHIVE_EOF)
        return QString();
    return result;
}

LangModelInstallThread::LangModelInstallThread(QObject *parent)
    : DownloadFileThread(parent)
{
}

void LangModelInstallThread::unzipProgressUpdate(qlonglong cur, qlonglong total, QString curfile)
{
    Q_UNUSED(curfile)
    if (total != 0)
        emit progressUpdate(static_cast<int>(cur * 100 / total), tr("UNCOMPRESSING..."));
}

bool LangModelInstallThread::beforeDownload()
{
    const QString dl = LangDb::instance()->downloadUrl(m_lang);
    if (dl.isEmpty()) {
        setHasErr(true);
        setLastErr(QStringLiteral("invalid url."));
        return false;
    }
    setDownloadUrl(dl);

    const QString local = QUrl::fromUserInput(m_url).toLocalFile();
    // Without a place of its own the archive would land in the working folder.
    if (local.isEmpty()) {
        setHasErr(true);
        setLastErr(QStringLiteral("invalid path."));
        return false;
    }
    const QFileInfo info(local);
    if (info.isFile()) {
        setSavePath(info.absoluteFilePath());
        m_removeAfterInstall = false;
        return true;
    }

    QDir dir(local);
    if (!dir.exists())
        dir.mkpath(QStringLiteral("."));
    m_removeAfterInstall = true;
    QString path = dir.absoluteFilePath(m_lang);
    if (!QFileInfo::exists(path) && QFileInfo::exists(path + QStringLiteral(".zip"))) {
        path += QStringLiteral(".zip");
        m_removeAfterInstall = false;
    }
    setSavePath(path);
    return true;
}

void LangModelInstallThread::afterDownload()
{
    const QString path = savePath();
    if (hasErr() || !QFile::exists(path) || isInterruptionRequested())
        return;

    QString result;
    try {
        result = unzipModelArchive(path, QFileInfo(path).absoluteDir(), this, "unzipProgressUpdate");
        if (!result.isEmpty() && QFileInfo(result).isDir()) {
            LangDb::instance()->setLocalPath(m_lang, result);
            if (m_removeAfterInstall)
                QFile::remove(path);
            return;
        }
        setHasErr(true);
        setLastErr(tr("IDS_INVALID_LANG_MODEL_FILE"));
    } catch (const std::exception &e) {
        setHasErr(true);
        setLastErr(QString::fromUtf8(e.what()));
    }
    // A downloaded archive that cannot be unpacked would otherwise be found
    // again by the next attempt, which would then never download. One the
    // user brought stays; so does one whose unpacking was merely cut short.
    if (m_removeAfterInstall && !isInterruptionRequested())
        QFile::remove(path);
}

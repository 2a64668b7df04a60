#include "engine/LangModelInstallThread.h"

#include "storage/LangDb.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
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

// An entry's name (or a hard link's target) as it will be written below the
// destination, or an empty text when it must not be written at all.
QString cleanName(const char *raw)
{
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

QString entryName(archive_entry *entry)
{
    const char *raw = archive_entry_pathname_utf8(entry);
    return cleanName(raw ? raw : archive_entry_pathname(entry));
}

QString hardlinkName(archive_entry *entry)
{
    const char *raw = archive_entry_hardlink_utf8(entry);
    return cleanName(raw ? raw : archive_entry_hardlink(entry));
}

}

void removeUnpacked(const QStringList &created)
{
    // Newest first, so every folder is empty by the time it comes up; a
    // folder that holds something else stays.
    for (auto it = created.crbegin(); it != created.crend(); ++it) {
        if (QFileInfo(*it).isDir())
            QDir().rmdir(*it);
        else
            QFile::remove(*it);
    }
}

bool isUsableModel(const QString &folder)
{
    const QDir dir(folder);
    auto hasFile = [&](const char *name) {
        const QFileInfo f(dir.filePath(QLatin1String(name)));
        return f.isFile() && f.size() > 0;
    };
    const bool graph = hasFile("graph/HCLG.fst") || (hasFile("graph/HCLr.fst") && hasFile("graph/Gr.fst"));
    return hasFile("am/final.mdl") && hasFile("conf/mfcc.conf") && graph;
}

QString unzipModelArchive(const QString &archivePath, const QDir &dest, QObject *receiver, const char *slot,
                          QStringList *created)
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

    const QString self = QDir::cleanPath(QFileInfo(archivePath).absoluteFilePath());
    // Whatever this run wrote goes again when it fails half-way.
    QStringList made;
    QSet<QString> written;
    auto undo = qScopeGuard([&] { removeUnpacked(made); });
    auto mkpath = [&](const QString &path) {
        QStringList missing;
        for (QString p = path; !QFileInfo::exists(p) && p.size() > root.size(); p = QFileInfo(p).path())
            missing.prepend(p);
        QDir().mkpath(path);
        made << missing;
    };
    QString topFolder;

    archive_entry *entry = nullptr;
    int rc;
    while ((rc = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || rc == ARCHIVE_WARN) {
        throwIfStopping();
        const QString name = entryName(entry);
        if (name.isEmpty())
            continue;
        const QString path = QDir::cleanPath(root + QLatin1Char('/') + name);
        // The archive may lie in dest itself, and must not be written over
        // while it is read.
        if (!isInside(path, root) || path == self)
            continue;

        // Exact types: a symbolic link or a device has other type bits set as
        // well and must not be taken for a folder or a file.
        const auto type = archive_entry_filetype(entry);
        const bool hardlink = archive_entry_hardlink(entry) != nullptr;
        if (type != AE_IFDIR && type != AE_IFREG && !hardlink)
            continue;

        // The model's own folder is the first entry's top folder; nothing
        // else may land beside it in the folder the user chose.
        const QString top = path.mid(root.size() + 1).section(QLatin1Char('/'), 0, 0);
        if (topFolder.isEmpty())
            topFolder = top;
        else if (top != topFolder)
            continue;

        if (type == AE_IFDIR && !hardlink) {
            if (!resolvesInside(path, canonicalRoot))
                continue;
            mkpath(path);
            if (result.isEmpty())
                result = path;
            continue;
        }

        const QString parent = QFileInfo(path).path();
        if (!resolvesInside(parent, canonicalRoot) || !resolvesInside(path, canonicalRoot))
            continue;
        mkpath(parent);
        if (result.isEmpty())
            result = path;

        if (hardlink) {
            // A hard link carries no data: it becomes a copy of a file this
            // archive already put into the model's folder, or the archive is
            // not a model that can be trusted to be whole.
            const QString target = QDir::cleanPath(root + QLatin1Char('/') + hardlinkName(entry));
            if (!written.contains(target) || target == path)
                return QString();
            if (QFileInfo::exists(path))
                QFile::remove(path);
            QFile source(target);
            made << path;
            if (!source.copy(path))
                fail(QStringLiteral("create %1 error. %2").arg(path, source.errorString()));
            written.insert(path);
            continue;
        }

        QFile out(path);
        made << path;
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail(QStringLiteral("create %1 error. %2").arg(path, out.errorString()));
        written.insert(path);
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
    if (rc != ARCHIVE_EOF)
        return QString();
    undo.dismiss();
    if (created)
        *created = made;
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

    QStringList created;
    try {
        const QString result = unzipModelArchive(path, QFileInfo(path).absoluteDir(), this, "unzipProgressUpdate", &created);
        // A transfer cut short between two entries unpacks without a fault
        // but lacks files; only a model Vosk can load counts as installed.
        if (!result.isEmpty() && QFileInfo(result).isDir() && isUsableModel(result)) {
            if (!LangDb::instance()->setLocalPath(m_lang, result)) {
                // The archive is sound: kept, the next attempt unpacks it again.
                removeUnpacked(created);
                setHasErr(true);
                setLastErr(LangDb::instance()->lastErr());
                return;
            }
            if (m_removeAfterInstall)
                QFile::remove(path);
            return;
        }
        removeUnpacked(created);
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

#include "util/FileUtil.h"

#include "util/Platform.h"

#include <QFile>
#include <QImageWriter>
#include <QRegularExpression>

namespace FileUtil {

QString regexReplaceWith(const QString &text, QRegExp rx, const std::function<QString(const QRegExp &)> &replace)
{
    QString result;
    int copied = 0;
    int pos = rx.indexIn(text, 0);
    while (pos >= 0) {
        if (pos > copied)
            result += text.midRef(copied, pos - copied);
        result += replace(rx);
        copied = pos + rx.matchedLength();
        // An empty match would never move on.
        if (rx.matchedLength() <= 0)
            break;
        pos = rx.indexIn(text, copied);
    }
    result += text.midRef(copied);
    return result;
}

QString percentByte(unsigned char byte)
{
    return QStringLiteral("%%1").arg(byte, 2, 16, QLatin1Char('0'));
}

QString escapeFileName(const QString &name)
{
    // Matching writes into a QRegExp, so each call works on its own copies.
    static const QRegExp reservedNames(
        QStringLiteral("^((?:CON)|(?:PRN)|(?:AUX)|(?:CLOCK\\$)|(?:NUL)|(?:COM1)|(?:COM2)|(?:COM3)|(?:COM4)|(?:COM5)"
                       "|(?:COM6)|(?:COM7)|(?:COM8)|(?:COM9)|(?:LPT1))$"),
        Qt::CaseInsensitive);
    static const QRegExp unsafeChars(QStringLiteral("([%\\\\/:*\\?\"<>|\\n\\r\\t])"));
    QRegExp reserved = reservedNames;

    if (reserved.exactMatch(name)) {
        QString out;
        for (char c : name.toUtf8())
            out += percentByte(static_cast<unsigned char>(c));
        return out;
    }
    return regexReplaceWith(name, unsafeChars, [](const QRegExp &rx) {
        return percentByte(static_cast<unsigned char>(rx.cap(1).toUtf8().at(0)));
    });
}

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

bool isSavedPicture(const QString &fileName)
{
    static const QRegularExpression uuidName(QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f]{32}\\.([^.]+)")));
    static const QList<QByteArray> formats = QImageWriter::supportedImageFormats();
    const QRegularExpressionMatch m = uuidName.match(fileName);
    return m.hasMatch() && formats.contains(m.captured(1).toLower().toLatin1());
}

// keepOut is the folder that receives the whole copy. A source folder that
// holds it (an export made inside the project it copies) would otherwise be
// copied into itself until paths grow too long.
static bool copyInto(const QFileInfo &source, const QDir &target, const QString &keepOut, QString *err,
                     const std::function<bool()> &stop)
{
    if (!target.exists())
        QDir().mkpath(target.absolutePath());

    if (isLink(source))
        return true;
    if (source.isFile()) {
        if (stop && stop())
            return false;
        const QString dest = target.absoluteFilePath(source.fileName());
        if (QFileInfo::exists(dest))
            return true;
        QFile file(source.absoluteFilePath());
        if (!file.copy(dest)) {
            if (err)
                *err = file.errorString();
            return false;
        }
        return true;
    }
    if (source.isDir()) {
        const QDir dir(source.absoluteFilePath());
        const QDir sub(target.absoluteFilePath(source.fileName()));
        const QFileInfoList entries = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
        for (const QFileInfo &entry : entries) {
            const QString path = entry.canonicalFilePath();
            if (entry.isDir() && (keepOut == path || keepOut.startsWith(path + QLatin1Char('/'))))
                continue;
            if (!copyInto(entry, sub, keepOut, err, stop))
                return false;
        }
    }
    return true;
}

bool copyRecursively(const QFileInfo &source, const QDir &target, QString *err, const std::function<bool()> &stop)
{
    if (!target.exists())
        QDir().mkpath(target.absolutePath());
    return copyInto(source, target, target.canonicalPath(), err, stop);
}

bool copyPath(const QString &source, const QDir &target, QString *err, const std::function<bool()> &stop)
{
    return copyRecursively(QFileInfo(source), target, err, stop);
}

void removeDirRecursively(const QString &path)
{
    const QFileInfo self(path);
    // A link passed in (or met below) goes as a link; what it points at stays.
    if (isLink(self)) {
        QFile::remove(self.absoluteFilePath());
        return;
    }
    QDir dir(path);
    if (!dir.exists())
        return;
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !isLink(entry))
            removeDirRecursively(entry.absoluteFilePath());
        else
            dir.remove(entry.fileName());
    }
    dir.rmdir(dir.absolutePath());
}

QDir appDataDir()
{
    return QDir(Platform::appDataHome());
}

// File systems take names of at most 255 bytes (or 255 UTF-16 units); a
// folder named after a project is also given "(n)" and a document named
// after the folder an extension, so names are cut well below that.
static QString fitFileName(QString name)
{
    constexpr int kMaxBytes = 200;
    while (name.toUtf8().size() > kMaxBytes) {
        name.chop(1);
        if (!name.isEmpty() && name.at(name.size() - 1).isHighSurrogate())
            name.chop(1);
    }
    return name;
}

QString uniqueFilePath(const QDir &dir, const QString &name)
{
    const QString escaped = fitFileName(escapeFileName(name));
    QString path = dir.absoluteFilePath(escaped);
    for (int n = 1; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = dir.absoluteFilePath(QStringLiteral("%1(%2)").arg(escaped).arg(n));
    return path;
}

}

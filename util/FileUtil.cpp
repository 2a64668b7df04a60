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
    // Every control character too: no file system holds NUL, Windows none of them.
    static const QRegExp unsafeChars(QStringLiteral("([%\\\\/:*\\?\"<>|\\x0000-\\x001f])"));
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
        const QString e = copyFile(source.absoluteFilePath(), dest);
        if (!e.isEmpty() && err)
            *err = e;
        return e.isEmpty();
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

QString copyFile(const QString &from, const QString &to, const std::function<bool()> &stop)
{
    QFile in(from);
    QString err = Platform::openRegularFile(in, QIODevice::ReadOnly);
    if (!err.isEmpty())
        return err;
    QFile out(to);
    // Unbuffered: a write that fails says why at once (a buffered one that
    // fails on flush says "Unknown error").
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return out.errorString();
    QByteArray block(1 << 20, Qt::Uninitialized);
    while (err.isEmpty() && !(stop && stop())) {
        const qint64 n = in.read(block.data(), block.size());
        if (n < 0)
            err = in.errorString();
        if (n <= 0)
            break;
        // A full disk takes part of a piece first; only the write after that
        // tells why.
        for (qint64 done = 0; done < n && err.isEmpty();) {
            const qint64 w = out.write(block.constData() + done, n - done);
            if (w <= 0)
                err = out.errorString();
            done += w;
        }
    }
    if (err.isEmpty() && !out.flush())
        err = out.errorString();
    out.close();
    if (!err.isEmpty() || (stop && stop()))
        out.remove();
    return err;
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
    const QFileInfoList entries
        = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
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
constexpr int kMaxNameBytes = 200;

// The escaped form of the longest start of name, cut between whole
// characters, whose escaped UTF-8 form fits kMaxNameBytes. Only the start is
// looked at, whatever the length of name.
static QString fitFileName(const QString &name)
{
    // A name that fits is escaped whole, as a reserved name must be.
    if (name.size() <= kMaxNameBytes) {
        const QString whole = escapeFileName(name);
        if (whole.toUtf8().size() <= kMaxNameBytes)
            return whole;
    }
    QString fitted;
    int bytes = 0;
    for (int i = 0; i < name.size();) {
        const int units = name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate() ? 2 : 1;
        const QString piece = escapeFileName(name.mid(i, units));
        bytes += piece.toUtf8().size();
        if (bytes > kMaxNameBytes)
            break;
        fitted += piece;
        i += units;
    }
    return fitted;
}

QString uniqueFilePath(const QDir &dir, const QString &name)
{
    const QString escaped = fitFileName(name);
    QString path = dir.absoluteFilePath(escaped);
    for (int n = 1; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = dir.absoluteFilePath(QStringLiteral("%1(%2)").arg(escaped).arg(n));
    return path;
}

}

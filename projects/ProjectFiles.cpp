#include "projects/ProjectFiles.h"

#include "util/FileUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace ProjectFiles {

namespace {

const QString kImages = QStringLiteral("images");

QFileInfoList entries(const QString &dir)
{
    return QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The program makes files by its names, never folders: a folder of such a
// name is the user's.
bool isFolder(const QFileInfo &e)
{
    return e.isDir() && !FileUtil::isLink(e);
}

// The database with its journals, the audio, and the temporary files of the
// manifest's writer (QSaveFile): "manifest." and six letters.
bool isProgramFile(const QString &name)
{
    static const QStringList names { QStringLiteral("data"), QStringLiteral("data-journal"), QStringLiteral("data-shm"),
                                     QStringLiteral("data-wal"), QStringLiteral("data.wav") };
    static const QRegularExpression writerTemp(QStringLiteral("^manifest\\.[A-Za-z]{6}$"));
    return names.contains(name) || writerTemp.match(name).hasMatch();
}

QString shown(const QFileInfo &e, const QString &folder)
{
    return folder + e.fileName() + (isFolder(e) ? QStringLiteral("/") : QString());
}

}

Removal remove(const QString &path)
{
    const QDir dir(path);
    const QString inImages = kImages + QLatin1Char('/');
    QStringList pictures;
    QStringList files;
    for (const QFileInfo &e : entries(path)) {
        if (e.fileName() == kImages && isFolder(e)) {
            for (const QFileInfo &p : entries(e.absoluteFilePath())) {
                if (!isFolder(p) && FileUtil::isSavedPicture(p.fileName()))
                    pictures << inImages + p.fileName();
            }
        } else if (!isFolder(e) && isProgramFile(e.fileName())) {
            files << e.fileName();
        } else if (e.fileName() == kImages && FileUtil::isLink(e)) {
            // The pictures it leads to are not in the project.
            files << kImages;
        }
    }

    Removal r;
    const QStringList doomed = pictures + files + QStringList { QStringLiteral("manifest") };
    for (int i = 0; i < doomed.size(); ++i) {
        QFile f(dir.filePath(doomed.at(i)));
        if (!f.remove()) {
            r.stayed = doomed.mid(i);
            r.err = f.errorString();
            return r;
        }
    }

    dir.rmdir(kImages);
    for (const QFileInfo &e : entries(path)) {
        const QFileInfoList inside = e.fileName() == kImages && isFolder(e) ? entries(e.absoluteFilePath()) : QFileInfoList();
        if (inside.isEmpty())
            r.kept << shown(e, QString());
        for (const QFileInfo &p : inside)
            r.kept << shown(p, inImages);
    }
    if (r.kept.isEmpty())
        dir.rmdir(dir.absolutePath());
    return r;
}

}

#include "projects/ProjectFiles.h"

#include "util/FileUtil.h"
#include "util/Platform.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>
#include <memory>

namespace ProjectFiles {

namespace {

const QString kImages = QStringLiteral("images");
const QString kManifest = QStringLiteral("manifest");

using Folder = Platform::Folder;

// A manifest is a few hundred bytes; anything far larger is no manifest.
constexpr qint64 kManifestMax = 1 << 20;

QVariantMap readManifest(const Folder &dir, const QString &name)
{
    const QJsonDocument doc = QJsonDocument::fromJson(dir.read(name, kManifestMax));
    return doc.isObject() ? doc.object().toVariantMap() : QVariantMap();
}

// The temporary files of the manifest's writer (QSaveFile) are "manifest."
// and six letters; a user's "manifest.backup" is named alike, so only one
// holding this project's manifest goes.
bool isWriterTemp(const Folder &dir, const QString &name, const QVariantMap &manifest)
{
    static const QRegularExpression writerTemp(QStringLiteral("^manifest\\.[A-Za-z]{6}$"));
    if (!writerTemp.match(name).hasMatch())
        return false;
    const QVariantMap temp = readManifest(dir, name);
    const QString created = QStringLiteral("created");
    return isManifest(temp) && isManifest(manifest) && temp.value(created) == manifest.value(created);
}

QString shown(const Folder::Entry &e, const QString &folder)
{
    return folder + e.name + (e.kind == Folder::SubFolder ? QStringLiteral("/") : QString());
}

}

const QStringList &ownFiles()
{
    static const QStringList names { kManifest,
                                     QStringLiteral("data"),
                                     QStringLiteral("data-journal"),
                                     QStringLiteral("data-shm"),
                                     QStringLiteral("data-wal"),
                                     QStringLiteral("data.wav") };
    return names;
}

bool isManifest(const QVariantMap &map)
{
    enum Type { Text, Number, Whole };
    struct Key
    {
        const char *name;
        Type type;
        bool always;
    };
    static const Key keys[] = { { "name", Text, true },         { "lang", Text, true },
                                { "srate", Number, true },      { "created", Whole, true },
                                { "convert", Text, false },     { "convert_status", Whole, false },
                                { "convert_err", Text, false }, { "convert_cur", Whole, false },
                                { "convert_total", Whole, false }, { "convert_secs", Whole, false } };
    for (const Key &k : keys) {
        const auto it = map.constFind(QLatin1String(k.name));
        if (it == map.constEnd()) {
            if (k.always)
                return false;
            continue;
        }
        const int t = it->userType();
        const bool integer = t == QMetaType::Int || t == QMetaType::LongLong;
        const bool number = integer || t == QMetaType::Double;
        const bool ok = k.type == Text ? t == QMetaType::QString
            : k.type == Number         ? number
                                       : integer || (t == QMetaType::Double && std::floor(it->toDouble()) == it->toDouble());
        if (!ok)
            return false;
    }
    return true;
}

Removal remove(const QString &path)
{
    Removal r;
    const Folder dir(path);
    if (!dir.isOpen()) {
        r.stayed << kManifest;
        r.err = dir.error();
        return r;
    }
    const QVariantMap manifest = readManifest(dir, kManifest);
    const QString inImages = kImages + QLatin1Char('/');
    std::unique_ptr<Folder> images;
    QStringList pictures;
    QStringList files;
    for (const Folder::Entry &e : dir.entries()) {
        if (e.name == kImages && e.kind == Folder::SubFolder) {
            images = std::make_unique<Folder>(dir, kImages);
            if (!images->isOpen()) {
                r.stayed << inImages << kManifest;
                r.err = images->error();
                return r;
            }
            for (const Folder::Entry &p : images->entries()) {
                if (p.kind != Folder::SubFolder && FileUtil::isSavedPicture(p.name))
                    pictures << p.name;
            }
        } else if (e.kind == Folder::SubFolder) {
            // The program makes files by its names, never folders: a folder
            // of such a name is the user's.
        } else if ((ownFiles().contains(e.name) && e.name != kManifest) || isWriterTemp(dir, e.name, manifest)
                   || (e.name == kImages && e.kind == Folder::Link)) {
            // A link named "images" goes as a link: the pictures it leads to
            // are not in the project.
            files << e.name;
        }
    }

    for (int i = 0; i < pictures.size(); ++i) {
        r.err = images->remove(pictures.at(i));
        if (!r.err.isEmpty()) {
            for (const QString &p : pictures.mid(i))
                r.stayed << inImages + p;
            r.stayed << files << kManifest;
            return r;
        }
    }
    files << kManifest;
    for (int i = 0; i < files.size(); ++i) {
        r.err = dir.remove(files.at(i));
        if (!r.err.isEmpty()) {
            r.stayed = files.mid(i);
            return r;
        }
    }

    if (images)
        dir.removeFolder(kImages);
    for (const Folder::Entry &e : dir.entries()) {
        const QList<Folder::Entry> inside
            = images && e.name == kImages && e.kind == Folder::SubFolder ? images->entries() : QList<Folder::Entry>();
        if (inside.isEmpty())
            r.kept << shown(e, QString());
        for (const Folder::Entry &p : inside)
            r.kept << shown(p, inImages);
    }
    // Only the folder that was emptied: one that took its path meanwhile
    // stays.
    if (r.kept.isEmpty() && dir.isAt(path))
        QDir().rmdir(path);
    return r;
}

}

#pragma once
// Writes model archives for tests with libarchive: well-formed ones made from
// a folder, and hostile ones with whatever entry names and types a test asks
// for.

#include <QByteArray>
#include <QList>
#include <QString>

namespace ArchiveWriter {

struct Entry
{
    enum Kind { Dir, File, Symlink, Hardlink };
    QString name;
    Kind kind = File;
    QByteArray data;   // File
    QString target;    // Symlink, Hardlink
};

// format: "zip", "tar" or "tar.gz". False (with *error) on failure.
bool write(const QString &path, const QString &format, const QList<Entry> &entries, QString *error = nullptr);

// The folder dir as entries below prefix ("model" gives "model/", then
// "model/README", ...), every folder before what it holds.
QList<Entry> folderEntries(const QString &dir, const QString &prefix);

// The synthetic speech model kept with the tests.
QString testModelDir();

}

#pragma once
// What the program itself makes in a project folder: the manifest with the
// temporary files of its writer, the database with its journals, the audio,
// and the pictures saved under "images". A user may keep anything else there
// (an export, a backup copy, a file manager's notes); that is never theirs
// to lose when the project goes.

#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace ProjectFiles {

// The names of the files the program makes in a project folder, the
// manifest first.
const QStringList &ownFiles();

// Whether map reads as a manifest this program wrote: the four keys every
// project gets at its creation, and every key the program writes of its type.
bool isManifest(const QVariantMap &map);

struct Removal
{
    // Entries the program did not make, relative to the folder; they stay.
    QStringList kept;
    // The program's own files that could not be removed, and why the first
    // of them could not.
    QStringList stayed;
    QString err;
};

// Removes the program's files from the project folder at path, the manifest
// last: the first file that cannot go stops the removal, and the folder stays
// a project. "images" and the folder itself go when nothing is left in them.
// A link is removed as a link; nothing outside the folder is touched, even
// when the folder or "images" is renamed or swapped for a link meanwhile.
Removal remove(const QString &path);

}

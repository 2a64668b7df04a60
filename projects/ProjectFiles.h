#pragma once
// What the program itself makes in a project folder: the manifest with the
// temporary files of its writer, the database with its journals, the audio,
// and the pictures saved under "images". A user may keep anything else there
// (an export, a backup copy, a file manager's notes); that is never theirs
// to lose when the project goes.

#include <QString>
#include <QStringList>

namespace ProjectFiles {

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
// A link is removed as a link; nothing outside the folder is touched.
Removal remove(const QString &path);

}

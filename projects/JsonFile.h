#pragma once
// The project manifest and the other small JSON files the program keeps.

#include <QString>
#include <QVariantMap>

// The file's top-level object; an empty map for a missing, unreadable or
// invalid file, or one whose top level is not an object.
QVariantMap readJsonFile(const QString &path);

// Qt's indented JSON of the map. The bytes go to a temporary file beside the
// target that replaces it only once everything was written, so a crash in the
// middle leaves the old content, never a truncated file. Where no file can be
// made beside it, the target itself is rewritten.
bool writeJsonFile(const QString &path, const QVariantMap &map);

#pragma once
// Stateless file and path helpers shared across the application.

#include <QDir>
#include <QFileInfo>
#include <QRegExp>
#include <QString>

#include <functional>

namespace FileUtil {

QString regexReplaceWith(const QString &text, QRegExp rx, const std::function<QString(const QRegExp &)> &replace);

// Copies a file, or a folder with everything in it, into target. Files that
// already exist there are left alone. Symbolic links are skipped. When
// stop turns true, the copy ends (false) before the next file.
bool copyRecursively(const QFileInfo &source, const QDir &target, QString *err,
                     const std::function<bool()> &stop = {});
bool copyPath(const QString &source, const QDir &target, QString *err, const std::function<bool()> &stop = {});

// Copies the regular file from to the new file to, in pieces, so that stop
// can end it between two. A copy that fails or is stopped leaves nothing at
// to. Returns the error text (the system's reason, "No space left on device"
// say), empty when done or stopped.
QString copyFile(const QString &from, const QString &to, const std::function<bool()> &stop = {});

// Percent-encodes reserved device names and the characters a Windows file
// name cannot hold.
QString escapeFileName(const QString &name);
QString percentByte(unsigned char byte);

// Deletes a folder tree. A symbolic link inside it is removed as a link and
// never followed.
void removeDirRecursively(const QString &path);
// A symbolic link or a junction: removing it must never reach its target.
bool isLink(const QFileInfo &info);

// The name of a picture the conversation page saved into a project's
// "images" folder: 32 lower-case hexadecimal digits, ".", and the suffix of
// a format pictures can be saved in (none of them a page or a drawing that
// could run script).
bool isSavedPicture(const QString &fileName);

QDir appDataDir();

// A path in dir for a new file or folder named after name that nothing
// occupies yet: the escaped name, then "name(1)", "name(2)", ...; a long
// name is cut to leave room for the number and an extension. Its cost does
// not grow with the length of name.
QString uniqueFilePath(const QDir &dir, const QString &name);

}

#pragma once
// Helpers shared by the tests.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TestUtil {

// Writes bytes to path, creating missing parent folders. False on failure.
bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// Every path below dir, relative to it and sorted; links are listed, not followed.
QStringList fileTree(const QString &dir);

// The test runner gives every test a private HOME; refuse to run without it so
// a test started by hand cannot touch the real user's files.
void requireSandboxedHome();

// While it lives, the calling thread meets the permission bits of files as
// their owner would, also when the tests run as root (whose rights pass them).
class WithoutRootRights
{
public:
    WithoutRootRights();
    ~WithoutRootRights();
    WithoutRootRights(const WithoutRootRights &) = delete;
    WithoutRootRights &operator=(const WithoutRootRights &) = delete;

private:
    unsigned m_saved = 0;
    bool m_dropped = false;
};

}

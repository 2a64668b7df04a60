#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace TestUtil {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void requireSandboxedHome()
{
    if (!qEnvironmentVariable("HOME").startsWith(QStringLiteral("/tmp/kalvinor-test."))) {
        std::fprintf(stderr, "Run this test through ctest (tests/run_test.sh gives it a private HOME).\n");
        std::exit(2);
    }
}

}

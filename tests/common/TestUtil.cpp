#include "TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

#include <array>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

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

QStringList fileTree(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

void requireSandboxedHome()
{
    if (!qEnvironmentVariable("HOME").startsWith(QStringLiteral("/tmp/kalvinor-test."))) {
        std::fprintf(stderr, "Run this test through ctest (tests/run_test.sh gives it a private HOME).\n");
        std::exit(2);
    }
}

namespace {

using CapData = std::array<__user_cap_data_struct, 2>;

bool capabilities(CapData &data, bool set)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(set ? SYS_capset : SYS_capget, &header, data.data()) == 0;
}

}

WithoutRootRights::WithoutRootRights()
{
    // Only the effective set of this thread: root stays the owner of its
    // files, but the rights that pass every permission bit are set aside.
    CapData caps{};
    if (!capabilities(caps, false))
        return;
    m_saved = caps[0].effective;
    caps[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    m_dropped = capabilities(caps, true);
}

WithoutRootRights::~WithoutRootRights()
{
    CapData caps{};
    if (m_dropped && capabilities(caps, false)) {
        caps[0].effective = m_saved;
        capabilities(caps, true);
    }
}

}

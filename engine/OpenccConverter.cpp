#include "engine/OpenccConverter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <opencc/opencc.h>

#include <cstdio>

namespace {
const opencc_t failedHandle = reinterpret_cast<opencc_t>(-1);
}

OpenccConverter &OpenccConverter::instance()
{
    static OpenccConverter converter;
    return converter;
}

OpenccConverter::~OpenccConverter()
{
    close();
}

QStringList OpenccConverter::configFolders()
{
    QStringList folders;
    if (QCoreApplication::instance()) {
        const QDir appDir(QCoreApplication::applicationDirPath());
        folders << appDir.absoluteFilePath(QStringLiteral("config"))
                << QDir::cleanPath(appDir.absoluteFilePath(QStringLiteral("../config")));
    }
    // The system's own OpenCC data on Linux.
    folders << QStringLiteral("/usr/share/opencc");
    return folders;
}

bool OpenccConverter::open(const QString &configName)
{
    if (handle)
        return true;
    const QStringList folders = configFolders();
    QString folder = folders.last();
    for (const QString &f : folders) {
        if (QFileInfo(f).isDir()) {
            folder = f;
            break;
        }
    }
    const QByteArray path = QDir(folder).absoluteFilePath(configName).toLocal8Bit();
    opencc_t h = opencc_open(path.constData());
    if (h == failedHandle) {
        std::fprintf(stderr, "OpenCC Error: %s\n", opencc_error());
        return false;
    }
    handle = h;
    return true;
}

bool OpenccConverter::openOnce(const QString &configName)
{
    std::call_once(opened, [&] { open(configName); });
    return handle != nullptr;
}

QString OpenccConverter::convert(const QString &text) const
{
    if (!handle)
        return text;
    const QByteArray in = text.toUtf8();
    char *out = opencc_convert_utf8(static_cast<opencc_t>(handle), in.constData(), size_t(in.size()));
    if (!out)
        return text;
    const QString result = QString::fromUtf8(out);
    opencc_convert_utf8_free(out);
    return result;
}

void OpenccConverter::close()
{
    if (handle) {
        opencc_close(static_cast<opencc_t>(handle));
        handle = nullptr;
    }
}

#include "projects/JsonFile.h"

#include "util/Platform.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

QVariantMap readJsonFile(const QString &path)
{
    QVariantMap map;
    readJsonObject(path, map);
    return map;
}

bool readJsonObject(const QString &path, QVariantMap &map)
{
    QFile f(path);
    // A FIFO named "manifest" would block the reader for ever.
    if (!Platform::openRegularFile(f, QIODevice::ReadOnly).isEmpty())
        return false;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    map = doc.object().toVariantMap();
    return true;
}

bool writeJsonFile(const QString &path, const QVariantMap &map)
{
    const QByteArray bytes = QJsonDocument(QJsonObject::fromVariantMap(map)).toJson(QJsonDocument::Indented);
    QSaveFile f(path);
    // A folder the user may not add files to can still hold a manifest the
    // user may write: then it is written in place.
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

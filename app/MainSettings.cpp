#include "app/MainSettings.h"

#include "storage/LangDb.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariantHash>

namespace {

QVariantHash &values()
{
    static QVariantHash v;
    return v;
}

bool loaded = false;

void ensureLoaded()
{
    if (loaded)
        return;
    loaded = true;
    QFile f(MainSettings::filePath());
    if (!f.open(QIODevice::ReadOnly))
        return;
    // An array or text that is not JSON gives an empty object here.
    values() = QJsonDocument::fromJson(f.readAll()).object().toVariantHash();
}

}

MainSettings::MainSettings(QObject *parent)
    : QObject(parent)
{
}

QString MainSettings::filePath()
{
    return userDataDir().absoluteFilePath(QStringLiteral("settings.json"));
}

void MainSettings::put(const QString &k, const QVariant &v)
{
    ensureLoaded();
    values().insert(k, v);
    QFile f(filePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    f.write(QJsonDocument(QJsonObject::fromVariantHash(values())).toJson(QJsonDocument::Indented));
    f.close();
}

QVariant MainSettings::get(const QString &k)
{
    ensureLoaded();
    return values().value(k);
}

#pragma once
// The settings behind the QML context property "settings": one flat JSON
// object in "settings.json" of the per-user data folder, read once per
// process and rewritten whole on every change.

#include <QObject>
#include <QString>
#include <QVariant>

class MainSettings : public QObject
{
    Q_OBJECT

public:
    explicit MainSettings(QObject *parent = nullptr);

    Q_INVOKABLE void put(const QString &k, const QVariant &v);
    Q_INVOKABLE QVariant get(const QString &k);

    static QString filePath();
};

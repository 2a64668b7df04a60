#pragma once
// The catalogue of recognition languages ("lang.db" in the per-user data
// folder, seeded from the resources): screen names, model folders and
// download addresses by language key ("en-s", "en-h", ...).

#include "storage/Sqlite3DB.h"

#include <QDir>
#include <QList>
#include <QObject>
#include <QString>

#include <mutex>
#include <string>

// The per-user data folder, created with its parents when missing.
QDir userDataDir();

class LangDb : public QObject, public Sqlite3DB
{
    Q_OBJECT

public:
    explicit LangDb(QObject *parent = nullptr);

    // The process-wide catalogue, opened on the first call (GUI thread, at
    // start-up). Never deleted.
    static LangDb *instance();

    bool open();
    QList<Sqlite3Row> list(const QString &filter);
    // True for a key "xx-s" or "xx-h" in any letter case; code comes back in
    // lower case.
    static bool parseLang(const QString &key, QString &code, bool &isHigh);
    // False (with lastErr) when the catalogue could not be written.
    bool setLocalPath(const QString &key, const QString &path);

    // Written by the GUI thread and installer threads alike.
    QString lastErr() const;

    // Base address of the model download endpoint, ending in "/". Built in;
    // the setter exists so tests can point it at a local server.
    static QString modelEndpoint();
    static void setModelEndpoint(const QString &base);

    Q_INVOKABLE QString defaultSaveRootUrl();
    Q_INVOKABLE QString display(const QString &lang);
    Q_INVOKABLE QString modelPath(const QString &lang);
    Q_INVOKABLE bool isInstalled(const QString &lang);
    Q_INVOKABLE QString downloadUrl(const QString &lang);
    Q_INVOKABLE void touch(const QString &lang);

private:
    void setLastErr(const std::exception &e);

    // UTF-8, kept as a plain string so that no implicitly shared text data
    // passes between the threads that report errors.
    mutable std::mutex m_errMutex;
    std::string m_lastErr;
};

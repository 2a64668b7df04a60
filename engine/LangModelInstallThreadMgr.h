#pragma once
// Runs at most one model installer per language key for QML and relays their
// progress and results tagged with the key.

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>

class LangModelInstallThread;

class LangModelInstallThreadMgr : public QObject
{
    Q_OBJECT

public:
    explicit LangModelInstallThreadMgr(QObject *parent = nullptr);
    // Stops every installer still at work and waits for it; a stopped
    // installer leaves the catalogue as it was.
    ~LangModelInstallThreadMgr() override;

signals:
    void progressUpdate(QString lang, int progress, QString status);
    void finished(QString lang, bool suc, QString err);

public slots:
    void tdProgressUpdate(int progress, QString status);
    void tdFinished();

public:
    Q_INVOKABLE void beginInstall(QString lang, QString url);
    Q_INVOKABLE bool isRunning(QString lang);
    Q_INVOKABLE QString lastErr(QString lang);
    // True while any installer is at work (the popup warns that closing it
    // stops them).
    Q_INVOKABLE bool isAnyRunning();

private:
    QMutex m_mutex;
    QHash<QString, LangModelInstallThread *> m_threads;
};

#pragma once
// Asks the vendor's update endpoint once, on its own thread, whether this
// version is still supported. Every failure is silent.

#include <QString>
#include <QThread>

class CheckUpdateThread : public QThread
{
    Q_OBJECT
    Q_PROPERTY(QString downloadUrl READ downloadUrl WRITE setDownloadUrl NOTIFY downloadUrlChanged)
    Q_PROPERTY(bool requireUpdate READ requireUpdate WRITE setRequireUpdate NOTIFY requireUpdateChanged)

public:
    explicit CheckUpdateThread(QObject *parent = nullptr);

    QString downloadUrl() const;
    void setDownloadUrl(const QString &v);
    bool requireUpdate() const;
    void setRequireUpdate(bool v);

    // Ends the process at once with exit code 0; no destructor runs.
    Q_INVOKABLE void exitApp();

    // Base address of the update endpoint, ending in "/". Built in; the setter
    // exists so tests can point it at a local server.
    static QString updateEndpoint();
    static void setUpdateEndpoint(const QString &base);
    // Limit on the whole request, in seconds.
    static int requestTimeout();
    static void setRequestTimeout(int seconds);
    // The address asked: the endpoint, "check_update.php" and the query.
    static QString checkUrl();

signals:
    void downloadUrlChanged();
    void requireUpdateChanged();

protected:
    void run() override;

private:
    // Written on the check's thread, read on the GUI thread after finished().
    QString m_downloadUrl;
    bool m_requireUpdate = false;
};

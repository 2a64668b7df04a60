#pragma once
// Downloads one URL into one local file on its own thread. The body goes to
// "<savePath>.downloading", is checked against the server's "X-MD5SUM" when it
// sends one, and only then takes the final name; a failed or stopped transfer
// removes it. Subclasses prepare the work in beforeDownload() and process the
// finished file in afterDownload(); a target that exists already skips the
// transfer.

#include <QString>
#include <QThread>

#include <atomic>
#include <mutex>

class DownloadFileThread : public QThread
{
    Q_OBJECT
    Q_PROPERTY(QString downloadUrl READ downloadUrl WRITE setDownloadUrl NOTIFY downloadUrlChanged)
    Q_PROPERTY(QString savePath READ savePath WRITE setSavePath NOTIFY savePathChanged)
    Q_PROPERTY(bool hasErr READ hasErr WRITE setHasErr NOTIFY hasErrChanged)
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)

public:
    explicit DownloadFileThread(QObject *parent = nullptr);

    QString downloadUrl() const;
    void setDownloadUrl(const QString &v);
    QString savePath() const;
    void setSavePath(const QString &v);
    // The error state may be asked from the GUI thread while the download
    // thread sets it, so it sits behind a mutex.
    bool hasErr() const;
    void setHasErr(bool v);
    QString lastErr() const;
    void setLastErr(const QString &v);

    // "<n> <unit>" with B, kB, M or G, truncated.
    static QString formatSize(qint64 bytes);

    // A transfer that moves fewer than lowSpeedBytes per second for this many
    // seconds is given up, so a stalled server cannot hold the thread forever.
    static int stallSeconds();
    static void setStallSeconds(int seconds);
    static constexpr long lowSpeedBytes = 512;

signals:
    void progressUpdate(int progress, QString status);
    void downloadUrlChanged();
    void savePathChanged();
    void hasErrChanged();
    void lastErrChanged();

protected slots:
    // Runs first on the download thread; false ends the run (the subclass
    // reports why).
    virtual bool beforeDownload();
    // Runs on the download thread after a successful download, or at once
    // when savePath existed before.
    virtual void afterDownload();

protected:
    void run() override;

private:
    mutable std::mutex m_mutex;
    QString m_downloadUrl;
    QString m_savePath;
    bool m_hasErr = false;
    QString m_lastErr;

    static std::atomic<int> s_stallSeconds;
};

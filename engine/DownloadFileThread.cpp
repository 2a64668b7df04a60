#include "engine/DownloadFileThread.h"

#include "util/HttpClient.h"
#include "util/ThreadEndMark.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <curl/curl.h>

#include <exception>
#include <stdexcept>

std::atomic<int> DownloadFileThread::s_stallSeconds{60};

namespace {

constexpr long connectTimeoutSeconds = 30;

struct ProgressContext
{
    DownloadFileThread *thread;
    CURL *handle;
};

int onTransferInfo(void *data, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t)
{
    auto *ctx = static_cast<ProgressContext *>(data);
    // libcurl calls back at least once a second even when nothing arrives,
    // which is what lets an owner stop a download that is waiting on the net.
    if (ctx->thread->isInterruptionRequested())
        return 1;

    curl_off_t speed = 0;
    curl_easy_getinfo(ctx->handle, CURLINFO_SPEED_DOWNLOAD_T, &speed);
    const QString status = QStringLiteral("%1/s - %2 of %3")
                               .arg(DownloadFileThread::formatSize(speed), DownloadFileThread::formatSize(dlnow),
                                    DownloadFileThread::formatSize(dltotal));
    const int progress = dltotal != 0 ? static_cast<int>(dlnow * 100 / dltotal) : 0;
    emit ctx->thread->progressUpdate(progress, status);
    return 0;
}

}

DownloadFileThread::DownloadFileThread(QObject *parent)
    : QThread(parent)
{
}

QString DownloadFileThread::downloadUrl() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_downloadUrl;
}

void DownloadFileThread::setDownloadUrl(const QString &v)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_downloadUrl == v)
            return;
        m_downloadUrl = v;
    }
    emit downloadUrlChanged();
}

QString DownloadFileThread::savePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_savePath;
}

void DownloadFileThread::setSavePath(const QString &v)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_savePath == v)
            return;
        m_savePath = v;
    }
    emit savePathChanged();
}

bool DownloadFileThread::hasErr() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hasErr;
}

void DownloadFileThread::setHasErr(bool v)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_hasErr == v)
            return;
        m_hasErr = v;
    }
    emit hasErrChanged();
}

QString DownloadFileThread::lastErr() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastErr;
}

void DownloadFileThread::setLastErr(const QString &v)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_lastErr == v)
            return;
        m_lastErr = v;
    }
    emit lastErrChanged();
}

QString DownloadFileThread::formatSize(qint64 bytes)
{
    if (bytes > 1073741824)
        return QStringLiteral("%1 G").arg(bytes >> 30);
    if (bytes > 1048576)
        return QStringLiteral("%1 M").arg(bytes >> 20);
    if (bytes > 1024)
        return QStringLiteral("%1 kB").arg(bytes >> 10);
    return QStringLiteral("%1 B").arg(bytes);
}

int DownloadFileThread::stallSeconds()
{
    return s_stallSeconds.load();
}

void DownloadFileThread::setStallSeconds(int seconds)
{
    s_stallSeconds.store(seconds);
}

bool DownloadFileThread::beforeDownload()
{
    return true;
}

void DownloadFileThread::afterDownload()
{
}

void DownloadFileThread::run()
{
    const ThreadEndMark endMark(this);
    // Taking the lock once more on the way out orders everything this thread
    // did before any later look at its state, also for race checkers that
    // cannot see inside QThread::wait().
    struct Handover
    {
        std::mutex &m;
        ~Handover() { std::lock_guard<std::mutex> lock(m); }
    } handover{m_mutex};

    if (!beforeDownload())
        return;

    const QString target = savePath();
    if (QFile::exists(target)) {
        afterDownload();
        return;
    }

    const QString tempPath = target + QStringLiteral(".downloading");
    QFile file(tempPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        setHasErr(true);
        setLastErr(QStringLiteral("create file failed. %1").arg(file.errorString()));
        return;
    }

    // A failed or abandoned transfer leaves nothing half-received behind.
    auto dropTemp = qScopeGuard([&file] {
        file.close();
        file.remove();
    });
    try {
        {
            HttpClient client;
            if (!client.post(downloadUrl().toUtf8(), QByteArray(), {}))
                throw std::runtime_error("CURL: Failed initialization");
            ProgressContext ctx{this, client.handle};
            curl_easy_setopt(client.handle, CURLOPT_NOPROGRESS, 0L);
            curl_easy_setopt(client.handle, CURLOPT_FAILONERROR, 1L);
            curl_easy_setopt(client.handle, CURLOPT_XFERINFOFUNCTION, &onTransferInfo);
            curl_easy_setopt(client.handle, CURLOPT_XFERINFODATA, &ctx);
            curl_easy_setopt(client.handle, CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds);
            curl_easy_setopt(client.handle, CURLOPT_LOW_SPEED_LIMIT, lowSpeedBytes);
            curl_easy_setopt(client.handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(stallSeconds()));
            client.md5Enabled = true;
            client.perform(&file);
            // The sum covers what was handed to the file; a flush that fails
            // (a full disk) would otherwise leave a short file that passes.
            if (!file.flush())
                throw std::runtime_error(QStringLiteral("write %1 error. %2").arg(tempPath, file.errorString()).toUtf8().toStdString());
            file.close();

            // Looked up in any letter case: HTTP/2 delivers header names in lower case.
            const QByteArray expected = client.header("X-MD5SUM").trimmed();
            if (!expected.isEmpty() && expected.toLower() != client.md5.result().toHex())
                throw std::runtime_error("invalid md5sum.");
        }

        if (!QFile::rename(tempPath, target)) {
            setHasErr(true);
            setLastErr(QStringLiteral("rename file failed. %1").arg(tempPath));
            return;
        }
    } catch (const std::exception &e) {
        setHasErr(true);
        setLastErr(QStringLiteral("error: %1").arg(QString::fromUtf8(e.what())));
        return;
    }
    dropTemp.dismiss();
    afterDownload();
}

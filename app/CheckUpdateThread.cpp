#include "app/CheckUpdateThread.h"

#include "util/HttpClient.h"
#include "util/Platform.h"
#include "util/ProductInfo.h"
#include "util/ThreadEndMark.h"

#include <QUrl>

#include <exception>
#include <mutex>

#ifndef KALVINOR_UPDATE_ENDPOINT
#define KALVINOR_UPDATE_ENDPOINT "https://www.kalvinor.com/"
#endif

namespace {

std::mutex configMutex;
QString endpointBase = QStringLiteral(KALVINOR_UPDATE_ENDPOINT);
int timeoutSeconds = 30;

constexpr int connectTimeoutSeconds = 5;

// The reply is handed to the desktop's URL opener, which would just as well
// run a local program or open a file: only a web address may go there.
bool isWebAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

}

CheckUpdateThread::CheckUpdateThread(QObject *parent)
    : QThread(parent)
{
}

QString CheckUpdateThread::downloadUrl() const
{
    return m_downloadUrl;
}

void CheckUpdateThread::setDownloadUrl(const QString &v)
{
    if (m_downloadUrl == v)
        return;
    m_downloadUrl = v;
    emit downloadUrlChanged();
}

bool CheckUpdateThread::requireUpdate() const
{
    return m_requireUpdate;
}

void CheckUpdateThread::setRequireUpdate(bool v)
{
    if (m_requireUpdate == v)
        return;
    m_requireUpdate = v;
    emit requireUpdateChanged();
}

void CheckUpdateThread::exitApp()
{
    Platform::terminateProcess(0);
}

QString CheckUpdateThread::updateEndpoint()
{
    std::lock_guard<std::mutex> lock(configMutex);
    return endpointBase;
}

void CheckUpdateThread::setUpdateEndpoint(const QString &base)
{
    std::lock_guard<std::mutex> lock(configMutex);
    endpointBase = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
}

int CheckUpdateThread::requestTimeout()
{
    std::lock_guard<std::mutex> lock(configMutex);
    return timeoutSeconds;
}

void CheckUpdateThread::setRequestTimeout(int seconds)
{
    std::lock_guard<std::mutex> lock(configMutex);
    timeoutSeconds = seconds;
}

QString CheckUpdateThread::checkUrl()
{
    return updateEndpoint()
        + QStringLiteral("check_update.php?pid=%1&ver=%2&q=1")
              .arg(QString::fromLatin1(ProductInfo::uid))
              .arg(ProductInfo::versionId);
}

void CheckUpdateThread::run()
{
    const ThreadEndMark endMark(this);
    QByteArray reply;
    int status = 0;
    try {
        HttpClient client;
        if (!client.post(checkUrl().toUtf8(), QByteArray(), {}))
            return;
        client.setConnectTimeout(connectTimeoutSeconds);
        client.setTimeout(requestTimeout());
        reply = client.get();
        status = client.statusCode;
    } catch (const std::exception &) {
        // No answer means no update is required.
        return;
    }

    // An error page may well mention a download folder; only a successful
    // reply that is itself the address announces a newer version.
    if (status < 200 || status > 299)
        return;
    const QString text = QString::fromUtf8(reply).trimmed();
    if (!text.contains(QLatin1String("/download/")) || !isWebAddress(text))
        return;
    setDownloadUrl(text);
    setRequireUpdate(true);
}

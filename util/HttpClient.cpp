#include "util/HttpClient.h"

#include <QBuffer>
#include <QIODevice>
#include <QRegularExpression>

#include <curl/curl.h>

#include <mutex>
#include <stdexcept>

namespace {

// The update check and a model download may make their first clients at the
// same moment; curl_global_init is not thread-safe and must run exactly once.
std::once_flag curlInitOnce;

[[noreturn]] void throwCurl(CURLcode rc, long status = 0)
{
    QString text = QString::fromUtf8(curl_easy_strerror(rc));
    // libcurl's text alone does not say which status the server sent.
    if (status != 0)
        text += QStringLiteral(" (HTTP %1)").arg(status);
    throw std::runtime_error(QStringLiteral("CURL: %1").arg(text).toUtf8().toStdString());
}

}

HttpClient::HttpClient()
    : md5(QCryptographicHash::Md5)
{
    std::call_once(curlInitOnce, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

HttpClient::~HttpClient()
{
    freeRequestHeaders();
    if (handle)
        curl_easy_cleanup(handle);
}

void HttpClient::freeRequestHeaders()
{
    if (requestHeaders) {
        curl_slist_free_all(requestHeaders);
        requestHeaders = nullptr;
    }
}

bool HttpClient::setRequest(const QByteArray &requestUrl, const QList<QByteArray> &headers)
{
    if (!handle)
        handle = curl_easy_init();
    responseHeaders.clear();
    statusCode = 0;
    statusText.clear();
    md5.reset();
    freeRequestHeaders();
    if (!handle)
        return false;

    // A model archive and its checksum arrive over the same channel, so the
    // server must be the one it claims to be.
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);

    // Clients run on worker threads, where libcurl must not use signals.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);

    url = requestUrl;
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());

    for (const QByteArray &line : headers) {
        curl_slist *grown = curl_slist_append(requestHeaders, line.constData());
        if (!grown) {
            // Out of memory: a request without its headers would be a different request.
            freeRequestHeaders();
            curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
            return false;
        }
        requestHeaders = grown;
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, requestHeaders);
    return true;
}

bool HttpClient::post(const QByteArray &requestUrl, const QByteArray &data, const QList<QByteArray> &headers)
{
    QList<QByteArray> lines = headers;
    if (!data.isEmpty())
        lines.append("Content-Length: " + QByteArray::number(data.size()));
    if (!setRequest(requestUrl, lines))
        return false;
    postData = data;
    if (!postData.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(postData.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, postData.constData());
    } else {
        // A handle that posted before still points at the old body, which
        // the assignment above has just freed.
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, -1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, nullptr);
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    }
    return true;
}

void HttpClient::setConnectTimeout(int seconds)
{
    if (handle)
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(seconds));
}

void HttpClient::setTimeout(int seconds)
{
    if (handle)
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, static_cast<long>(seconds));
}

void HttpClient::perform(QIODevice *out)
{
    output = out;
    if (!handle)
        throwCurl(CURLE_FAILED_INIT);

    QByteArray rawHeaders;
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &HttpClient::writeCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &HttpClient::headerCallback);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &rawHeaders);
    const CURLcode rc = curl_easy_perform(handle);
    // The local buffer dies with this call; libcurl must not keep it.
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, nullptr);

    parseHeaders(rawHeaders);
    if (rc == CURLE_HTTP_RETURNED_ERROR) {
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        throwCurl(rc, status);
    }
    if (rc != CURLE_OK)
        throwCurl(rc);
}

QByteArray HttpClient::get()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    perform(&buffer);
    return buffer.data();
}

void HttpClient::parseHeaders(const QByteArray &raw)
{
    responseHeaders.clear();
    statusCode = 0;
    statusText.clear();

    static const QRegularExpression statusLine(QStringLiteral("^HTTP[^ ]+ (\\d+) ?(.*)$"),
                                               QRegularExpression::CaseInsensitiveOption);
    int from = 0;
    while (from < raw.size()) {
        int end = raw.indexOf('\n', from);
        end = end < 0 ? raw.size() : end + 1;
        const QByteArray line = raw.mid(from, end - from);
        from = end;

        QByteArray text = line;
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        const QRegularExpressionMatch m = statusLine.match(QString::fromUtf8(text));
        if (m.hasMatch()) {
            statusCode = m.captured(1).toInt();
            statusText = m.captured(2).trimmed();
        }
        const int colon = line.indexOf(':');
        if (colon >= 1) {
            const QByteArray name = line.left(colon).trimmed().toLower();
            if (!name.isEmpty())
                responseHeaders.insert(name, line.mid(colon + 1).trimmed());
        }
    }
}

QByteArray HttpClient::header(const QByteArray &name) const
{
    return responseHeaders.value(name.toLower());
}

bool HttpClient::hasHeader(const QByteArray &name) const
{
    return responseHeaders.contains(name.toLower());
}

size_t HttpClient::writeCallback(char *data, size_t size, size_t count, void *client)
{
    auto *self = static_cast<HttpClient *>(client);
    const qint64 bytes = static_cast<qint64>(size * count);
    if (!self->output)
        return 0;
    const qint64 written = self->output->write(data, bytes);
    if (written < 0)
        return 0;
    if (self->md5Enabled)
        self->md5.addData(data, static_cast<int>(written));
    // Anything short of the whole chunk makes libcurl stop with its write error.
    return static_cast<size_t>(written);
}

size_t HttpClient::headerCallback(char *data, size_t size, size_t count, void *bytes)
{
    const size_t n = size * count;
    static_cast<QByteArray *>(bytes)->append(data, static_cast<int>(n));
    return n;
}

#pragma once
// A small blocking HTTP(S) client over libcurl's easy interface. One client
// serves one request on the thread that made it. Transfer failures throw
// std::runtime_error("CURL: <libcurl's description>").

#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QList>
#include <QString>

#include <cstddef>

class QIODevice;
struct curl_slist;
typedef void CURL;

class HttpClient
{
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    // Prepares the handle for a new request. False when libcurl could not make
    // an easy handle or the header list.
    bool setRequest(const QByteArray &url, const QList<QByteArray> &headers);
    // A POST when data is not empty, otherwise a plain GET.
    bool post(const QByteArray &url, const QByteArray &data, const QList<QByteArray> &headers);

    // Both act on the handle, which exists only after post() or setRequest().
    void setConnectTimeout(int seconds);
    // Limit on the whole transfer, so a server that stalls mid-reply cannot
    // hold the caller forever.
    void setTimeout(int seconds);

    // Runs the transfer, streaming the body into out, then fills the response
    // headers and the status. Throws on any transfer failure; an error status
    // (with CURLOPT_FAILONERROR) ends the text with "(HTTP <status>)".
    void perform(QIODevice *out);
    // perform() into memory; for short replies only.
    QByteArray get();

    // HTTP header names are case-insensitive (and HTTP/2 sends them in lower
    // case), so the value is looked up in any letter case.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;

    // Fills responseHeaders, statusCode and statusText from the raw header
    // bytes of a transfer (every response's status line and header lines).
    void parseHeaders(const QByteArray &raw);

    static size_t writeCallback(char *data, size_t size, size_t count, void *client);
    static size_t headerCallback(char *data, size_t size, size_t count, void *bytes);

    CURL *handle = nullptr;
    QByteArray url;
    QByteArray postData;
    // Headers of the last response, keyed by their lower-case name; see
    // header(). A later header of the same name wins.
    QHash<QByteArray, QByteArray> responseHeaders;
    int statusCode = 0;
    QString statusText;
    curl_slist *requestHeaders = nullptr;
    QIODevice *output = nullptr;
    bool md5Enabled = false;
    QCryptographicHash md5;

private:
    void freeRequestHeaders();
};

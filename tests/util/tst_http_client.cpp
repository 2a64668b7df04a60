#include "common/ModelEndpointServer.h"
#include "common/TestUtil.h"
#include "storage/LangDb.h"
#include "util/HttpClient.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <curl/curl.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

QString curlText(CURLcode rc)
{
    return QStringLiteral("CURL: ") + QString::fromUtf8(curl_easy_strerror(rc));
}

// Runs f and returns the text of the std::runtime_error it throws; a null
// text when it throws nothing.
template<typename F>
QString thrownText(F f)
{
    try {
        f();
    } catch (const std::runtime_error &e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

QStringList requestLines(curl_slist *list)
{
    QStringList lines;
    for (; list; list = list->next)
        lines << QString::fromUtf8(list->data);
    return lines;
}

// Accepts only the first few bytes of every write, like a full disk.
class ShortDevice : public QIODevice
{
public:
    ShortDevice() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 len) override { return qMin<qint64>(len, 10); }
};

}

class TestHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstClientsOnManyThreads();
    void parseHeaders_data();
    void parseHeaders();
    void archiveBody_data();
    void archiveBody();
    void errorStatus_data();
    void errorStatus();
    void failOnErrorKeepsHeaders();
    void postAndGet();
    void refusedWrite_data();
    void refusedWrite();
    void closedPort();
    void overallTimeout();
    void certificateIsVerified();

private:
    QTemporaryDir m_root;
    QByteArray m_archive;
    QByteArray m_archiveMd5;
};

void TestHttpClient::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(m_root.isValid());
    // Several megabytes, so the body arrives in many chunks.
    QRandomGenerator rng(4);
    m_archive.resize(5 * 1024 * 1024 + 123);
    for (char &c : m_archive)
        c = char(rng.bounded(256));
    m_archiveMd5 = QCryptographicHash::hash(m_archive, QCryptographicHash::Md5).toHex();
    QVERIFY(TestUtil::writeFile(m_root.filePath(QStringLiteral("en-s.zip")), m_archive));
    QVERIFY(TestUtil::writeFile(m_root.filePath(QStringLiteral("reply.txt")), "short reply"));
}

void TestHttpClient::firstClientsOnManyThreads()
{
    // The process-wide libcurl initialisation must happen exactly once, even
    // when the first clients appear on several threads together.
    ModelEndpointServer server(m_root.path());
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    const QByteArray url = (server.baseUrl() + QStringLiteral("reply.txt")).toUtf8();
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&] {
            HttpClient client;
            if (client.post(url, QByteArray(), {}) && client.get() == "short reply")
                ++ok;
        });
    }
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(ok.load(), 6);
}

void TestHttpClient::parseHeaders_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariantMap>("headers");

    QTest::newRow("http/1.1 with md5")
        << QByteArray("HTTP/1.1 200 OK\r\nX-MD5SUM: abc\r\n\r\n") << 200 << "OK"
        << QVariantMap{{"X-MD5SUM", "abc"}};
    QTest::newRow("http/2 lower-case name")
        << QByteArray("HTTP/2 200\r\nx-md5sum: abc\r\ncontent-length: 12\r\n\r\n") << 200 << ""
        << QVariantMap{{"X-MD5SUM", "abc"}, {"Content-Length", "12"}};
    QTest::newRow("colons in values")
        << QByteArray("HTTP/1.1 404 Not Found \r\nDate: Mon, 07 Dec 2026 07:50:39 GMT\r\n"
                      "Location:  http://127.0.0.1:8080/a?b=c:d \r\n\r\n")
        << 404 << "Not Found"
        << QVariantMap{{"Date", "Mon, 07 Dec 2026 07:50:39 GMT"}, {"Location", "http://127.0.0.1:8080/a?b=c:d"}};
    QTest::newRow("last response wins")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nA: 1\r\n\r\n") << 201 << "Created"
        << QVariantMap{{"A", "1"}};
    QTest::newRow("later header wins in any case")
        << QByteArray("HTTP/1.1 200 OK\r\nX-MD5SUM: one\r\nx-Md5Sum: two\r\n\r\n") << 200 << "OK"
        << QVariantMap{{"X-MD5SUM", "two"}};
    QTest::newRow("lower-case status, bare line feeds")
        << QByteArray("http/1.0 500 Internal Server Error\nServer: x\n\n") << 500 << "Internal Server Error"
        << QVariantMap{{"Server", "x"}};
    QTest::newRow("no name before the colon")
        << QByteArray("HTTP/1.1 200 OK\r\n: nameless\r\nNoColonHere\r\n\r\n") << 200 << "OK" << QVariantMap{};
    QTest::newRow("no status line") << QByteArray("X: y\r\n") << 0 << "" << QVariantMap{{"X", "y"}};
}

void TestHttpClient::parseHeaders()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, status);
    QFETCH(QString, text);
    QFETCH(QVariantMap, headers);

    HttpClient client;
    client.statusCode = 999;
    client.responseHeaders.insert("stale", "1");
    client.parseHeaders(raw);
    QCOMPARE(client.statusCode, status);
    QCOMPARE(client.statusText, text);
    QCOMPARE(client.responseHeaders.size(), headers.size());
    for (auto it = headers.cbegin(); it != headers.cend(); ++it) {
        QVERIFY2(client.hasHeader(it.key().toUtf8()), qPrintable(it.key()));
        QCOMPARE(client.header(it.key().toUtf8()), it.value().toByteArray());
        QCOMPARE(client.header(it.key().toLower().toUtf8()), it.value().toByteArray());
    }
}

void TestHttpClient::archiveBody_data()
{
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<QByteArray>("sentSum"); // what "X-MD5SUM" should read, "" when absent

    const QByteArray wrong = QCryptographicHash::hash("not the archive", QCryptographicHash::Md5).toHex();
    QTest::newRow("length known") << QStringList() << m_archiveMd5;
    QTest::newRow("chunked") << QStringList{"--chunked"} << m_archiveMd5;
    QTest::newRow("slow chunked") << QStringList{"--chunked", "--slow", "0.002"} << m_archiveMd5;
    QTest::newRow("lower-case header name") << QStringList{"--md5", "lower"} << m_archiveMd5;
    QTest::newRow("no checksum") << QStringList{"--md5", "missing"} << QByteArray();
    QTest::newRow("wrong checksum") << QStringList{"--md5", "wrong"} << wrong;
}

void TestHttpClient::archiveBody()
{
    QFETCH(QStringList, switches);
    QFETCH(QByteArray, sentSum);

    ModelEndpointServer server(m_root.path());
    QVERIFY2(server.start(switches), qPrintable(server.errorText()));
    LangDb::setModelEndpoint(server.baseUrl());
    LangDb catalogue;
    const QString url = catalogue.downloadUrl(QStringLiteral("EN-S"));
    QCOMPARE(url, server.baseUrl() + QStringLiteral("vdata.php?fn=EN-S"));

    QTemporaryDir out;
    QFile file(out.filePath(QStringLiteral("model.zip")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    HttpClient client;
    QVERIFY(client.post(url.toUtf8(), QByteArray(), {}));
    client.md5Enabled = true;
    client.perform(&file);
    file.close();

    QCOMPARE(client.statusCode, 200);
    QCOMPARE(client.statusText, QStringLiteral("OK"));
    QCOMPARE(client.md5.result().toHex(), m_archiveMd5);
    QVERIFY(TestUtil::readFile(file.fileName()) == m_archive);
    QCOMPARE(client.hasHeader("X-MD5SUM"), !sentSum.isEmpty());
    QCOMPARE(client.header("X-MD5SUM"), sentSum);
    QCOMPARE(server.requests(), QStringList{QStringLiteral("GET /vdata.php?fn=EN-S")});
}

void TestHttpClient::errorStatus_data()
{
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("server error") << QStringList{"--status", "500"} << "en-s" << 500 << "Internal Server Error"
                                  << QByteArray("error 500\n");
    QTest::newRow("no such archive") << QStringList() << "fr-h" << 404 << "Not Found"
                                     << QByteArray("no model for fr-h\n");
    QTest::newRow("malformed key") << QStringList() << "en-|" << 400 << "Bad Request"
                                   << QByteArray("invalid key\n");
}

void TestHttpClient::errorStatus()
{
    QFETCH(QStringList, switches);
    QFETCH(QString, key);
    QFETCH(int, status);
    QFETCH(QString, text);
    QFETCH(QByteArray, body);

    ModelEndpointServer server(m_root.path());
    QVERIFY2(server.start(switches), qPrintable(server.errorText()));
    HttpClient client;
    QVERIFY(client.post((server.baseUrl() + QStringLiteral("vdata.php?fn=") + key).toUtf8(), QByteArray(), {}));
    // Without CURLOPT_FAILONERROR an error status is an ordinary reply.
    QCOMPARE(client.get(), body);
    QCOMPARE(client.statusCode, status);
    QCOMPARE(client.statusText, text);
}

void TestHttpClient::failOnErrorKeepsHeaders()
{
    ModelEndpointServer server(m_root.path());
    QVERIFY2(server.start({"--status", "503"}), qPrintable(server.errorText()));
    HttpClient client;
    QVERIFY(client.post((server.baseUrl() + QStringLiteral("vdata.php?fn=en-s")).toUtf8(), QByteArray(), {}));
    // What the download does: options of its own on the handle.
    curl_easy_setopt(client.handle, CURLOPT_FAILONERROR, 1L);
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    // The text names the status.
    QCOMPARE(thrownText([&] { client.perform(&sink); }), curlText(CURLE_HTTP_RETURNED_ERROR) + " (HTTP 503)");
    QCOMPARE(client.statusCode, 503);
    QVERIFY(client.hasHeader("Content-Type"));
}

void TestHttpClient::postAndGet()
{
    ModelEndpointServer server(m_root.path());
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    const QByteArray url = (server.baseUrl() + QStringLiteral("echo")).toUtf8();

    HttpClient poster;
    QVERIFY(poster.post(url, "hello", {"X-Test: 1"}));
    QCOMPARE(requestLines(poster.requestHeaders), (QStringList{"X-Test: 1", "Content-Length: 5"}));
    QCOMPARE(poster.get(), QByteArray("hello"));

    HttpClient getter;
    QVERIFY(getter.post((server.baseUrl() + QStringLiteral("reply.txt")).toUtf8(), QByteArray(), {}));
    QVERIFY(getter.requestHeaders == nullptr);
    QCOMPARE(getter.get(), QByteArray("short reply"));

    // One client used again: the empty body makes a GET, which must not
    // read the first request's body, freed by then.
    QVERIFY(poster.post((server.baseUrl() + QStringLiteral("reply.txt")).toUtf8(), QByteArray(), {}));
    QVERIFY(poster.requestHeaders == nullptr);
    QCOMPARE(poster.get(), QByteArray("short reply"));

    QCOMPARE(server.requests(), (QStringList{"POST /echo", "GET /reply.txt", "GET /reply.txt"}));
}

void TestHttpClient::refusedWrite_data()
{
    QTest::addColumn<bool>("shortWrite");
    QTest::newRow("write refused") << false;
    QTest::newRow("short write") << true;
}

void TestHttpClient::refusedWrite()
{
    QFETCH(bool, shortWrite);

    ModelEndpointServer server(m_root.path());
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    QFile readOnly(m_root.filePath(QStringLiteral("reply.txt")));
    QVERIFY(readOnly.open(QIODevice::ReadOnly));
    ShortDevice shortDevice;
    QIODevice *out = shortWrite ? static_cast<QIODevice *>(&shortDevice) : &readOnly;

    HttpClient client;
    QVERIFY(client.post((server.baseUrl() + QStringLiteral("vdata.php?fn=en-s")).toUtf8(), QByteArray(), {}));
    client.md5Enabled = true;
    QCOMPARE(thrownText([&] { client.perform(out); }), curlText(CURLE_WRITE_ERROR));
    // The headers had arrived before the body was refused.
    QCOMPARE(client.statusCode, 200);
    QCOMPARE(client.header("X-MD5SUM"), m_archiveMd5);
}

void TestHttpClient::closedPort()
{
    HttpClient client;
    QVERIFY(client.post(QStringLiteral("http://127.0.0.1:%1/vdata.php?fn=en-s")
                            .arg(ModelEndpointServer::closedPort())
                            .toUtf8(),
                        QByteArray(), {}));
    client.setConnectTimeout(5);
    QCOMPARE(thrownText([&] { client.get(); }), curlText(CURLE_COULDNT_CONNECT));
    QCOMPARE(client.statusCode, 0);
    QVERIFY(client.responseHeaders.isEmpty());
}

void TestHttpClient::overallTimeout()
{
    ModelEndpointServer server(m_root.path());
    QVERIFY2(server.start({"--slow", "30"}), qPrintable(server.errorText()));
    HttpClient client;
    QVERIFY(client.post((server.baseUrl() + QStringLiteral("reply.txt")).toUtf8(), QByteArray(), {}));
    client.setTimeout(1);
    QCOMPARE(thrownText([&] { client.get(); }), curlText(CURLE_OPERATION_TIMEDOUT));
}

void TestHttpClient::certificateIsVerified()
{
    QTemporaryDir tls;
    const QString cert = tls.filePath(QStringLiteral("cert.pem"));
    const QString key = tls.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::ForwardedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                   "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
    QVERIFY(openssl.waitForFinished(60000));
    QCOMPARE(openssl.exitCode(), 0);

    ModelEndpointServer server(m_root.path());
    QVERIFY2(server.start({"--cert", cert, "--key", key}), qPrintable(server.errorText()));
    const QByteArray url = (server.baseUrl() + QStringLiteral("reply.txt")).toUtf8();
    QVERIFY(url.startsWith("https://"));

    // A certificate that no trusted authority signed is refused...
    HttpClient client;
    QVERIFY(client.post(url, QByteArray(), {}));
    QCOMPARE(thrownText([&] { client.get(); }), curlText(CURLE_PEER_FAILED_VERIFICATION));

    // ...while the same server is reachable once it is trusted.
    HttpClient trusting;
    QVERIFY(trusting.post(url, QByteArray(), {}));
    curl_easy_setopt(trusting.handle, CURLOPT_CAINFO, cert.toUtf8().constData());
    QCOMPARE(trusting.get(), QByteArray("short reply"));
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_http_client.moc"

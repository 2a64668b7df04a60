#include "common/ModelEndpointServer.h"
#include "common/TestUtil.h"
#include "engine/DownloadFileThread.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <curl/curl.h>

#include <atomic>

namespace {

QString curlErr(CURLcode rc)
{
    return QStringLiteral("error: CURL: ") + QString::fromUtf8(curl_easy_strerror(rc));
}

// Counts the hooks and can refuse to start.
class Download : public DownloadFileThread
{
public:
    using DownloadFileThread::DownloadFileThread;
    bool refuse = false;
    std::atomic<int> afterCalls{0};

protected:
    bool beforeDownload() override { return !refuse; }
    void afterDownload() override { ++afterCalls; }
};

// Answers every request on 127.0.0.1 with one fixed reply, so a test controls
// the exact header lines.
class CannedServer : public QTcpServer
{
public:
    explicit CannedServer(const QByteArray &reply)
        : m_reply(reply)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    m_request += s->readAll();
                    if (!m_request.contains("\r\n\r\n"))
                        return;
                    s->write(m_reply);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/file").arg(serverPort()); }

private:
    QByteArray m_reply;
    QByteArray m_request;
};

QByteArray reply(const QByteArray &body, const QByteArray &headerLine)
{
    QByteArray r = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n";
    if (!headerLine.isEmpty())
        r += headerLine + "\r\n";
    return r + "\r\n" + body;
}

}

class TestDownloadFileThread : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QTemporaryDir m_root;
    QByteArray m_body;
    int m_n = 0;

    QString freshPath() { return m_tmp.filePath(QStringLiteral("f%1.bin").arg(++m_n)); }

    // Runs t to its end while the test's event loop keeps serving. Its
    // signals are recorded on this thread, in the order they were sent.
    static bool runToEnd(DownloadFileThread &t, QList<QPair<int, QString>> *progress = nullptr)
    {
        QObject receiver;
        QEventLoop loop;
        if (progress)
            connect(&t, &DownloadFileThread::progressUpdate, &receiver,
                    [progress](int p, const QString &s) { progress->append({p, s}); });
        connect(&t, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        t.start();
        loop.exec();
        return t.wait(10000);
    }

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QVERIFY(m_tmp.isValid() && m_root.isValid());
        // Big enough for several progress reports.
        m_body.resize(300000);
        for (int i = 0; i < m_body.size(); ++i)
            m_body[i] = char(i * 31 + (i >> 8));
        QVERIFY(TestUtil::writeFile(m_root.filePath(QStringLiteral("en-s.bin")), m_body));
    }

    void formatSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "0 B";
        QTest::newRow("1024") << qint64(1024) << "1024 B";
        QTest::newRow("1025") << qint64(1025) << "1 kB";
        QTest::newRow("1536") << qint64(1536) << "1 kB";
        QTest::newRow("1048576") << qint64(1048576) << "1024 kB";
        QTest::newRow("1048577") << qint64(1048577) << "1 M";
        QTest::newRow("1073741824") << qint64(1073741824) << "1024 M";
        QTest::newRow("1073741825") << qint64(1073741825) << "1 G";
        QTest::newRow("5 G") << (qint64(5) << 30) + 7 << "5 G";
    }
    void formatSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(DownloadFileThread::formatSize(bytes), text);
    }

    void checksum_data()
    {
        const QByteArray md5 = QCryptographicHash::hash("model bytes", QCryptographicHash::Md5).toHex();
        const QByteArray wrong = QCryptographicHash::hash("other bytes", QCryptographicHash::Md5).toHex();
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("err");
        QTest::newRow("matching") << "X-MD5SUM: " + md5 << "";
        QTest::newRow("upper-case digits") << "X-MD5SUM: " + md5.toUpper() << "";
        QTest::newRow("no header") << QByteArray() << "";
        QTest::newRow("empty value") << QByteArray("X-MD5SUM: ") << "";
        QTest::newRow("wrong") << "X-MD5SUM: " + wrong << "error: invalid md5sum.";
        // HTTP/2 lower-cases header names; the sum must still be checked.
        QTest::newRow("wrong, lower-case name") << "x-md5sum: " + wrong << "error: invalid md5sum.";
        QTest::newRow("matching, lower-case name") << "x-md5sum: " + md5 << "";
    }
    void checksum()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, err);

        CannedServer server(reply("model bytes", header));
        QVERIFY(server.isListening());
        Download t;
        const QString path = freshPath();
        t.setDownloadUrl(server.url());
        t.setSavePath(path);
        QVERIFY(runToEnd(t));

        QCOMPARE(t.lastErr(), err);
        QCOMPARE(t.hasErr(), !err.isEmpty());
        QCOMPARE(t.afterCalls, err.isEmpty() ? 1 : 0);
        QCOMPARE(QFile::exists(path), err.isEmpty());
        // A body that failed its check is not kept.
        QVERIFY(!QFile::exists(path + QStringLiteral(".downloading")));
        if (err.isEmpty())
            QCOMPARE(TestUtil::readFile(path), QByteArray("model bytes"));
    }

    void progress_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<bool>("sized");
        QTest::newRow("with length") << QStringList() << true;
        QTest::newRow("chunked") << QStringList{QStringLiteral("--chunked")} << false;
    }
    void progress()
    {
        QFETCH(QStringList, switches);
        QFETCH(bool, sized);

        ModelEndpointServer server(m_root.path());
        QVERIFY2(server.start(switches), qPrintable(server.errorText()));
        Download t;
        const QString path = freshPath();
        t.setDownloadUrl(server.baseUrl() + QStringLiteral("vdata.php?fn=en-s"));
        t.setSavePath(path);
        QList<QPair<int, QString>> spy;
        QVERIFY(runToEnd(t, &spy));
        QCOMPARE(t.lastErr(), QString());
        QCOMPARE(TestUtil::readFile(path), m_body);
        QVERIFY(!QFile::exists(path + QStringLiteral(".downloading")));

        QVERIFY(!spy.isEmpty());
        static const QRegularExpression status(QStringLiteral("^\\d+ (B|kB|M|G)/s - \\d+ (B|kB|M|G) of \\d+ (B|kB|M|G)$"));
        int last = -1;
        for (const auto &args : qAsConst(spy)) {
            const int p = args.first;
            QVERIFY2(status.match(args.second).hasMatch(), qPrintable(args.second));
            if (!sized) {
                // Without a known total there is no percentage.
                QCOMPARE(p, 0);
                QVERIFY(args.second.endsWith(QStringLiteral(" of 0 B")));
            }
            QVERIFY(p >= last && p <= 100);
            last = p;
        }
        if (sized) {
            QCOMPARE(last, 100);
            QVERIFY(spy.last().second.endsWith(QStringLiteral(" - 292 kB of 292 kB")));
        }
    }

    void transferFailures_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("err");
        QTest::newRow("404") << QStringList() << "fr-s" << curlErr(CURLE_HTTP_RETURNED_ERROR) + " (HTTP 404)";
        QTest::newRow("500") << QStringList{"--status", "500"} << "en-s"
                             << curlErr(CURLE_HTTP_RETURNED_ERROR) + " (HTTP 500)";
        QTest::newRow("closed port") << QStringList() << "" << curlErr(CURLE_COULDNT_CONNECT);
    }
    void transferFailures()
    {
        QFETCH(QStringList, switches);
        QFETCH(QString, key);
        QFETCH(QString, err);

        ModelEndpointServer server(m_root.path());
        QVERIFY2(server.start(switches), qPrintable(server.errorText()));
        Download t;
        const QString path = freshPath();
        t.setDownloadUrl(key.isEmpty() ? QStringLiteral("http://127.0.0.1:%1/").arg(ModelEndpointServer::closedPort())
                                       : server.baseUrl() + QStringLiteral("vdata.php?fn=") + key);
        t.setSavePath(path);
        QVERIFY(runToEnd(t));
        QVERIFY(t.hasErr());
        QCOMPARE(t.lastErr(), err);
        QCOMPARE(t.afterCalls, 0);
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(path + QStringLiteral(".downloading")));
    }

    void existingTargetSkipsTransfer()
    {
        ModelEndpointServer server(m_root.path());
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        Download t;
        const QString path = freshPath();
        QVERIFY(TestUtil::writeFile(path, "already here"));
        t.setDownloadUrl(server.baseUrl() + QStringLiteral("vdata.php?fn=en-s"));
        t.setSavePath(path);
        QVERIFY(runToEnd(t));
        QCOMPARE(t.afterCalls, 1);
        QVERIFY(!t.hasErr());
        QCOMPARE(TestUtil::readFile(path), QByteArray("already here"));
        QCOMPARE(server.requests(), QStringList());
    }

    void refusalEndsQuietly()
    {
        Download t;
        t.refuse = true;
        const QString path = freshPath();
        t.setSavePath(path);
        QVERIFY(runToEnd(t));
        QVERIFY(!t.hasErr());
        QCOMPARE(t.afterCalls, 0);
        QVERIFY(!QFile::exists(path + QStringLiteral(".downloading")));
    }

    void uncreatableTemporaryFile()
    {
        Download t;
        t.setDownloadUrl(QStringLiteral("http://127.0.0.1:%1/").arg(ModelEndpointServer::closedPort()));
        t.setSavePath(m_tmp.filePath(QStringLiteral("missing/folder/f.bin")));
        QVERIFY(runToEnd(t));
        QVERIFY(t.hasErr());
        QCOMPARE(t.lastErr(), QStringLiteral("create file failed. No such file or directory"));
    }

    // The target appears (as a folder) while the download runs.
    void renameFailure()
    {
        CannedServer server(reply("model bytes", QByteArray()));
        Download t;
        const QString path = freshPath();
        t.setDownloadUrl(server.url());
        t.setSavePath(path);
        connect(&t, &DownloadFileThread::progressUpdate, &t, [path] { QDir().mkpath(path + QStringLiteral("/x")); },
                Qt::DirectConnection);
        QVERIFY(runToEnd(t));
        QCOMPARE(t.lastErr(), QStringLiteral("rename file failed. %1.downloading").arg(path));
        QCOMPARE(t.afterCalls, 0);
    }

    void stalledServerGivesUp()
    {
        ModelEndpointServer server(m_root.path());
        QVERIFY2(server.start({QStringLiteral("--slow"), QStringLiteral("60")}), qPrintable(server.errorText()));
        const int saved = DownloadFileThread::stallSeconds();
        DownloadFileThread::setStallSeconds(1);
        Download t;
        t.setDownloadUrl(server.baseUrl() + QStringLiteral("vdata.php?fn=en-s"));
        t.setSavePath(freshPath());
        const bool ended = runToEnd(t);
        DownloadFileThread::setStallSeconds(saved);
        QVERIFY(ended);
        QCOMPARE(t.lastErr(), curlErr(CURLE_OPERATION_TIMEDOUT));
    }

    void interruptionStopsTransfer()
    {
        ModelEndpointServer server(m_root.path());
        QVERIFY2(server.start({QStringLiteral("--slow"), QStringLiteral("60")}), qPrintable(server.errorText()));
        Download t;
        const QString path = freshPath();
        t.setDownloadUrl(server.baseUrl() + QStringLiteral("vdata.php?fn=en-s"));
        t.setSavePath(path);
        t.start();
        QTRY_COMPARE(server.requests().size(), 1);
        QElapsedTimer timer;
        timer.start();
        t.requestInterruption();
        QVERIFY(t.wait(10000));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(t.lastErr(), curlErr(CURLE_ABORTED_BY_CALLBACK));
        QCOMPARE(t.afterCalls, 0);
        QVERIFY(!QFile::exists(path + QStringLiteral(".downloading")));
    }

    void settersSignalOnlyChanges()
    {
        DownloadFileThread t;
        QSignalSpy url(&t, &DownloadFileThread::downloadUrlChanged);
        QSignalSpy path(&t, &DownloadFileThread::savePathChanged);
        QSignalSpy has(&t, &DownloadFileThread::hasErrChanged);
        QSignalSpy err(&t, &DownloadFileThread::lastErrChanged);
        for (int i = 0; i < 2; ++i) {
            t.setDownloadUrl(QStringLiteral("u"));
            t.setSavePath(QStringLiteral("p"));
            t.setHasErr(true);
            t.setLastErr(QStringLiteral("e"));
        }
        QCOMPARE(url.count() + path.count() + has.count() + err.count(), 4);
        QCOMPARE(t.property("lastErr").toString(), QStringLiteral("e"));
    }
};

QTEST_GUILESS_MAIN(TestDownloadFileThread)
#include "tst_download_file_thread.moc"

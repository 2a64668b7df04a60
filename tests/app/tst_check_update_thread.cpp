#include "app/CheckUpdateThread.h"
#include "common/ModelEndpointServer.h"
#include "common/TestUtil.h"
#include "storage/LangDb.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

const QString checkRequest = QStringLiteral("GET /check_update.php?pid=kalvinor_audio2text_win&ver=5&q=1");

// Runs one check to its end and returns the change signals in the order they
// were emitted.
QStringList runCheck(CheckUpdateThread &check)
{
    std::mutex mutex;
    QStringList order;
    QObject::connect(&check, &CheckUpdateThread::downloadUrlChanged, &check, [&] {
        std::lock_guard<std::mutex> lock(mutex);
        order << QStringLiteral("downloadUrl");
    }, Qt::DirectConnection);
    QObject::connect(&check, &CheckUpdateThread::requireUpdateChanged, &check, [&] {
        std::lock_guard<std::mutex> lock(mutex);
        order << QStringLiteral("requireUpdate");
    }, Qt::DirectConnection);
    check.start();
    if (!check.wait(60000))
        return {QStringLiteral("did not finish")};
    std::lock_guard<std::mutex> lock(mutex);
    return order;
}

}

class TestCheckUpdateThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void builtInEndpointsUseHttps();
    void reply_data();
    void reply();
    void unreachableEndpoint();
    void stalledEndpoint();
    void exitAppEndsProcessAtOnce();
};

void TestCheckUpdateThread::initTestCase()
{
    TestUtil::requireSandboxedHome();
}

void TestCheckUpdateThread::builtInEndpointsUseHttps()
{
    QVERIFY(CheckUpdateThread::updateEndpoint().startsWith(QLatin1String("https://")));
    QVERIFY(CheckUpdateThread::updateEndpoint().endsWith(QLatin1Char('/')));
    QVERIFY(LangDb::modelEndpoint().startsWith(QLatin1String("https://")));
    QCOMPARE(CheckUpdateThread::checkUrl(),
             CheckUpdateThread::updateEndpoint() + QStringLiteral("check_update.php?pid=kalvinor_audio2text_win&ver=5&q=1"));
}

void TestCheckUpdateThread::reply_data()
{
    QTest::addColumn<QByteArray>("body"); // null: no such file on the server
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<bool>("requireUpdate");
    QTest::addColumn<QString>("downloadUrl");

    QTest::newRow("empty") << QByteArray("") << QStringList() << false << "";
    QTest::newRow("error page") << QByteArray("<html><body>Not Found</body></html>") << QStringList() << false << "";
    QTest::newRow("404 page that mentions /download/") << QByteArray() << QStringList{"--html404"} << false << "";
    QTest::newRow("other case") << QByteArray("https://www.kalvinor.com/DOWNLOAD/") << QStringList() << false << "";
    QTest::newRow("address") << QByteArray("https://www.kalvinor.com/download/") << QStringList() << true
                             << "https://www.kalvinor.com/download/";
    QTest::newRow("inside a longer address")
        << QByteArray("http://dl.kalvinor.com/software/download/setup.exe?pid=kalvinor_audio2text_win&v=6")
        << QStringList() << true
        << "http://dl.kalvinor.com/software/download/setup.exe?pid=kalvinor_audio2text_win&v=6";
    QTest::newRow("line breaks trimmed") << QByteArray(" https://www.kalvinor.com/download/\r\n") << QStringList()
                                         << true << "https://www.kalvinor.com/download/";
    // Only a web address announces a newer version, and only it is opened.
    QTest::newRow("prose") << QByteArray("Please get it from https://www.kalvinor.com/download/ now") << QStringList()
                           << false << "";
    QTest::newRow("local file") << QByteArray("file:///download/setup.exe") << QStringList() << false << "";
    QTest::newRow("script") << QByteArray("javascript:alert(1)//download/") << QStringList() << false << "";
    QTest::newRow("no host") << QByteArray("https:///download/") << QStringList() << false << "";
}

void TestCheckUpdateThread::reply()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, switches);
    QFETCH(bool, requireUpdate);
    QFETCH(QString, downloadUrl);

    QTemporaryDir root;
    if (!body.isNull())
        QVERIFY(TestUtil::writeFile(root.filePath(QStringLiteral("check_update.php")), body));
    ModelEndpointServer server(root.path());
    QVERIFY2(server.start(switches), qPrintable(server.errorText()));
    CheckUpdateThread::setUpdateEndpoint(server.baseUrl());

    CheckUpdateThread check;
    const QStringList order = runCheck(check);
    QCOMPARE(check.requireUpdate(), requireUpdate);
    QCOMPARE(check.downloadUrl(), downloadUrl);
    QCOMPARE(order, requireUpdate ? (QStringList{"downloadUrl", "requireUpdate"}) : QStringList());
    QCOMPARE(server.requests(), QStringList{checkRequest});
}

void TestCheckUpdateThread::unreachableEndpoint()
{
    CheckUpdateThread::setUpdateEndpoint(
        QStringLiteral("http://127.0.0.1:%1").arg(ModelEndpointServer::closedPort()));
    CheckUpdateThread check;
    QCOMPARE(runCheck(check), QStringList());
    QVERIFY(!check.requireUpdate());
    QCOMPARE(check.downloadUrl(), QString());
}

void TestCheckUpdateThread::stalledEndpoint()
{
    // A server that accepts the request and then hardly answers must not keep
    // the check alive: the whole request has a time limit.
    QTemporaryDir root;
    QVERIFY(TestUtil::writeFile(root.filePath(QStringLiteral("check_update.php")),
                                "https://www.kalvinor.com/download/"));
    ModelEndpointServer server(root.path());
    QVERIFY2(server.start({"--slow", "60"}), qPrintable(server.errorText()));
    CheckUpdateThread::setUpdateEndpoint(server.baseUrl());
    const int saved = CheckUpdateThread::requestTimeout();
    CheckUpdateThread::setRequestTimeout(1);
    auto restore = qScopeGuard([saved] { CheckUpdateThread::setRequestTimeout(saved); });

    CheckUpdateThread check;
    QCOMPARE(runCheck(check), QStringList());
    QVERIFY(!check.requireUpdate());
    QCOMPARE(server.requests(), QStringList{checkRequest});
}

void TestCheckUpdateThread::exitAppEndsProcessAtOnce()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--exit-app-child")});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    // Neither destructors nor exit handlers ran after the call.
    QCOMPARE(child.readAllStandardOutput(), QByteArray("before\n"));
}

namespace {

struct LoudDestructor
{
    ~LoudDestructor() { std::puts("destructor"); }
};

int exitAppChild(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::atexit([] { std::puts("atexit"); });
    LoudDestructor loud;
    std::puts("before");
    std::fflush(stdout);
    CheckUpdateThread check;
    check.exitApp();
    std::puts("returned");
    return 3;
}

}

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--exit-app-child") == 0)
        return exitAppChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestCheckUpdateThread test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_check_update_thread.moc"

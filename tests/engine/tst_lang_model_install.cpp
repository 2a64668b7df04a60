#include "common/ArchiveWriter.h"
#include "common/ModelEndpointServer.h"
#include "common/ProjectDbAccess.h"
#include "common/TestUtil.h"
#include "engine/LangModelInstallThread.h"
#include "engine/LangModelInstallThreadMgr.h"
#include "storage/LangDb.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <curl/curl.h>

#include <memory>

using ArchiveWriter::Entry;

namespace {

const QString modelFolder = QStringLiteral("vosk-model-test");

QString urlOf(const QString &path)
{
    return QUrl::fromLocalFile(path).toString();
}

}

class TestLangModelInstall : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    int m_n = 0;
    std::unique_ptr<ModelEndpointServer> m_server;
    QString m_serverRoot;
    QString m_place; // the folder the user picks, inside m_base
    QString m_base;

    // A fresh server folder and install folder for every test.
    void fresh()
    {
        ++m_n;
        m_serverRoot = m_tmp.filePath(QStringLiteral("srv%1").arg(m_n));
        m_base = m_tmp.filePath(QStringLiteral("user%1").arg(m_n));
        m_place = m_base + QStringLiteral("/models");
        QDir().mkpath(m_serverRoot);
        QDir().mkpath(m_base);
        m_server.reset(new ModelEndpointServer(m_serverRoot));
    }

    bool startServer(const QStringList &switches = {})
    {
        if (!m_server->start(switches)) {
            qWarning() << m_server->errorText();
            return false;
        }
        LangDb::setModelEndpoint(m_server->baseUrl());
        return true;
    }

    static bool writeModelArchive(const QString &path, const QString &format)
    {
        return ArchiveWriter::write(path, format, ArchiveWriter::folderEntries(ArchiveWriter::testModelDir(), modelFolder));
    }

    static QString installed(const QString &key) { return LangDb::instance()->modelPath(key); }

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QVERIFY(m_tmp.isValid());
        // The catalogue is opened on the GUI thread before any installer runs.
        QVERIFY(LangDb::instance()->lastErr().isEmpty());
    }

    void init()
    {
        fresh();
        for (const QString key : {QStringLiteral("en-s"), QStringLiteral("de-s"), QStringLiteral("en-h")})
            LangDb::instance()->setLocalPath(key, QString());
    }

    void fullInstall_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("key");
        QTest::newRow("zip") << "zip" << "en-s";
        QTest::newRow("tar.gz") << "tar.gz" << "de-s";
        QTest::newRow("large model") << "zip" << "en-h";
    }
    void fullInstall()
    {
        QFETCH(QString, format);
        QFETCH(QString, key);
        QVERIFY(writeModelArchive(m_serverRoot + QLatin1Char('/') + key + QLatin1Char('.') + format, format));
        QVERIFY(startServer());

        LangModelInstallThreadMgr mgr;
        QSignalSpy progress(&mgr, &LangModelInstallThreadMgr::progressUpdate);
        QSignalSpy finished(&mgr, &LangModelInstallThreadMgr::finished);
        mgr.beginInstall(key, urlOf(m_place));
        QVERIFY(mgr.isRunning(key));
        QVERIFY(finished.wait(30000));

        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0), (QVariantList{key, true, QString()}));
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toString(), key);
        QCOMPARE(progress.last().at(1).toInt(), 100);
        QTRY_VERIFY(!mgr.isRunning(key));
        QCOMPARE(mgr.lastErr(key), QString());

        const QString folder = m_place + QLatin1Char('/') + modelFolder;
        QCOMPARE(installed(key), folder);
        QVERIFY(LangDb::instance()->isInstalled(key));
        QCOMPARE(TestUtil::fileTree(folder), TestUtil::fileTree(ArchiveWriter::testModelDir()));
        // The downloaded archive is gone, and nothing else was left behind.
        QCOMPARE(TestUtil::fileTree(m_place), QStringList(modelFolder) + [&] {
            QStringList l;
            for (const QString &p : TestUtil::fileTree(folder))
                l << modelFolder + QLatin1Char('/') + p;
            return l;
        }());
        QCOMPARE(m_server->requests(), QStringList(QStringLiteral("GET /vdata.php?fn=") + key));
    }

    // Archives already on disk are used without a request and kept.
    void localArchive_data()
    {
        QTest::addColumn<bool>("chosenDirectly");
        QTest::newRow("key.zip in the folder") << false;
        QTest::newRow("archive chosen directly") << true;
    }
    void localArchive()
    {
        QFETCH(bool, chosenDirectly);
        QVERIFY(startServer());
        const QString archive = chosenDirectly ? m_base + QStringLiteral("/downloads/model.tar.gz")
                                               : m_place + QStringLiteral("/en-s.zip");
        QDir().mkpath(QFileInfo(archive).path());
        QVERIFY(writeModelArchive(archive, chosenDirectly ? QStringLiteral("tar.gz") : QStringLiteral("zip")));

        LangModelInstallThreadMgr mgr;
        QSignalSpy finished(&mgr, &LangModelInstallThreadMgr::finished);
        mgr.beginInstall(QStringLiteral("en-s"), urlOf(chosenDirectly ? archive : m_place));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.at(0), (QVariantList{QStringLiteral("en-s"), true, QString()}));
        QCOMPARE(installed(QStringLiteral("en-s")), QFileInfo(archive).path() + QLatin1Char('/') + modelFolder);
        QVERIFY(QFile::exists(archive));
        QCOMPARE(m_server->requests(), QStringList());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("archive");  // what the server holds for en-s
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("place");    // "" for the usual folder
        QTest::addColumn<QString>("err");

        const QString http = QStringLiteral("error: CURL: ") + QString::fromUtf8(curl_easy_strerror(CURLE_HTTP_RETURNED_ERROR));
        QTest::newRow("wrong checksum") << "model" << QStringList{"--md5", "wrong"} << "en-s" << ""
                                        << "error: invalid md5sum.";
        QTest::newRow("not on the server") << "model" << QStringList() << "de-s" << "" << http + " (HTTP 404)";
        QTest::newRow("unwritable folder") << "model" << QStringList() << "en-s" << "under-a-file"
                                           << "create file failed. ";
        QTest::newRow("no key") << "model" << QStringList() << "en" << "" << "invalid url.";
        QTest::newRow("bad size letter") << "model" << QStringList() << "en-x" << "" << "invalid url.";
        QTest::newRow("not a URL") << "model" << QStringList() << "en-s" << "not a url" << "invalid path.";
        QTest::newRow("garbage archive") << "garbage" << QStringList() << "en-s" << ""
                                         << "IDS_INVALID_LANG_MODEL_FILE";
        QTest::newRow("first entry a file") << "file first" << QStringList() << "en-s" << ""
                                            << "IDS_INVALID_LANG_MODEL_FILE";
        // Entry 7 is the graph folder: the transfer drops between two entries,
        // with neither length nor checksum to tell.
        QTest::newRow("cut between entries") << "model tar" << QStringList{"--cut-tar", "7", "--md5", "missing"}
                                             << "en-s" << "" << "IDS_INVALID_LANG_MODEL_FILE";
        QTest::newRow("hard link out of the model") << "hard link" << QStringList() << "en-s" << ""
                                                    << "IDS_INVALID_LANG_MODEL_FILE";
    }
    void failures()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, switches);
        QFETCH(QString, key);
        QFETCH(QString, place);
        QFETCH(QString, err);

        const QString served = m_serverRoot + QStringLiteral("/en-s.zip");
        const QString servedTar = m_serverRoot + QStringLiteral("/en-s.tar");
        auto model = ArchiveWriter::folderEntries(ArchiveWriter::testModelDir(), modelFolder);
        if (archive == QLatin1String("model"))
            QVERIFY(writeModelArchive(served, QStringLiteral("zip")));
        else if (archive == QLatin1String("model tar"))
            QVERIFY(writeModelArchive(servedTar, QStringLiteral("tar")));
        else if (archive == QLatin1String("hard link"))
            QVERIFY(ArchiveWriter::write(servedTar, QStringLiteral("tar"),
                                         model << Entry{modelFolder + "/copy", Entry::Hardlink, {}, "../../etc/passwd"}));
        else if (archive == QLatin1String("garbage"))
            QVERIFY(TestUtil::writeFile(served, QByteArray("no archive here\n").repeated(100)));
        else
            QVERIFY(ArchiveWriter::write(served, QStringLiteral("zip"),
                                         {{"README", Entry::File, "x", {}}, {"m/", Entry::Dir, {}, {}}}));
        QVERIFY(startServer(switches));

        QString url = urlOf(m_place);
        if (place == QLatin1String("under-a-file")) {
            QVERIFY(TestUtil::writeFile(m_base + QStringLiteral("/file"), "x"));
            url = urlOf(m_base + QStringLiteral("/file/models"));
        } else if (!place.isEmpty()) {
            url = place;
        }

        LangModelInstallThreadMgr mgr;
        QSignalSpy finished(&mgr, &LangModelInstallThreadMgr::finished);
        mgr.beginInstall(key, url);
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toString(), key);
        QCOMPARE(finished.at(0).at(1).toBool(), false);
        const QString got = finished.at(0).at(2).toString();
        QVERIFY2(err.endsWith(QLatin1String(". ")) ? got.startsWith(err) : got == err, qPrintable(got));
        QTRY_VERIFY(!mgr.isRunning(key));
        QCOMPARE(mgr.lastErr(key), got);

        // The catalogue keeps its earlier state, and the folder holds nothing
        // of the attempt: no partial download, no archive that failed, no
        // half-unpacked model.
        for (const QString k : {QStringLiteral("en-s"), QStringLiteral("de-s")})
            QCOMPARE(installed(k), QString());
        QCOMPARE(TestUtil::fileTree(m_place), QStringList());
    }

    // The model was unpacked, but the catalogue could not record it.
    void catalogueWriteFailure()
    {
        QVERIFY(writeModelArchive(m_serverRoot + QStringLiteral("/en-s.zip"), QStringLiteral("zip")));
        QVERIFY(startServer());
        auto raw = TestUtil::openRaw(userDataDir().absoluteFilePath(QStringLiteral("lang.db")), QByteArray());
        QVERIFY(raw);
        raw->run("create trigger refuse before update of local1 on lang begin select raise(abort, 'disk full'); end");
        auto drop = qScopeGuard([&] { raw->run("drop trigger refuse"); });

        LangModelInstallThreadMgr mgr;
        QSignalSpy finished(&mgr, &LangModelInstallThreadMgr::finished);
        mgr.beginInstall(QStringLiteral("en-s"), urlOf(m_place));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.at(0), (QVariantList{QStringLiteral("en-s"), false, QStringLiteral("disk full")}));
        QCOMPARE(installed(QStringLiteral("en-s")), QString());
        // The sound archive stays for the next attempt; the model goes.
        QCOMPARE(TestUtil::fileTree(m_place), QStringList{"en-s"});
    }

    void failedArchiveIsDownloadedAgain()
    {
        const QString served = m_serverRoot + QStringLiteral("/en-s.zip");
        QVERIFY(TestUtil::writeFile(served, "garbage"));
        QVERIFY(startServer());
        LangModelInstallThreadMgr mgr;
        QSignalSpy finished(&mgr, &LangModelInstallThreadMgr::finished);
        mgr.beginInstall(QStringLiteral("en-s"), urlOf(m_place));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.last().at(1).toBool(), false);

        QVERIFY(writeModelArchive(served, QStringLiteral("zip")));
        QTRY_VERIFY(!mgr.isRunning(QStringLiteral("en-s")));
        mgr.beginInstall(QStringLiteral("en-s"), urlOf(m_place));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.last(), (QVariantList{QStringLiteral("en-s"), true, QString()}));
        // The replacement reports its own state.
        QCOMPARE(mgr.lastErr(QStringLiteral("en-s")), QString());
        QCOMPARE(m_server->requests().size(), 2);
        QCOMPARE(installed(QStringLiteral("en-s")), m_place + QLatin1Char('/') + modelFolder);
    }

    void hostileArchiveStaysInside()
    {
        QList<Entry> entries = ArchiveWriter::folderEntries(ArchiveWriter::testModelDir(), QStringLiteral("m"));
        entries << Entry{"../evil", Entry::File, "x", {}} << Entry{"m/../../../evil2", Entry::File, "x", {}}
                << Entry{m_base + QStringLiteral("/abs-evil"), Entry::File, "x", {}}
                << Entry{"m/up", Entry::Symlink, {}, "../.."} << Entry{"m/up/evil3", Entry::File, "x", {}}
                << Entry{".bashrc", Entry::File, "evil4", {}} << Entry{".ssh/authorized_keys", Entry::File, "evil5", {}}
                << Entry{"m/copy", Entry::Hardlink, {}, "m/README"};
        QVERIFY(ArchiveWriter::write(m_serverRoot + QStringLiteral("/en-s.tar.gz"), QStringLiteral("tar.gz"), entries));
        QVERIFY(startServer());

        LangModelInstallThreadMgr mgr;
        QSignalSpy finished(&mgr, &LangModelInstallThreadMgr::finished);
        mgr.beginInstall(QStringLiteral("en-s"), urlOf(m_place));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.at(0), (QVariantList{QStringLiteral("en-s"), true, QString()}));
        QStringList expected{"models", "models/m", "models/m/copy", "models/m/up", "models/m/up/evil3"};
        for (const QString &p : TestUtil::fileTree(ArchiveWriter::testModelDir()))
            expected << QStringLiteral("models/m/") + p;
        expected.sort();
        QCOMPARE(TestUtil::fileTree(m_base), expected);
        QVERIFY(!QFileInfo(m_place + QStringLiteral("/m/up")).isSymLink());
        QCOMPARE(TestUtil::readFile(m_place + QStringLiteral("/m/copy")),
                 TestUtil::readFile(ArchiveWriter::testModelDir() + QStringLiteral("/README")));
        QCOMPARE(TestUtil::fileTree(m_tmp.path()).filter(QStringLiteral("evil")).size(), 1);
    }

    void secondInstallWhileRunningIsIgnored()
    {
        QVERIFY(writeModelArchive(m_serverRoot + QStringLiteral("/en-s.zip"), QStringLiteral("zip")));
        QVERIFY(startServer({QStringLiteral("--slow"), QStringLiteral("0.5")}));
        LangModelInstallThreadMgr mgr;
        QSignalSpy finished(&mgr, &LangModelInstallThreadMgr::finished);
        mgr.beginInstall(QStringLiteral("en-s"), urlOf(m_place));
        mgr.beginInstall(QStringLiteral("en-s"), urlOf(m_base + QStringLiteral("/elsewhere")));
        QVERIFY(finished.wait(30000));
        QTRY_VERIFY(!mgr.isRunning(QStringLiteral("en-s")));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(!QFile::exists(m_base + QStringLiteral("/elsewhere")));
        QCOMPARE(installed(QStringLiteral("en-s")), m_place + QLatin1Char('/') + modelFolder);
    }

    void keysRunSideBySide()
    {
        QVERIFY(writeModelArchive(m_serverRoot + QStringLiteral("/en-s.zip"), QStringLiteral("zip")));
        QVERIFY(writeModelArchive(m_serverRoot + QStringLiteral("/de-s.tar.gz"), QStringLiteral("tar.gz")));
        QVERIFY(startServer());
        LangModelInstallThreadMgr mgr;
        QSignalSpy finished(&mgr, &LangModelInstallThreadMgr::finished);
        mgr.beginInstall(QStringLiteral("en-s"), urlOf(m_place + QStringLiteral("/en")));
        mgr.beginInstall(QStringLiteral("de-s"), urlOf(m_place + QStringLiteral("/de")));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
        QStringList keys{finished.at(0).at(0).toString(), finished.at(1).at(0).toString()};
        keys.sort();
        QCOMPARE(keys, (QStringList{"de-s", "en-s"}));
        QVERIFY(finished.at(0).at(1).toBool() && finished.at(1).at(1).toBool());
        QCOMPARE(installed(QStringLiteral("de-s")), m_place + QStringLiteral("/de/") + modelFolder);
        QCOMPARE(installed(QStringLiteral("en-s")), m_place + QStringLiteral("/en/") + modelFolder);
    }

    void destroyingManagerStopsDownload()
    {
        QVERIFY(writeModelArchive(m_serverRoot + QStringLiteral("/en-s.zip"), QStringLiteral("zip")));
        QVERIFY(startServer({QStringLiteral("--slow"), QStringLiteral("60")}));
        auto *mgr = new LangModelInstallThreadMgr;
        QSignalSpy finished(mgr, &LangModelInstallThreadMgr::finished);
        mgr->beginInstall(QStringLiteral("en-s"), urlOf(m_place));
        QTRY_COMPARE(m_server->requests().size(), 1);
        QVERIFY(mgr->isRunning(QStringLiteral("en-s")));

        QElapsedTimer timer;
        timer.start();
        delete mgr;
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(installed(QStringLiteral("en-s")), QString());
        QVERIFY(!QFile::exists(m_place + QStringLiteral("/en-s")));
        QCoreApplication::processEvents();
        QCOMPARE(finished.count(), 0);
    }

    void lastErrOfUnknownKeyIsEmpty()
    {
        LangModelInstallThreadMgr mgr;
        QCOMPARE(mgr.lastErr(QStringLiteral("en-s")), QString());
        QVERIFY(!mgr.isRunning(QStringLiteral("en-s")));
    }

    void extractionProgress_data()
    {
        QTest::addColumn<qlonglong>("cur");
        QTest::addColumn<qlonglong>("total");
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("progress");
        QTest::newRow("half") << 50LL << 100LL << 1 << 50;
        QTest::newRow("truncated") << 2LL << 3LL << 1 << 66;
        QTest::newRow("no total") << 5LL << 0LL << 0 << -1;
    }
    void extractionProgress()
    {
        QFETCH(qlonglong, cur);
        QFETCH(qlonglong, total);
        QFETCH(int, reports);
        QFETCH(int, progress);
        LangModelInstallThread t;
        QSignalSpy spy(&t, &DownloadFileThread::progressUpdate);
        QVERIFY(QMetaObject::invokeMethod(&t, "unzipProgressUpdate", Q_ARG(qlonglong, cur), Q_ARG(qlonglong, total),
                                          Q_ARG(QString, QStringLiteral("final.mdl"))));
        QCOMPARE(spy.count(), reports);
        if (reports)
            QCOMPARE(spy.at(0), (QVariantList{progress, QStringLiteral("UNCOMPRESSING...")}));
    }
};

QTEST_GUILESS_MAIN(TestLangModelInstall)
#include "tst_lang_model_install.moc"

// Entering and leaving a project through ProjectsMgr.
#include <QtTest>

#include "common/TestUtil.h"
#include "engine/VoskApi.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "storage/LangDb.h"

class TestProjectEntering : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void enterRefusesFoldersWithoutManifest_data();
    void enterRefusesFoldersWithoutManifest();
    void enteringAnotherReleasesTheFirst();
    void leavingClosesTheDatabase();
    void leavingWithoutProjectDoesNothing();

private:
    QString makeProject(ProjectsMgr &mgr, const QString &name);
    QTemporaryDir tmp;
};

void TestProjectEntering::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(tmp.isValid());
    vosk_set_log_level(-1);
    LangDb::instance()->setLocalPath(QStringLiteral("en-s"), QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test"));
}

QString TestProjectEntering::makeProject(ProjectsMgr &mgr, const QString &name)
{
    return mgr.createProject(name, QUrl::fromLocalFile(tmp.path()).toString(), QStringLiteral("en-s"), 0.5);
}

void TestProjectEntering::enterRefusesFoldersWithoutManifest_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("empty") << QString();
    QTest::newRow("not a file url") << QStringLiteral("relative/folder");
    QTest::newRow("missing folder") << QUrl::fromLocalFile(QStringLiteral("/no/such/project")).toString();
    QTest::newRow("folder without manifest") << QUrl::fromLocalFile(QDir::homePath()).toString();
}

void TestProjectEntering::enterRefusesFoldersWithoutManifest()
{
    QFETCH(QString, url);
    ProjectsMgr mgr;
    QVERIFY(mgr.enterProject(makeProject(mgr, QStringLiteral("kept"))));
    QPointer<ProjectMainController> held = mgr.cp();
    held->start(ProjectMainController::Record);
    QCOMPARE(held->isStarting(), 1);

    QSignalSpy cp(&mgr, &ProjectsMgr::cpChanged);
    QSignalSpy err(&mgr, &ProjectsMgr::lastErrChanged);
    QVERIFY(!mgr.enterProject(url));
    QCOMPARE(mgr.lastErr(), QStringLiteral("invalid project."));
    QCOMPARE(err.count(), 1);
    QCOMPARE(cp.count(), 0);
    QCOMPARE(mgr.cp(), held.data());
    // The held controller was not stopped.
    QCOMPARE(held->isStarting(), 1);
    held->stop();
}

void TestProjectEntering::enteringAnotherReleasesTheFirst()
{
    ProjectsMgr mgr;
    const QString a = makeProject(mgr, QStringLiteral("a")), b = makeProject(mgr, QStringLiteral("b"));
    QVERIFY(mgr.enterProject(a));
    QPointer<ProjectMainController> first = mgr.cp();
    QVERIFY(first);
    QCOMPARE(first->parent(), &mgr);
    QCOMPARE(first->projectName(), QStringLiteral("a"));
    QString err;
    QVERIFY(first->init(err));

    // The old controller is stopped before the new one exists.
    QList<ProjectMainController *> seen;
    bool firstWasRunning = true;
    connect(&mgr, &ProjectsMgr::cpChanged, this, [&] {
        seen << mgr.cp();
        if (!mgr.cp())
            firstWasRunning = first && (first->isStarting() || first->isRunning());
    });
    QSignalSpy firstStarted(first.data(), &ProjectMainController::started);
    first->startRecord();
    QVERIFY(mgr.enterProject(b));
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.at(0), nullptr);
    QVERIFY(seen.at(1) && seen.at(1) != first.data());
    QVERIFY(!firstWasRunning);
    QCOMPARE(mgr.cp()->projectName(), QStringLiteral("b"));
    // Released from the event loop; its model report never starts a run.
    QTRY_VERIFY(first.isNull());
    QCOMPARE(firstStarted.count(), 0);
}

void TestProjectEntering::leavingClosesTheDatabase()
{
    ProjectsMgr mgr;
    QVERIFY(mgr.enterProject(makeProject(mgr, QStringLiteral("left"))));
    QPointer<ProjectMainController> c = mgr.cp();
    QString err;
    QVERIFY(c->init(err));
    // A model still holds the database: closing it must reach that holder too.
    const QSharedPointer<VoskProDb> db = c->db;
    QVERIFY(db->isOpen());
    QSignalSpy cp(&mgr, &ProjectsMgr::cpChanged);
    mgr.existProject();
    QCOMPARE(cp.count(), 1);
    QVERIFY(!mgr.cp());
    QVERIFY(!db->isOpen());
    QTRY_VERIFY(c.isNull());
}

void TestProjectEntering::leavingWithoutProjectDoesNothing()
{
    ProjectsMgr mgr;
    QSignalSpy cp(&mgr, &ProjectsMgr::cpChanged);
    mgr.existProject();
    QCOMPARE(cp.count(), 0);
    // Leaving a project whose database never opened.
    QVERIFY(mgr.enterProject(makeProject(mgr, QStringLiteral("unopened"))));
    mgr.existProject();
    QCOMPARE(cp.count(), 2);
    QVERIFY(!mgr.cp());
}

QTEST_GUILESS_MAIN(TestProjectEntering)
#include "tst_project_entering.moc"

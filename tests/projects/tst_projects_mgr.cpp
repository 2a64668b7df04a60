#include "common/TestUtil.h"
#include "projects/JsonFile.h"
#include "projects/ProjectsMgr.h"
#include "projects/RecentProjectsDb.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

class TestProjectsMgr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestUtil::requireSandboxedHome(); }

    void defaultRootIsCreatedUnderHome()
    {
        ProjectsMgr mgr;
        const QString url = mgr.defaultRootUrl();
        const QString path = QDir::home().absoluteFilePath("kalvinor-audio2text-projects");
        QCOMPARE(url, QUrl::fromLocalFile(path).toString());
        QVERIFY(QFileInfo(path).isDir());
    }

    void createWritesExactManifest()
    {
        QTemporaryDir dir;
        ProjectsMgr mgr;
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const QString url = mgr.createProject("Meeting", QUrl::fromLocalFile(dir.path()).toString(), "de-h", 0.5);
        const QString folder = QDir(dir.path()).absoluteFilePath("Meeting");
        QCOMPARE(url, QUrl::fromLocalFile(folder).toString());

        const QByteArray bytes = TestUtil::readFile(QDir(folder).absoluteFilePath("manifest"));
        const QRegularExpression re("^\\{\n    \"created\": (\\d+),\n    \"lang\": \"de-h\",\n"
                                    "    \"name\": \"Meeting\",\n    \"srate\": 0.5\n\\}\n$");
        const QRegularExpressionMatch m = re.match(QString::fromUtf8(bytes));
        QVERIFY2(m.hasMatch(), bytes.constData());
        const qint64 created = m.captured(1).toLongLong();
        QVERIFY(created >= before && created <= QDateTime::currentSecsSinceEpoch());
        QVERIFY(mgr.lastErr().isEmpty());

        // Registered in the recent-projects catalogue.
        bool listed = false;
        for (const RecentProjectRow &r : RecentProjectsDb::instance().list())
            listed = listed || r.path == folder;
        QVERIFY(listed);
    }

    void folderNames_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("folders");
        QTest::newRow("clash") << QStringList({ "Name", "Name", "Name" })
                               << QStringList({ "Name", "Name(1)", "Name(2)" });
        QTest::newRow("unsafe") << QStringList({ "a/b:c" }) << QStringList({ "a%2fb%3ac" });
        QTest::newRow("reserved") << QStringList({ "con" }) << QStringList({ "%63%6f%6e" });
    }

    void folderNames()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, folders);
        QTemporaryDir dir;
        ProjectsMgr mgr;
        for (int i = 0; i < names.size(); ++i) {
            const QString url = mgr.createProject(names[i], QUrl::fromLocalFile(dir.path()).toString(), "en-s", 0.3);
            const QString folder = QDir(dir.path()).absoluteFilePath(folders[i]);
            QCOMPARE(QUrl(url).toLocalFile(), folder);
            // The manifest keeps the name as entered.
            QCOMPARE(readJsonFile(QDir(folder).absoluteFilePath("manifest")).value("name").toString(), names[i]);
        }
    }

    void rootThatIsAFileFails()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("plain.txt");
        QVERIFY(TestUtil::writeFile(file, "x"));
        ProjectsMgr mgr;
        QSignalSpy spy(&mgr, &ProjectsMgr::lastErrChanged);
        QCOMPARE(mgr.createProject("P", QUrl::fromLocalFile(file).toString(), "en-s", 0.5), QString());
        QCOMPARE(mgr.lastErr(), QStringLiteral("create project %1 failed.").arg(QDir(file).absoluteFilePath("P")));
        QCOMPARE(spy.count(), 1);
        // The same failure again changes nothing and emits nothing.
        mgr.createProject("P", QUrl::fromLocalFile(file).toString(), "en-s", 0.5);
        QCOMPARE(spy.count(), 1);
    }

    void rootThatIsNoLocalFolderFails_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("err");
        QTest::newRow("empty") << QString() << "create project P failed.";
        QTest::newRow("web") << "https://example.org/x" << "create project https://example.org/x/P failed.";
        QTest::newRow("relative") << "file:rel" << "create project file:rel/P failed.";
    }

    void rootThatIsNoLocalFolderFails()
    {
        QFETCH(QString, root);
        QFETCH(QString, err);
        const QString cwdProject = QDir::current().absoluteFilePath("P");
        ProjectsMgr mgr;
        QCOMPARE(mgr.createProject("P", root, "en-s", 0.5), QString());
        QCOMPARE(mgr.lastErr(), err);
        QVERIFY(!QFileInfo::exists(cwdProject));
    }

    void touchMovesTheProjectUp()
    {
        QTemporaryDir dir;
        ProjectsMgr mgr;
        const QString a = QUrl(mgr.createProject("A", QUrl::fromLocalFile(dir.path()).toString(), "en-s", 0.5)).toLocalFile();
        const QString b = QUrl(mgr.createProject("B", QUrl::fromLocalFile(dir.path()).toString(), "en-s", 0.5)).toLocalFile();
        RecentProjectsDb &db = RecentProjectsDb::instance();
        Sqlite3Query old("update projects set dt=(case when path=? then 1 else 2 end) where path in (?, ?)");
        old.bindText(a);
        old.bindText(a);
        old.bindText(b);
        db.run(old);
        QCOMPARE(db.list().first().path, b);
        mgr.touchProject(a);
        QCOMPARE(db.list().first().path, a);
        QVERIFY(mgr.hasLoopBackDevices());
    }
};

QTEST_GUILESS_MAIN(TestProjectsMgr)
#include "tst_projects_mgr.moc"

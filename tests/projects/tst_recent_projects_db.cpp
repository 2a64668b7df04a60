#include "common/TestUtil.h"
#include "projects/RecentProjectsDb.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Makes a folder that counts as a project.
static QString makeProject(const QDir &root, const QString &name)
{
    const QString path = root.absoluteFilePath(name);
    TestUtil::writeFile(QDir(path).absoluteFilePath("manifest"), "{}");
    return path;
}

static QStringList paths(const QList<RecentProjectRow> &rows)
{
    QStringList out;
    for (const RecentProjectRow &r : rows)
        out << r.path;
    return out;
}

static void setDt(RecentProjectsDb &db, qint64 id, qint64 dt)
{
    Sqlite3Query q("update projects set dt=? where id=?");
    q.bindInt64(dt);
    q.bindInt64(id);
    db.run(q);
}

static qint64 dtOf(RecentProjectsDb &db, const QString &path)
{
    Sqlite3Query q("select dt from projects where path=?");
    q.bindText(path);
    Sqlite3Cursor c = db.select(q);
    return c.next() ? c.getInt64(0) : -1;
}

static int rawCount(RecentProjectsDb &db)
{
    Sqlite3Cursor c = db.select("select count(*) from projects");
    return c.next() ? c.getInt(0) : -1;
}

class TestRecentProjectsDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestUtil::requireSandboxedHome(); }

    void newFileGetsExactSchema()
    {
        QTemporaryDir dir;
        RecentProjectsDb db(dir.filePath("sub/projects.db"));
        QVERIFY(db.isOpen());
        Sqlite3Cursor c = db.select("select name, sql from sqlite_master where type in ('table','index') "
                                    "and name not like 'sqlite_%' order by name");
        QStringList got;
        while (c.next())
            got << c.getText(1);
        // SQLite keeps the text after its own upper-case CREATE keywords.
        QCOMPARE(got, QStringList({ "CREATE INDEX idx_projects_dt on projects(dt)",
                                    "CREATE INDEX idx_projects_path on projects(path)",
                                    "CREATE TABLE projects(\nid INTEGER PRIMARY KEY AUTOINCREMENT,\nname varchar,\n"
                                    "lang varchar,\npath varchar,\ndt integer\n)" }));
    }

    void listsNewestFirstThenHighestId()
    {
        QTemporaryDir dir;
        const QDir root(dir.path());
        RecentProjectsDb db(dir.filePath("projects.db"));
        const qint64 a = db.addProject(makeProject(root, "A"));
        const qint64 b = db.addProject(makeProject(root, "B"));
        const qint64 c = db.addProject(makeProject(root, "C"));
        QVERIFY(a > 0 && b > a && c > b);
        setDt(db, a, 300);
        setDt(db, b, 100);
        setDt(db, c, 100);
        QCOMPARE(paths(db.list()), QStringList({ root.absoluteFilePath("A"), root.absoluteFilePath("C"),
                                                 root.absoluteFilePath("B") }));
        QCOMPARE(db.list().first().id, a);
    }

    void addExistingKeepsIdAndDt_touchMovesDt()
    {
        QTemporaryDir dir;
        RecentProjectsDb db(dir.filePath("projects.db"));
        const QString p = makeProject(QDir(dir.path()), "P");
        const qint64 id = db.addProject(p);
        setDt(db, id, 5);
        QCOMPARE(db.addProject(p), id);
        QCOMPARE(dtOf(db, p), qint64(5));
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        db.touch(p);
        QVERIFY(dtOf(db, p) >= before);
        db.touch(p + "/nothing"); // no row: nothing happens
        QCOMPARE(rawCount(db), 1);
    }

    void pathsCompareExactly()
    {
        QTemporaryDir dir;
        RecentProjectsDb db(dir.filePath("projects.db"));
        const QString p = makeProject(QDir(dir.path()), "Case");
        const qint64 a = db.addProject(p);
        const qint64 b = db.addProject(QString(p).replace("Case", "CASE"));
        QVERIFY(a > 0 && b > 0 && a != b);
        QCOMPARE(rawCount(db), 2);
    }

    void hidesThenPurgesFoldersWithoutManifest()
    {
        QTemporaryDir dir;
        const QDir root(dir.path());
        const QString dbPath = dir.filePath("projects.db");
        const QString kept = makeProject(root, "Kept");
        const QString gone = makeProject(root, "Gone");
        {
            RecentProjectsDb db(dbPath);
            db.addProject(kept);
            db.addProject(gone);
            QVERIFY(QFile::remove(QDir(gone).absoluteFilePath("manifest")));
            QCOMPARE(paths(db.list()), QStringList({ kept }));
            QCOMPARE(rawCount(db), 2); // hidden, not yet deleted
        }
        RecentProjectsDb next(dbPath); // the next run of the program
        QCOMPARE(rawCount(next), 1);
        QCOMPARE(paths(next.list()), QStringList({ kept }));
        // The manifest coming back does not revive a purged row.
        makeProject(root, "Gone");
        QCOMPARE(paths(next.list()), QStringList({ kept }));
    }

    // A catalogue without its table gets it; a damaged one is kept aside and
    // replaced. Either way later projects are registered again.
    void brokenFileIsRepaired_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("movedAside");
        QTest::newRow("empty file") << "empty" << false;
        QTest::newRow("other table only") << "other" << false;
        QTest::newRow("not a database") << "garbage" << true;
        QTest::newRow("damaged schema page") << "damaged" << true;
    }
    void brokenFileIsRepaired()
    {
        QFETCH(QString, kind);
        QFETCH(bool, movedAside);
        QTemporaryDir dir;
        const QString dbPath = dir.filePath("projects.db");
        QByteArray bytes;
        if (kind == "other" || kind == "damaged") {
            {
                RecentProjectsDb db(dbPath);
                QString err;
                QCOMPARE(db.exec(kind == "other" ? "drop table projects; create table t(x)" : "create table t(x)", err), 0);
            }
            bytes = TestUtil::readFile(dbPath);
            if (kind == "damaged")
                bytes.replace(100, 900, QByteArray(900, '\x5a'));
        } else if (kind == "garbage") {
            bytes = QByteArray("no database here\n").repeated(100);
        }
        QVERIFY(TestUtil::writeFile(dbPath, bytes));

        RecentProjectsDb db(dbPath);
        const QString p = makeProject(QDir(dir.path()), "P");
        QVERIFY(db.addProject(p) > 0);
        QCOMPARE(paths(db.list()), QStringList{p});
        const QString aside = dir.filePath("projects.db.corrupt");
        QCOMPARE(QFile::exists(aside), movedAside);
        if (movedAside)
            QCOMPARE(TestUtil::readFile(aside), bytes);
    }

    // A catalogue that another program holds locked is not taken for damaged.
    void lockedFileIsLeftAlone()
    {
        QTemporaryDir dir;
        const QString dbPath = dir.filePath("projects.db");
        const QString p = makeProject(QDir(dir.path()), "P");
        RecentProjectsDb(dbPath).addProject(p);
        Sqlite3DB other;
        other.open(dbPath, QByteArray(), 2);
        other.run("begin exclusive");
        RecentProjectsDb{dbPath};
        other.run("commit");
        QVERIFY(!QFile::exists(dir.filePath("projects.db.corrupt")));
        QCOMPARE(paths(RecentProjectsDb(dbPath).list()), QStringList{p});
    }

    // One folder is one row, however its path is spelt.
    void pathsAreStoredCleaned()
    {
        QTemporaryDir dir;
        RecentProjectsDb db(dir.filePath("projects.db"));
        const QString p = makeProject(QDir(dir.path()), "good");
        const qint64 id = db.addProject(p + "/");
        QVERIFY(id > 0);
        for (const QString &spelt : {p, dir.path() + "/./good", dir.path() + "/x/../good//"})
            QCOMPARE(db.addProject(spelt), id);
        QCOMPARE(paths(db.list()), QStringList{p});
        setDt(db, id, 5);
        db.touch(p + "/.");
        QVERIFY(dtOf(db, p) > 5);
    }

    void unopenableFileBehavesEmpty()
    {
        QTemporaryDir dir;
        const QString dbPath = dir.filePath("projects.db");
        QVERIFY(QDir().mkpath(dbPath)); // a folder where the file should be
        RecentProjectsDb db(dbPath);
        QCOMPARE(db.addProject(makeProject(QDir(dir.path()), "P")), qint64(0));
        QVERIFY(db.list().isEmpty());
        db.touch(dir.filePath("P"));
    }
};

QTEST_GUILESS_MAIN(TestRecentProjectsDb)
#include "tst_recent_projects_db.moc"

// The Projects page's list: order, status, ticks, import and deletion, on the
// real catalogue of the test's private home.
#include <QAbstractItemModelTester>
#include <QtTest>

#include "common/AudioTestUtil.h"
#include "common/TestUtil.h"
#include "engine/VoskApi.h"
#include "projects/JsonFile.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsItemModel.h"
#include "projects/ProjectsMgr.h"
#include "projects/RecentProjectsDb.h"
#include "storage/LangDb.h"

namespace {

QString url(const QString &path)
{
    return QUrl::fromLocalFile(path).toString();
}

QStringList names(const ProjectsItemModel &m)
{
    QStringList out;
    for (int i = 0; i < m.rowCount(); ++i)
        out << m.data(m.index(i, 0), ProjectsItemModel::DRole).toMap().value("name").toString();
    return out;
}

int rowOf(const ProjectsItemModel &m, const QString &name)
{
    return names(m).indexOf(name);
}

qint64 idOf(const ProjectsItemModel &m, int row)
{
    return m.data(m.index(row, 0), ProjectsItemModel::DRole).toMap().value("id").toLongLong();
}

bool catalogued(const QString &path)
{
    for (const RecentProjectRow &r : RecentProjectsDb::instance().list())
        if (r.path == path)
            return true;
    return false;
}

}

class TestProjectsItemModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void order_data();
    void order();
    void status_data();
    void status();
    void ticking();
    void importProject();
    void deleteAdjacentTicked();
    void deleteRefusesFolders_data();
    void deleteRefusesFolders();
    void deleteEnteredProject();

private:
    // A project folder under the test's root with this manifest, registered
    // in the catalogue.
    QString addProject(const QString &name, QVariantMap manifest = {}, bool registered = true);

    QTemporaryDir tmp;
    QScopedPointer<QTemporaryDir> root;
};

void TestProjectsItemModel::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(tmp.isValid());
    vosk_set_log_level(-1);
}

void TestProjectsItemModel::init()
{
    root.reset(new QTemporaryDir(tmp.filePath(QStringLiteral("rootXXXXXX"))));
    RecentProjectsDb::instance().run("delete from projects");
}

void TestProjectsItemModel::cleanup()
{
    ProjectsMgr::instance()->existProject();
}

QString TestProjectsItemModel::addProject(const QString &name, QVariantMap manifest, bool registered)
{
    const QString path = root->filePath(name);
    QDir().mkpath(path);
    manifest.insert("name", name);
    writeJsonFile(path + "/manifest", manifest);
    if (registered)
        RecentProjectsDb::addPath(path);
    return path;
}

void TestProjectsItemModel::order_data()
{
    QTest::addColumn<QVariantList>("created");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("newest first") << QVariantList { 100, 300, 200 } << QStringList { "p1", "p2", "p0" };
    // Equal times: the later registration first.
    QTest::newRow("equal") << QVariantList { 500, 500, 400 } << QStringList { "p1", "p0", "p2" };
    QTest::newRow("missing last") << QVariantList { QVariant(), 5, 7 } << QStringList { "p2", "p1", "p0" };
}

void TestProjectsItemModel::order()
{
    QFETCH(QVariantList, created);
    QFETCH(QStringList, expected);
    for (int i = 0; i < created.size(); ++i) {
        QVariantMap m;
        if (created.at(i).isValid())
            m.insert("created", created.at(i));
        addProject(QStringLiteral("p%1").arg(i), m);
    }
    ProjectsItemModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(names(m), expected);
    QCOMPARE(m.data(m.index(2, 0), ProjectsItemModel::IdxRole).toInt(), 2);
    QVERIFY(!m.data(m.index(3, 0), ProjectsItemModel::DRole).isValid());
}

void TestProjectsItemModel::status_data()
{
    QTest::addColumn<QVariant>("convert");
    QTest::addColumn<QVariant>("convertStatus");
    QTest::addColumn<int>("status");
    const QString file = QStringLiteral("file:///media/talk.mp3");
    QTest::newRow("interrupted") << QVariant(file) << QVariant(0) << 0;
    QTest::newRow("done") << QVariant(file) << QVariant(1) << 1;
    QTest::newRow("failed") << QVariant(file) << QVariant(-1) << 1;
    QTest::newRow("no status") << QVariant(file) << QVariant() << 0;
    QTest::newRow("empty convert") << QVariant(QString()) << QVariant(0) << 1;
    QTest::newRow("never converted") << QVariant() << QVariant() << 1;
}

void TestProjectsItemModel::status()
{
    QFETCH(QVariant, convert);
    QFETCH(QVariant, convertStatus);
    QFETCH(int, status);
    QVariantMap manifest;
    if (convert.isValid())
        manifest.insert("convert", convert);
    if (convertStatus.isValid())
        manifest.insert("convert_status", convertStatus);
    addProject("p", manifest);
    ProjectsItemModel m;
    QCOMPARE(m.rowCount(), 1);
    QCOMPARE(m.data(m.index(0, 0), ProjectsItemModel::StatusRole).toInt(), status);
}

void TestProjectsItemModel::ticking()
{
    const QString older = addProject("older", { { "created", 1 } });
    addProject("middle", { { "created", 2 } });
    const QString newer = addProject("newer", { { "created", 3 } });
    ProjectsItemModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy count(&m, &ProjectsItemModel::checkedCountChanged);
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);

    m.setChecked(idOf(m, 2), true);
    m.setChecked(idOf(m, 2), true);
    QCOMPARE(m.checkedCount(), 1);
    QCOMPARE(count.count(), 2);
    QCOMPARE(changed.count(), 0);
    m.setChecked(idOf(m, 0), true);
    QVERIFY(m.isChecked(idOf(m, 0)) && !m.isChecked(idOf(m, 1)));
    QCOMPARE(m.selProjectUrls(), (QVariantList { url(newer), url(older) }));

    m.setCheckedAll(true);
    QCOMPARE(m.checkedCount(), 3);
    m.setCheckedAll(false);
    QCOMPARE(m.checkedCount(), 0);
    QVERIFY(m.selProjectUrls().isEmpty());
    QCOMPARE(count.count(), 5);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 0);
    QCOMPARE(changed.at(0).at(1).toModelIndex().row(), 2);
}

void TestProjectsItemModel::importProject()
{
    addProject("old", { { "created", 100 } });
    const QString listed = addProject("listed", { { "created", 300 } });
    const QString fresh = addProject("fresh", { { "created", 200 } }, false);
    ProjectsItemModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);

    // No manifest: the message names the folder's path.
    const QString bare = root->filePath("bare");
    QDir().mkpath(bare);
    QVERIFY(!m.importProject(url(bare)));
    QCOMPARE(m.lastErr(), bare + "/manifest not exists.");
    QVERIFY(!m.importProject("listed"));
    QCOMPARE(m.lastErr(), QStringLiteral("Import listed failed."));
    // File names are case-sensitive here: another folder, which has none.
    QVERIFY(!m.importProject(url(root->filePath("LISTED"))));
    QCOMPARE(m.lastErr(), root->filePath("LISTED") + "/manifest not exists.");

    // The listed folder in other spellings: nothing changes.
    for (const QString &p : { listed + "/", listed + "/./", root->filePath("bare/../listed") }) {
        m.setLastErr(QString());
        QVERIFY2(m.importProject(url(p)), qPrintable(p));
        QVERIFY(m.lastErr().isEmpty());
    }
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(RecentProjectsDb::instance().list().size(), 2);

    // A new one takes its place in the order and enters the catalogue.
    QVERIFY(m.importProject(url(fresh + "/")));
    QCOMPARE(names(m), (QStringList { "listed", "fresh", "old" }));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QVERIFY(catalogued(fresh));
    QCOMPARE(m.checkedCount(), 0);
    ProjectsItemModel again;
    QCOMPARE(names(again), names(m));

    // Folders that only look like projects are refused.
    QVERIFY(TestUtil::writeFile(root->filePath("empty/manifest"), "{}"));
    QVERIFY(TestUtil::writeFile(QDir::home().filePath("Documents/manifest"), "notes"));
    QVERIFY(QFile::link(listed, root->filePath("link")));
    QVERIFY(TestUtil::writeFile(root->filePath("manifest"), "{\"name\": \"all of them\"}"));
    for (const QString &p : { root->filePath("empty"), QDir::home().filePath("Documents"), root->filePath("link"), root->path() }) {
        QVERIFY2(!m.importProject(url(p)), qPrintable(p));
        QCOMPARE(m.lastErr(), QStringLiteral("Import %1 failed.").arg(p));
    }
    QCOMPARE(m.rowCount(), 3);
}

void TestProjectsItemModel::deleteAdjacentTicked()
{
    const QString a = addProject("a", { { "created", 3 } });
    const QString b = addProject("b", { { "created", 2 } });
    const QString c = addProject("c", { { "created", 1 } });
    QVERIFY(TestUtil::writeFile(b + "/images/x.jpg", "jpeg"));
    ProjectsItemModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy count(&m, &ProjectsItemModel::checkedCountChanged);
    m.setChecked(idOf(m, 0), true);
    m.setChecked(idOf(m, 1), true);

    m.deleteSelProjects();
    QCOMPARE(names(m), QStringList { "c" });
    QCOMPARE(m.checkedCount(), 0);
    QVERIFY(!QFileInfo::exists(a) && !QFileInfo::exists(b) && QFileInfo::exists(c));
    QCOMPARE(count.count(), 3);

    // The last row: no change notice over an empty list.
    m.setChecked(idOf(m, 0), true);
    m.deleteProject(5);
    QCOMPARE(m.rowCount(), 1);
    m.deleteProject(0);
    QCOMPARE(m.rowCount(), 0);
    QCOMPARE(m.checkedCount(), 0);
    QVERIFY(!QFileInfo::exists(c));
    m.setCheckedAll(true);
    m.deleteSelProjects();
    QCOMPARE(m.checkedCount(), 0);
}

void TestProjectsItemModel::deleteRefusesFolders_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *k : { "stray manifest in Documents", "project manifest in Documents", "home", "default projects root",
                           "empty object", "array", "linked folder", "linked manifest", "root of projects", "user file" })
        QTest::newRow(k) << QString::fromLatin1(k);
}

// Rows that a catalogue may hold (from an older version, say) whose folders
// hold more than a project, or are no project: nothing is removed.
void TestProjectsItemModel::deleteRefusesFolders()
{
    QFETCH(QString, kind);
    const QString real = addProject("real", { { "created", 1 } }, kind == "root of projects");
    QString path = root->filePath("suspect");
    QByteArray manifest = "{\"name\": \"suspect\"}";
    if (kind == "stray manifest in Documents")
        manifest = "shopping list";
    if (kind.contains("Documents"))
        path = QDir::home().filePath("Documents");
    else if (kind == "home")
        path = QDir::homePath();
    else if (kind == "default projects root")
        path = ProjectsMgr::defaultRootPath();
    else if (kind == "root of projects")
        path = root->path();
    else if (kind == "empty object")
        manifest = "{}";
    else if (kind == "array")
        manifest = "[{\"name\": \"suspect\"}]";
    else if (kind == "user file")
        QVERIFY(TestUtil::writeFile(path + "/notes.txt", "mine"));

    if (kind == "linked folder") {
        QVERIFY(QFile::link(real, path));
    } else if (kind == "linked manifest") {
        QDir().mkpath(path);
        QVERIFY(QFile::link(real + "/manifest", path + "/manifest"));
    } else {
        QVERIFY(TestUtil::writeFile(path + "/manifest", manifest));
    }
    RecentProjectsDb::addPath(path);

    ProjectsItemModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    int idx = -1;
    for (int i = 0; i < m.rowCount(); ++i)
        if (m.data(m.index(i, 0), ProjectsItemModel::DRole).toMap().value("path").toString() == path)
            idx = i;
    QVERIFY(idx >= 0);
    const QString before = TestUtil::fileTree(root->path()).join(',') + TestUtil::fileTree(path).join(',');
    m.setChecked(idOf(m, idx), true);
    m.deleteSelProjects();
    QCOMPARE(m.checkedCount(), 1);
    m.deleteProject(idx);
    QCOMPARE(m.lastErr(), QStringLiteral("Delete %1 failed.").arg(path));
    QCOMPARE(TestUtil::fileTree(root->path()).join(',') + TestUtil::fileTree(path).join(','), before);
    QVERIFY(QFileInfo(path).isSymLink() || QFileInfo::exists(path + "/manifest"));
    QFile::remove(path + "/manifest");
}

// The entered project is left before its folder goes: a running conversion
// stops as a user stop would, and nothing writes into the folder afterwards.
void TestProjectsItemModel::deleteEnteredProject()
{
    LangDb::instance()->setLocalPath("en-s", KALVINOR_TEST_DATA_DIR "/vosk-model-test");
    const QString wav = tmp.filePath("long.wav");
    QVERIFY(AudioTestUtil::makeSpokenWav("the quick brown fox jumps over the lazy dog", wav, 20));
    ProjectsMgr *mgr = ProjectsMgr::instance();
    const QString projectUrl = mgr->createProject("entered", url(root->path()), "en-s", 0.5);
    QVERIFY(mgr->enterProject(projectUrl));
    ProjectMainController *cp = mgr->cp();
    QString err;
    QVERIFY2(cp->init(err), qPrintable(err));
    QSignalSpy stopped(cp, &ProjectMainController::stopped);
    cp->setConvertFileUrl(url(wav));
    cp->startConvert();
    QTRY_VERIFY_WITH_TIMEOUT(cp->convertProgress() > 0, 30000);

    ProjectsItemModel m;
    QCOMPARE(m.rowCount(), 1);
    m.deleteProject(0);
    QCOMPARE(stopped.count(), 1);
    QVERIFY(!mgr->cp());
    QCOMPARE(m.rowCount(), 0);
    const QString folder = QUrl(projectUrl).toLocalFile();
    QVERIFY(!QFileInfo::exists(folder));
    QTest::qWait(300);
    QVERIFY(!QFileInfo::exists(folder));
}

QTEST_GUILESS_MAIN(TestProjectsItemModel)
#include "tst_projects_item_model.moc"

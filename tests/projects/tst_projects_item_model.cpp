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
#include "storage/VoskProDb.h"

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

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

// A name the conversation page gives a picture it saves.
const QString kPicture = QStringLiteral("0123456789abcdef0123456789abcdef.jpg");

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
    void deleteKeepsUserFiles_data();
    void deleteKeepsUserFiles();
    void deleteWhileSwapped_data();
    void deleteWhileSwapped();
    void importWithUserFiles_data();
    void importWithUserFiles();
    void removeUnreadableFromList_data();
    void removeUnreadableFromList();
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
    // What every project gets at its creation; a null value leaves a key out.
    const QVariantMap created { { "name", name }, { "lang", "en-s" }, { "srate", 0.5 }, { "created", 1 } };
    for (auto it = created.begin(); it != created.end(); ++it) {
        if (!manifest.contains(it.key()))
            manifest.insert(it.key(), it.value());
        if (manifest.value(it.key()).isNull())
            manifest.remove(it.key());
    }
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
    for (int i = 0; i < created.size(); ++i)
        addProject(QStringLiteral("p%1").arg(i), { { "created", created.at(i) } });
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

    // Folders that only look like projects are refused, saying why.
    QVERIFY(TestUtil::writeFile(root->filePath("empty/manifest"), "{}"));
    QVERIFY(TestUtil::writeFile(QDir::home().filePath("Documents/manifest"), "notes"));
    QVERIFY(QFile::link(listed, root->filePath("link")));
    const QMap<QString, QString> refused { { root->filePath("empty"), "Its manifest does not describe a project" },
                                           { QDir::home().filePath("Documents"), "It holds far more than a project" },
                                           { root->filePath("link"), root->filePath("link") + " is a link." } };
    for (auto it = refused.begin(); it != refused.end(); ++it) {
        QVERIFY2(!m.importProject(url(it.key())), qPrintable(it.key()));
        QVERIFY2(m.lastErr().startsWith(QStringLiteral("Import %1 failed. ").arg(it.key()))
                     && m.lastErr().contains(it.value()),
                 qPrintable(m.lastErr()));
    }
    QCOMPARE(m.rowCount(), 3);
}

void TestProjectsItemModel::deleteAdjacentTicked()
{
    const QString a = addProject("a", { { "created", 3 } });
    const QString b = addProject("b", { { "created", 2 } });
    const QString c = addProject("c", { { "created", 1 } });
    QVERIFY(TestUtil::writeFile(b + "/images/" + kPicture, "jpeg"));
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
    for (const char *k : { "project manifest in Documents", "home", "default projects root", "linked folder" })
        QTest::newRow(k) << QString::fromLatin1(k);
}

// Rows that a catalogue may hold (from an older version, say) whose folders
// hold more than a project: nothing is removed.
void TestProjectsItemModel::deleteRefusesFolders()
{
    QFETCH(QString, kind);
    const QString real = addProject("real", { { "created", 1 } });
    QString path = root->filePath("suspect");
    if (kind.contains("Documents"))
        path = QDir::home().filePath("Documents");
    else if (kind == "home")
        path = QDir::homePath();
    else if (kind == "default projects root")
        path = ProjectsMgr::defaultRootPath();

    if (kind == "linked folder")
        QVERIFY(QFile::link(real, path));
    else
        QVERIFY(TestUtil::writeFile(path + "/manifest",
                                    R"({"name": "suspect", "lang": "en-s", "srate": 0.5, "created": 1})"));
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

void TestProjectsItemModel::deleteKeepsUserFiles_data()
{
    // "name@" is a link to a file or folder of that name outside the project.
    QTest::addColumn<QStringList>("user");
    QTest::addColumn<QStringList>("program");
    QTest::addColumn<bool>("lockImages");
    const QString pic = "images/" + kPicture;
    const QStringList db { "data", "data-wal", "data-shm", "data-journal", "data.wav" };
    QTest::newRow("program files only") << QStringList() << db + QStringList { "manifest.QxWvTz", pic, "images/fedcba9876543210fedcba9876543210.PNG" } << false;
    QTest::newRow("hidden entries") << QStringList { ".directory", "images/.x", ".git/config" } << QStringList { "data", pic } << false;
    QTest::newRow("user files at the top")
        << QStringList { "Interview.pdf", "desktop.ini", "manifest.notes.txt", "manifest.txt", "manifest.backup", "data.wav.bak", "data-old", "Export-20240501/Interview.docx" }
        << db << false;
    QTest::newRow("user files under images")
        << QStringList { "images/2019/wedding.jpg", "images/" + kPicture + ".bak", "images/holiday.png", "images/0123456789ABCDEF0123456789ABCDEF.jpg",
                         "images/0123456789abcdef0123456789abcdef.txt" }
        << QStringList { pic } << false;
    QTest::newRow("links") << QStringList { "notes@", "images/mine@" } << QStringList { "data.wav@", "data@", pic + "@" } << false;
    QTest::newRow("images linked elsewhere") << QStringList() << QStringList { "data", "images@" } << false;
    QTest::newRow("picture cannot go") << QStringList { "notes.txt" } << QStringList { "data", "data.wav", pic } << true;
}

// Delete removes what the program makes in a project folder and nothing else:
// never a file of the user's, never the target of a link. What it cannot
// remove keeps the project listed; what it keeps, it names.
void TestProjectsItemModel::deleteKeepsUserFiles()
{
    QFETCH(QStringList, user);
    QFETCH(QStringList, program);
    QFETCH(bool, lockImages);
    const QString path = addProject("p");
    const QDir outside(root->filePath("outside"));
    for (QString entry : user + program) {
        const bool link = entry.endsWith('@');
        entry.remove('@');
        if (!link) {
            // The manifest writer's temporary file holds the project's manifest.
            const bool temp = entry.startsWith("manifest.") && program.contains(entry);
            QVERIFY(TestUtil::writeFile(path + "/" + entry, temp ? TestUtil::readFile(path + "/manifest") : entry.toUtf8()));
            continue;
        }
        const QString target = outside.filePath(QFileInfo(entry).fileName());
        QVERIFY(TestUtil::writeFile(entry == "images" ? target + "/" + kPicture : target, entry.toUtf8()));
        QDir().mkpath(QFileInfo(path + "/" + entry).absolutePath());
        QVERIFY(QFile::link(target, path + "/" + entry));
    }
    const QStringList outsideBefore = TestUtil::fileTree(outside.path());
    const QString images = path + "/images";
    if (lockImages)
        QVERIFY(QFile::setPermissions(images, QFile::ReadOwner | QFile::ExeOwner));
    ProjectsItemModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    {
        TestUtil::WithoutRootRights asOwner;
        m.deleteProject(0);
    }
    QFile::setPermissions(images, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    for (QString entry : user) {
        entry.remove('@');
        const QFileInfo kept(path + "/" + entry);
        QVERIFY2(kept.isSymLink() || TestUtil::readFile(kept.filePath()) == entry.toUtf8(), qPrintable(entry));
    }
    for (QString entry : program + QStringList { "manifest" }) {
        entry.remove('@');
        const QFileInfo f(path + "/" + entry);
        QVERIFY2((f.exists() || f.isSymLink()) == lockImages, qPrintable(entry));
    }
    QCOMPARE(TestUtil::fileTree(outside.path()), outsideBefore);
    QCOMPARE(m.rowCount(), lockImages ? 1 : 0);
    QCOMPARE(QFileInfo::exists(path), lockImages || !user.isEmpty());
    QCOMPARE(QFileInfo::exists(images), lockImages || user.join(',').contains("images/"));
    // Nothing kept, nothing to tell; otherwise the message says where.
    QCOMPARE(m.lastErr().contains(path), lockImages || !user.isEmpty());
    if (lockImages)
        QVERIFY2(m.lastErr().contains("images/" + kPicture), qPrintable(m.lastErr()));
}

void TestProjectsItemModel::deleteWhileSwapped_data()
{
    QTest::addColumn<QString>("swapped");
    QTest::newRow("project folder") << QString();
    QTest::newRow("images") << QStringLiteral("/images");
}

// Another program renames the project folder or its "images" while the
// delete runs, and puts a link to a folder of the user's in its place: none
// of the user's files go.
void TestProjectsItemModel::deleteWhileSwapped()
{
    QFETCH(QString, swapped);
    constexpr int kRuns = 5;
    QStringList names { "data", "data.wav", "manifest" };
    for (int i = 0; i < 300; ++i)
        names << QStringLiteral("images/%1.jpg").arg(i, 32, 16, QLatin1Char('0'));
    for (int run = 0; run < kRuns; ++run) {
        const QString name = QStringLiteral("p%1").arg(run);
        const QString path = addProject(name);
        const QString mine = root->filePath(QStringLiteral("mine%1").arg(run));
        for (const QString &n : names) {
            QVERIFY(n == "manifest" || TestUtil::writeFile(path + "/" + n, "project"));
            QVERIFY(TestUtil::writeFile(mine + "/" + n, "mine"));
        }
        const auto before = TestUtil::fileHashes(mine);
        QVERIFY(QFile::link(mine + swapped, path + swapped + ".link"));
        ProjectsItemModel m;
        std::atomic<bool> watching { false };
        std::atomic<bool> done { false };
        // The moment the first picture is gone.
        std::thread swapper([&] {
            const QByteArray first = QFile::encodeName(path + "/" + names.at(3));
            watching = true;
            while (!done && ::access(first.constData(), F_OK) == 0)
                ;
            // In one step: the delete never finds the path empty.
            const QByteArray folder = QFile::encodeName(path + swapped);
            ::renameat2(AT_FDCWD, (folder + ".link").constData(), AT_FDCWD, folder.constData(), RENAME_EXCHANGE);
        });
        while (!watching)
            QThread::yieldCurrentThread();
        m.deleteProject(rowOf(m, name));
        done = true;
        swapper.join();
        QCOMPARE(TestUtil::fileHashes(mine), before);
    }
}

void TestProjectsItemModel::importWithUserFiles_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("project database") << QByteArray() << "project" << false << "";
    QTest::newRow("empty database") << QByteArray() << "empty" << false << "";
    QTest::newRow("database that does not open")
        << QByteArray() << "not a database" << false << "Its data is not a project database of this program: ";
    QTest::newRow("another tool's manifest") << QByteArray(R"({"tool":"other recorder","version":2})") << "project"
                                             << false << "Its manifest does not describe a project of this program.";
    QTest::newRow("read-only folder") << QByteArray() << "project" << true << "%1 is read-only";
}

// Whatever else a folder holds, it imports when its manifest and its
// database read as a project's; else the message says why. Nothing in the
// folder is written either way.
void TestProjectsItemModel::importWithUserFiles()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QString, data);
    QFETCH(bool, readOnly);
    QFETCH(QString, refusal);
    const QString path = addProject("mine", {}, false);
    if (!manifest.isEmpty())
        QVERIFY(TestUtil::writeFile(path + "/manifest", manifest));
    if (data == "project") {
        VoskProDb db;
        QVERIFY2(db.open(path + "/data"), qPrintable(db.lastErr));
    } else {
        QVERIFY(TestUtil::writeFile(path + "/data", data == "empty" ? QByteArray() : data.toUtf8()));
    }
    for (const char *f : { "Interview.pdf", ".directory", "desktop.ini", "images/2019/wedding.jpg", "data.wav" })
        QVERIFY(TestUtil::writeFile(path + "/" + f, f));
    const auto before = TestUtil::fileHashes(path);
    if (readOnly)
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner));
    ProjectsItemModel m;
    bool imported = false;
    {
        TestUtil::WithoutRootRights asOwner;
        imported = m.importProject(url(path));
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(imported, refusal.isEmpty());
    QCOMPARE(m.rowCount(), int(imported));
    QCOMPARE(catalogued(path), imported);
    if (!imported)
        QVERIFY2(m.lastErr().startsWith(QStringLiteral("Import %1 failed. %2").arg(path, refusal.arg(path))),
                 qPrintable(m.lastErr()));
    QCOMPARE(TestUtil::fileHashes(path), before);
}

void TestProjectsItemModel::removeUnreadableFromList_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::newRow("not JSON") << QByteArray("shopping list");
    QTest::newRow("empty object") << QByteArray("{}");
    QTest::newRow("array") << QByteArray("[{\"name\": \"p\"}]");
    QTest::newRow("linked manifest") << QByteArray();
}

// A project whose manifest cannot be read leaves the list on delete; none of
// its files go, and the message says so.
void TestProjectsItemModel::removeUnreadableFromList()
{
    QFETCH(QByteArray, manifest);
    const QString other = addProject("other", {}, false);
    const QString path = root->filePath("p");
    if (manifest.isEmpty()) {
        QDir().mkpath(path);
        QVERIFY(QFile::link(other + "/manifest", path + "/manifest"));
    } else {
        QVERIFY(TestUtil::writeFile(path + "/manifest", manifest));
    }
    for (const char *f : { "data", "data.wav", "images/0123456789abcdef0123456789abcdef.jpg" })
        QVERIFY(TestUtil::writeFile(path + "/" + f, f));
    RecentProjectsDb::addPath(path);
    const QStringList before = TestUtil::fileTree(root->path());

    ProjectsItemModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(m.rowCount(), 1);
    m.deleteProject(0);
    QCOMPARE(m.rowCount(), 0);
    QVERIFY2(m.lastErr().contains(path) && m.lastErr().contains("list"), qPrintable(m.lastErr()));
    QCOMPARE(TestUtil::fileTree(root->path()), before);
    QCOMPARE(ProjectsItemModel().rowCount(), 0);
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

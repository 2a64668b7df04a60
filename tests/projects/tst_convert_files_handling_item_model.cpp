// Batch conversion through real controllers (synthetic speech model, real
// speaker model, espeak-ng speech), each file into a project on disk.
#include <QAbstractItemModelTester>
#include <QPointer>
#include <QtTest>

#include "common/AudioTestUtil.h"
#include "common/TestUtil.h"
#include "engine/VoskApi.h"
#include "projects/ConvertFilesHandlingItemModel.h"
#include "projects/JsonFile.h"
#include "projects/ProjectMainController.h"
#include "storage/LangDb.h"
#include "storage/VoskProDb.h"
#include "util/BaseUtil.h"

namespace {

QString url(const QString &path)
{
    return QUrl::fromLocalFile(path).toString();
}

// A batch as the page runs it, with Qt's model checks attached.
struct Batch
{
    ConvertFilesHandlingItemModel model;
    QAbstractItemModelTester tester { &model, QAbstractItemModelTester::FailureReportingMode::QtTest };

    Batch(const QStringList &files, const QString &root, const QString &lang = QStringLiteral("en-s"))
    {
        QVariantList urls;
        for (const QString &f : files)
            urls << (f.startsWith(QLatin1String("file:")) ? f : url(f));
        model.setFileUrls(urls);
        model.setRootUrl(url(root));
        model.setLang(lang);
        model.setSpeechRate(0.5);
    }
    QVariantMap row(int r) const { return model.data(model.index(r, 0), BatchHandlingItemModel::DRole).toMap(); }
    QList<ProjectMainController *> controllers() const { return model.findChildren<ProjectMainController *>(); }
    bool waitForEnd() { return QTest::qWaitFor([this] { return model.totalFinished(); }, 60000); }
    // Controllers handed to deleteLater are gone once this returns.
    int liveControllers() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return controllers().size();
    }
};

// Words of every segment stored in a project; -1 when its database does not open.
int storedWords(const QString &projectDir)
{
    VoskProDb db;
    if (!db.open(projectDir + QStringLiteral("/data")))
        return -1;
    int words = 0;
    for (const VoskProSeg &s : db.loadSegs(-1))
        words += BaseUtil::html2text(s.html).split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
    return words;
}

}

class TestConvertFilesHandlingItemModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void emptyListEndsAtOnce();
    void projectsNamedAfterTheFiles_data();
    void projectsNamedAfterTheFiles();
    void everyRowFails_data();
    void everyRowFails();
    void convertsEachFileIntoItsOwnProject();
    void runEndingEarlyFailsItsRow_data();
    void runEndingEarlyFailsItsRow();
    void cancelStartsNothingMore_data();
    void cancelStartsNothingMore();

private:
    QTemporaryDir tmp;
    QString speech;  // 9 spoken words
    QString twice;   // the same, twice
    QString longWav; // thirty times: still converting when a test steps in
};

void TestConvertFilesHandlingItemModel::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(tmp.isValid());
    vosk_set_log_level(-1);
    LangDb::instance()->setLocalPath(QStringLiteral("en-s"), QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test"));
    const QString text = QStringLiteral("the quick brown fox jumps over the lazy dog");
    speech = tmp.filePath(QStringLiteral("speech.wav"));
    twice = tmp.filePath(QStringLiteral("twice.wav"));
    longWav = tmp.filePath(QStringLiteral("long.wav"));
    QVERIFY(AudioTestUtil::makeSpokenWav(text, speech));
    QVERIFY(AudioTestUtil::makeSpokenWav(text, twice, 2));
    QVERIFY(AudioTestUtil::makeSpokenWav(text, longWav, 30));
}

void TestConvertFilesHandlingItemModel::emptyListEndsAtOnce()
{
    QTemporaryDir root;
    Batch b({}, root.path());
    QSignalSpy inserted(&b.model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&b.model, &QAbstractItemModel::dataChanged);
    QSignalSpy ended(&b.model, &BatchHandlingItemModel::totalFinishedChanged);
    b.model.init();
    QCOMPARE(ended.count(), 1);
    QVERIFY(b.model.totalFinished());
    QCOMPARE(b.model.rowCount(), 0);
    QCOMPARE(b.model.total(), 0);
    QCOMPARE(b.model.finished(), 0);
    QCOMPARE(inserted.count() + changed.count(), 0);
    QVERIFY(TestUtil::fileTree(root.path()).isEmpty());
}

void TestConvertFilesHandlingItemModel::projectsNamedAfterTheFiles_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("folders");
    QTest::newRow("fresh root") << QStringList() << QStringList { "Convert-a.mp3", "Convert-b.wav", "Convert-c#d.ogg" };
    QTest::newRow("names taken") << QStringList { "Convert-a.mp3", "Convert-b.wav", "Convert-b.wav(1)" }
                                 << QStringList { "Convert-a.mp3(1)", "Convert-b.wav(2)", "Convert-c#d.ogg" };
}

// The files do not exist: each row ends at its start, and each project stays
// as an interrupted conversion of its file.
void TestConvertFilesHandlingItemModel::projectsNamedAfterTheFiles()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, folders);
    QTemporaryDir root;
    for (const QString &e : existing)
        QVERIFY(QDir(root.path()).mkdir(e));
    const QString media = root.filePath(QStringLiteral("media"));
    const QStringList files = { url(media + "/a.mp3"), url(media + "/b.wav"), url(media + "/c#d.ogg") };
    QVERIFY(files.at(2).contains(QLatin1String("c%23d.ogg")));
    Batch b(files, root.path());
    b.model.init();
    QCOMPARE(b.model.rowCount(), 3);
    QVERIFY(b.waitForEnd());
    QCOMPARE(b.model.finished(), 3);

    const QStringList names = { "a.mp3", "b.wav", "c#d.ogg" };
    for (int i = 0; i < 3; ++i) {
        const QVariantMap d = b.row(i);
        QCOMPARE(d.value("name").toString(), "File: " + names.at(i));
        QCOMPARE(d.value("status").toInt(), -1);
        QCOMPARE(d.value("err").toString(), QStringLiteral("%1/%2 not exists.").arg(media, names.at(i)));
        const QVariantMap m = readJsonFile(root.filePath(folders.at(i) + "/manifest"));
        QCOMPARE(m.value("name").toString(), "Convert-" + names.at(i));
        QCOMPARE(m.value("lang").toString(), QStringLiteral("en-s"));
        QCOMPARE(m.value("srate").toDouble(), 0.5);
        QCOMPARE(m.value("convert").toString(), files.at(i));
        QCOMPARE(m.value("convert_status").toInt(), 0);
    }
    QCOMPARE(b.liveControllers(), 0);
}

void TestConvertFilesHandlingItemModel::everyRowFails_data()
{
    QTest::addColumn<bool>("rootUnderFile");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("err"); // %1 the root folder, %2 the file's name
    QTest::newRow("root under a regular file") << true << "en-s"
                                               << "Create Proejct failed. create project %1/Convert-%2 failed.";
    QTest::newRow("language without a model") << false << "zz-s" << "Failed to initialize vosk model.";
}

void TestConvertFilesHandlingItemModel::everyRowFails()
{
    QFETCH(bool, rootUnderFile);
    QFETCH(QString, lang);
    QFETCH(QString, err);
    QTemporaryDir dir;
    QString root = dir.path();
    if (rootUnderFile) {
        QVERIFY(TestUtil::writeFile(dir.filePath("plain"), "x"));
        root = dir.filePath("plain/projects");
    }
    Batch b({ speech, twice }, root, lang);
    b.model.init();
    // Rows whose projects cannot be made never wait for anything.
    if (rootUnderFile)
        QVERIFY(b.model.totalFinished());
    QVERIFY(b.waitForEnd());
    QCOMPARE(b.model.finished(), 2);
    QCOMPARE(b.model.total(), 2);
    const QStringList names = { "speech.wav", "twice.wav" };
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(b.row(i).value("status").toInt(), -1);
        QCOMPARE(b.row(i).value("err").toString(), QString(err).replace("%1", root).replace("%2", names.at(i)));
    }
    QCOMPARE(b.liveControllers(), 0);
}

void TestConvertFilesHandlingItemModel::convertsEachFileIntoItsOwnProject()
{
    QTemporaryDir root;
    Batch b({ speech, twice }, root.path());
    // The counter shows the rows before the running one.
    QList<int> finishedWhileRunning[2];
    connect(&b.model, &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &i) {
        if (b.row(i.row()).value("status").toInt() == 0 && b.row(i.row()).value("progress").toInt() > 0)
            finishedWhileRunning[i.row()] << b.model.finished();
    });
    b.model.init();
    QVERIFY(b.waitForEnd());
    QCOMPARE(b.model.finished(), 2);
    QVERIFY(!finishedWhileRunning[0].isEmpty() && !finishedWhileRunning[1].isEmpty());
    QCOMPARE(QSet<int>(finishedWhileRunning[0].begin(), finishedWhileRunning[0].end()), QSet<int> { 0 });
    QCOMPARE(QSet<int>(finishedWhileRunning[1].begin(), finishedWhileRunning[1].end()), QSet<int> { 1 });

    const int spoken[] = { 9, 18 };
    const char *folders[] = { "Convert-speech.wav", "Convert-twice.wav" };
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(b.row(i).value("status").toInt(), 1);
        QCOMPARE(b.row(i).value("err").toString(), QString());
        const QString dir = root.filePath(folders[i]);
        const QVariantMap m = readJsonFile(dir + "/manifest");
        QCOMPARE(m.value("convert_status").toInt(), 1);
        QCOMPARE(m.value("convert").toString(), QString());
        const int words = storedWords(dir);
        // espeak-ng now and then splits a word into two bursts.
        QVERIFY2(words >= spoken[i] && words <= spoken[i] + 2, qPrintable(QString::number(words)));
    }
    QCOMPARE(b.liveControllers(), 0);
}

void TestConvertFilesHandlingItemModel::runEndingEarlyFailsItsRow_data()
{
    QTest::addColumn<bool>("idleAfterStart");
    QTest::addColumn<QString>("err");
    QTest::newRow("idle after start") << true << "Converting could not start.";
    QTest::newRow("stopped half-way") << false << "Converting stopped before the end of the file.";
}

// The first run goes wrong from outside the batch: it drops back to idle
// without a report, or is stopped part-way. Either way its row ends, failed,
// and the next file is converted.
void TestConvertFilesHandlingItemModel::runEndingEarlyFailsItsRow()
{
    QFETCH(bool, idleAfterStart);
    QFETCH(QString, err);
    QTemporaryDir root;
    Batch b({ longWav, speech }, root.path());
    connect(&b.model, &QAbstractItemModel::rowsInserted, this, [&] {
        ProjectMainController *first = b.controllers().value(0);
        QVERIFY(first);
        if (idleAfterStart) {
            connect(first, &ProjectMainController::isStartingChanged, first, [first] {
                if (first->isStarting())
                    first->setIsStarting(0);
            });
        } else {
            connect(first, &ProjectMainController::convertProgressChanged, first, [first] {
                if (first->convertProgress() > 0)
                    first->stop();
            });
        }
    });
    b.model.init();
    QVERIFY(b.waitForEnd());
    QCOMPARE(b.model.finished(), 2);
    QCOMPARE(b.row(0).value("status").toInt(), -1);
    QCOMPARE(b.row(0).value("err").toString(), err);
    QCOMPARE(b.row(1).value("status").toInt(), 1);
    QCOMPARE(b.liveControllers(), 0);
}

void TestConvertFilesHandlingItemModel::cancelStartsNothingMore_data()
{
    QTest::addColumn<bool>("stoppedQueued");
    QTest::newRow("while running") << false;
    QTest::newRow("stopped() already queued") << true;
}

void TestConvertFilesHandlingItemModel::cancelStartsNothingMore()
{
    QFETCH(bool, stoppedQueued);
    QTemporaryDir root;
    Batch b({ longWav, speech, twice }, root.path());
    b.model.init();
    QList<QPointer<ProjectMainController>> controllers;
    for (ProjectMainController *c : b.controllers())
        controllers << c;
    QCOMPARE(controllers.size(), 3);
    QVERIFY(QTest::qWaitFor([&] { return b.row(0).value("progress").toInt() > 0; }, 60000));

    if (stoppedQueued)
        controllers.at(0)->stop();
    b.model.cancel();
    QVERIFY(b.model.isCanceled());
    QTest::qWait(500);
    QCOMPARE(b.liveControllers(), 0);
    QVERIFY(!b.model.totalFinished());
    QCOMPARE(b.model.finished(), 0);
    QCOMPARE(b.row(0).value("status").toInt(), 0);

    // Stopped as the user's stop leaves it: not done, nothing kept, not resumed.
    const QString running = root.filePath("Convert-long.wav");
    QVariantMap m = readJsonFile(running + "/manifest");
    QCOMPARE(m.value("convert_status").toInt(), 0);
    QCOMPARE(m.value("convert").toString(), QString());
    QCOMPARE(storedWords(running), 0);
    // The others never started: no database, left as interrupted conversions.
    const char *waiting[] = { "Convert-speech.wav", "Convert-twice.wav" };
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(b.row(i + 1).value("status").toInt(), 0);
        QCOMPARE(b.row(i + 1).value("progress").toInt(), 0);
        const QString dir = root.filePath(waiting[i]);
        QVERIFY(!QFileInfo::exists(dir + "/data"));
        m = readJsonFile(dir + "/manifest");
        QCOMPARE(m.value("convert").toString(), url(i == 0 ? speech : twice));
        QCOMPARE(m.value("convert_status").toInt(), 0);
    }
}

QTEST_GUILESS_MAIN(TestConvertFilesHandlingItemModel)
#include "tst_convert_files_handling_item_model.moc"

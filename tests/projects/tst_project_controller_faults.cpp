// Runs that fail part-way, on a project entered as the page enters it: the
// decoder breaks during a conversion, the database refuses the conversion's
// item, the ring buffer gets no storage, a source switch finds no sound server.
#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <new>

#include "common/AudioTestUtil.h"
#include "common/MediaFixtures.h"
#include "common/ProjectDbAccess.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "engine/VoskApi.h"
#include "projects/JsonFile.h"
#include "projects/ProjectMainController.h"
#include "storage/LangDb.h"

namespace {

// An array allocation of this many bytes fails; 0 lets every one through.
std::atomic<std::size_t> failingArrayBytes{0};

// What the decoder reports for a read error in the middle of a file (AVERROR_INVALIDDATA).
const QString readError =
    QStringLiteral("av_read_frame failed, return -1094995529. Invalid data found when processing input");

}

// The ring buffer asks for its storage without throwing; this is the one
// place a test can make that request fail.
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    if (size == failingArrayBytes.load())
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

class TestProjectControllerFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void decoderFailureRemovesTheItem();
    void refusedItemEndsTheStart();
    void ringWithoutStorageEndsTheStart_data();
    void ringWithoutStorageEndsTheStart();
    void failedSwitchKeepsTheSource();

private:
    QTemporaryDir tmp;
    AudioTestUtil::PulseServer pulse;
    QString speech;
    QString brokenMidFile;
};

void TestProjectControllerFaults::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(tmp.isValid());
    vosk_set_log_level(-1);
    LangDb::instance()->setLocalPath(QStringLiteral("en-s"), QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test"));
    speech = tmp.filePath(QStringLiteral("speech.wav"));
    QVERIFY(AudioTestUtil::makeSpokenWav(QStringLiteral("the quick brown fox jumps over the lazy dog"), speech, 3));
    // 100 kB of noise in the middle of an Ogg file, more than its demuxer
    // searches for its next page: a read error after the recogniser has
    // stored segments for the item. (A damaged packet is skipped, not fatal.)
    const QString longSpeech = tmp.filePath(QStringLiteral("long.wav"));
    const QString ogg = tmp.filePath(QStringLiteral("long.ogg"));
    QVERIFY(AudioTestUtil::makeSpokenWav(QStringLiteral("the quick brown fox jumps over the lazy dog"), longSpeech, 8));
    QVERIFY(MediaFixtures::ffmpeg({ "-i", longSpeech, "-c:a", "libvorbis", ogg }));
    QByteArray noise(100000, '\0');
    QRandomGenerator(12345).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QByteArray bytes = TestUtil::readFile(ogg);
    brokenMidFile = tmp.filePath(QStringLiteral("broken.ogg"));
    QVERIFY(TestUtil::writeFile(brokenMidFile, bytes.left(bytes.size() * 2 / 3) + noise + bytes.mid(bytes.size() * 2 / 3)));
    QString log;
    QVERIFY2(pulse.start(&log), qPrintable(log));
}

void TestProjectControllerFaults::cleanupTestCase()
{
    pulse.stop();
}

void TestProjectControllerFaults::decoderFailureRemovesTheItem()
{
    TestUtil::ProjectFixture project;
    QString err;
    QVERIFY2(project.open(err), qPrintable(err));
    ProjectMainController *c = project.controller();
    QSignalSpy results(c, &ProjectMainController::newResult);
    QSignalSpy stopped(c, &ProjectMainController::stopped);
    QSignalSpy cleared(c, &ProjectMainController::afterClearConvertTmp);
    c->setConvertFileUrl(QUrl::fromLocalFile(brokenMidFile).toString());
    c->startConvert();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 60000);
    QVERIFY(results.count() >= 1);
    const qint64 item = results.first().at(1).value<VoskProSeg>().itemId;
    QVERIFY(item > 0);
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.at(0).at(0).toLongLong(), item);
    // Whatever the drained recogniser still reports arrives now.
    QTest::qWait(300);
    QVERIFY(project.db().loadSegs(item).isEmpty());
    QVERIFY(c->hasErr());
    QCOMPARE(c->lastErr(), readError);
    const QVariantMap m = readJsonFile(project.folder() + QStringLiteral("/manifest"));
    QCOMPARE(m.value("convert_status").toInt(), -1);
    QCOMPARE(m.value("convert_err").toString(), readError);
    QCOMPARE(m.value("convert").toString(), QString());
}

void TestProjectControllerFaults::refusedItemEndsTheStart()
{
    TestUtil::ProjectFixture project;
    QString err;
    QVERIFY2(project.open(err), qPrintable(err));
    auto raw = TestUtil::openRaw(project.folder() + QStringLiteral("/data"));
    QVERIFY(raw);
    TestUtil::exec(*raw, QStringLiteral("create trigger refuse before insert on item "
                                        "begin select raise(abort, 'no room for the item'); end"));
    ProjectMainController *c = project.controller();
    QSignalSpy started(c, &ProjectMainController::started);
    QSignalSpy stopped(c, &ProjectMainController::stopped);
    c->setConvertFileUrl(QUrl::fromLocalFile(speech).toString());
    c->startConvert();
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 60000);
    QCOMPARE(started.at(0).at(0).toBool(), false);
    QVERIFY2(c->lastErr().contains(QLatin1String("no room for the item")), qPrintable(c->lastErr()));
    QVERIFY(c->hasErr());
    QCOMPARE(c->isRunning(), 0);
    QCOMPARE(stopped.count(), 0);
    // Nothing is left to resume.
    QVERIFY(!c->isConvertingFile());
    QCOMPARE(TestUtil::scalar(*raw, Sqlite3Query("select count(*) from item")).toInt(), 0);
}

void TestProjectControllerFaults::ringWithoutStorageEndsTheStart_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("ringBytes");
    QTest::newRow("convert") << int(ProjectMainController::Convert) << 64000;
    QTest::newRow("record") << int(ProjectMainController::Record) << 160000;
}

void TestProjectControllerFaults::ringWithoutStorageEndsTheStart()
{
    QFETCH(int, mode);
    QFETCH(int, ringBytes);
    TestUtil::ProjectFixture project;
    QString err;
    QVERIFY2(project.open(err), qPrintable(err));
    ProjectMainController *c = project.controller();
    const QByteArray manifest = TestUtil::readFile(project.folder() + QStringLiteral("/manifest"));
    QSignalSpy started(c, &ProjectMainController::started);
    QSignalSpy stopped(c, &ProjectMainController::stopped);
    c->setConvertFileUrl(QUrl::fromLocalFile(speech).toString());
    failingArrayBytes = std::size_t(ringBytes);
    c->start(mode);
    failingArrayBytes = 0;
    // Whoever waits for the outcome (a batch) hears of it at once.
    QCOMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(0).toBool(), false);
    QCOMPARE(c->lastErr(), QStringLiteral("RingBuffer::init failed."));
    QVERIFY(c->hasErr());
    QCOMPARE(c->isStarting(), 0);
    QCOMPARE(c->isRunning(), 0);
    QTest::qWait(200);
    QCOMPARE(started.count(), 1);
    QCOMPARE(stopped.count(), 0);
    QCOMPARE(TestUtil::readFile(project.folder() + QStringLiteral("/manifest")), manifest);
}

void TestProjectControllerFaults::failedSwitchKeepsTheSource()
{
    TestUtil::ProjectFixture project;
    QString err;
    QVERIFY2(project.open(err), qPrintable(err));
    ProjectMainController *c = project.controller();
    QSignalSpy started(c, &ProjectMainController::started);
    QSignalSpy results(c, &ProjectMainController::newResult);
    c->startRecord();
    QVERIFY(started.wait(30000));
    QVERIFY2(started.at(0).at(0).toBool(), qPrintable(c->lastErr()));
    const int devid = c->devid();

    // A new source cannot reach the sound server.
    qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + tmp.filePath(QStringLiteral("no-server"))));
    const bool switched = c->switchToLoopback();
    qunsetenv("PULSE_SERVER");
    QVERIFY(!switched);
    QCOMPARE(c->lastErr(), QStringLiteral("Failed to initialize loopback device."));
    QCOMPARE(c->devid(), devid);
    QCOMPARE(c->isRunning(), 1);

    // The microphone goes on recording.
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTRY_VERIFY_WITH_TIMEOUT(results.count() >= 1, 20000);
    c->stop();
    QCOMPARE(c->isRunning(), 0);
}

QTEST_GUILESS_MAIN(TestProjectControllerFaults)
#include "tst_project_controller_faults.moc"

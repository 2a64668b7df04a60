// Live transcription of played speech on a private PulseAudio daemon: the
// computer's sound, a switch to the microphone, pause.
#include <QtTest>

#include "common/AudioTestUtil.h"
#include "common/MediaFixtures.h"
#include "common/TestUtil.h"
#include "engine/VoskApi.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "storage/LangDb.h"

namespace {

const QString modelDir = QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test");

qint64 fileSize(const QString &path)
{
    return QFileInfo(path).size();
}

}

class TestProjectMainControllerLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void transcribeSwitchesSources();
    void recordStampsDeviceTwo();

private:
    QString makeProject(const QString &name);
    bool startRun(ProjectMainController &c, const QString &dir, int mode);
    QList<int> devicesOf(const QList<VoskProSeg> &segs);

    QTemporaryDir tmp;
    AudioTestUtil::PulseServer pulse;
    QString speech;
};

void TestProjectMainControllerLive::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(tmp.isValid());
    vosk_set_log_level(-1);
    LangDb::instance()->setLocalPath(QStringLiteral("en-s"), modelDir);
    QString log;
    QVERIFY2(pulse.start(&log), qPrintable(log));
    // Speech, then silence long enough for the recogniser to end the result.
    const QString raw = tmp.filePath(QStringLiteral("raw.wav"));
    QVERIFY(AudioTestUtil::makeSpeech(QStringLiteral("the quick brown fox jumps over the lazy dog"),
                                      QStringLiteral("en-us"), raw));
    speech = tmp.filePath(QStringLiteral("speech.wav"));
    QVERIFY(MediaFixtures::writeMonoWav(speech, AudioTestUtil::wavPcm(raw) + QByteArray(64000, '\0'), 16000));
}

void TestProjectMainControllerLive::cleanupTestCase()
{
    pulse.stop();
}

QString TestProjectMainControllerLive::makeProject(const QString &name)
{
    const QString url =
        ProjectsMgr::instance()->createProject(name, QUrl::fromLocalFile(tmp.path()).toString(), "en-s", 0.5);
    return QUrl(url).toLocalFile();
}

bool TestProjectMainControllerLive::startRun(ProjectMainController &c, const QString &dir, int mode)
{
    c.setProjectDir(dir);
    QString err;
    if (!c.init(err))
        return false;
    QSignalSpy started(&c, &ProjectMainController::started);
    c.start(mode);
    if (!started.wait(30000) || !started.at(0).at(0).toBool()) {
        qWarning() << c.lastErr();
        return false;
    }
    return true;
}

QList<int> TestProjectMainControllerLive::devicesOf(const QList<VoskProSeg> &segs)
{
    QList<int> d;
    for (const VoskProSeg &s : segs)
        d << s.device;
    return d;
}

void TestProjectMainControllerLive::transcribeSwitchesSources()
{
    const QString dir = makeProject(QStringLiteral("live"));
    ProjectMainController c;
    QSignalSpy results(&c, &ProjectMainController::newResult);
    QSignalSpy partials(&c, &ProjectMainController::partialResult);
    QVERIFY(startRun(c, dir, ProjectMainController::Transcribe));
    QCOMPARE(c.mode(), ProjectMainController::Transcribe);
    QCOMPARE(c.devid(), 2);
    QVERIFY(c.switchToLoopback());

    // The computer's sound.
    QVERIFY(pulse.play(speech));
    QTRY_VERIFY_WITH_TIMEOUT(results.count() >= 1, 20000);
    QVERIFY(partials.count() >= 1);
    QCOMPARE(partials.last().at(0).toInt(), 2);
    for (const QList<QVariant> &r : results)
        QCOMPARE(r.at(1).value<VoskProSeg>().device, 2);

    // The microphone: the loopback goes quiet, results carry device 1.
    QVERIFY(c.switchToMic());
    QCOMPARE(c.devid(), 1);
    const int before = results.count();
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTRY_VERIFY_WITH_TIMEOUT(results.count() > before, 20000);
    QCOMPARE(results.last().at(1).value<VoskProSeg>().device, 1);

    // Back to the computer's sound.
    QVERIFY(c.switchToLoopback());
    QCOMPARE(c.devid(), 2);

    // Paused: played sound no longer reaches the recording.
    c.togglePause();
    QCOMPARE(c.isPaused(), 1);
    const QString wav = dir + QStringLiteral("/data.wav");
    // What was in the ring before the pause drains first.
    qint64 last = -1;
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        const qint64 now = fileSize(wav);
        const bool same = now == last;
        last = now;
        return same;
    }(), 10000);
    QVERIFY(pulse.play(speech));
    QTest::qWait(300);
    QCOMPARE(fileSize(wav), last);
    // A switch keeps a paused run paused.
    QVERIFY(c.switchToMic());
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QCOMPARE(fileSize(wav), last);
    c.togglePause();
    QCOMPARE(c.isPaused(), 0);
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTRY_VERIFY_WITH_TIMEOUT(fileSize(wav) > last, 10000);

    QSignalSpy stopped(&c, &ProjectMainController::stopped);
    c.stop();
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(c.isRunning(), 0);
    QCOMPARE(c.isPaused(), 0);
    QTest::qWait(200);
    const QList<VoskProSeg> segs = c.db->loadSegs(-1);
    QVERIFY(segs.size() >= 2);
    const QList<int> devices = devicesOf(segs);
    QVERIFY(devices.contains(1));
    QVERIFY(devices.contains(2));
    for (const VoskProSeg &s : segs)
        QCOMPARE(s.itemId, qint64(0));
}

void TestProjectMainControllerLive::recordStampsDeviceTwo()
{
    const QString dir = makeProject(QStringLiteral("record"));
    ProjectMainController c;
    QSignalSpy results(&c, &ProjectMainController::newResult);
    QVERIFY(startRun(c, dir, ProjectMainController::Record));
    QCOMPARE(c.devid(), 2);
    // The microphone is current already.
    QVERIFY(c.switchToMic());
    QCOMPARE(c.devid(), 2);
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTRY_VERIFY_WITH_TIMEOUT(results.count() >= 1, 20000);
    c.stop();
    QTest::qWait(200);
    const QList<int> devices = devicesOf(c.db->loadSegs(-1));
    QVERIFY(!devices.isEmpty());
    QVERIFY(!devices.contains(1));

    // A later run in the same project continues its time line.
    const float end = c.db->maxSegEnd();
    QSignalSpy started(&c, &ProjectMainController::started);
    c.startRecord();
    QVERIFY(started.wait(30000));
    QVERIFY(started.at(0).at(0).toBool());
    const int before = results.count();
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTRY_VERIFY_WITH_TIMEOUT(results.count() > before, 20000);
    QVERIFY(results.last().at(1).value<VoskProSeg>().start >= end);
    c.stop();
}

QTEST_GUILESS_MAIN(TestProjectMainControllerLive)
#include "tst_project_main_controller_live.moc"

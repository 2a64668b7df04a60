// Live transcription of played speech on a private PulseAudio daemon: the
// computer's sound, a switch to the microphone, pause, a recording killed.
#include <QtTest>

#include <csignal>

#include "app/InitablesThread.h"
#include "common/AudioTestUtil.h"
#include "common/MediaFixtures.h"
#include "common/TestUtil.h"
#include "engine/VoskApi.h"
#include "engine/VoskThread.h"
#include "projects/JsonFile.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "storage/LangDb.h"
#include "util/BaseUtil.h"

namespace {

const QString modelDir = QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test");
const int sentenceWords = 9;
const char childDirVar[] = "KALVINOR_CHILD_PROJECT";
const char childWavVar[] = "KALVINOR_CHILD_WAV";

int countWords(const QList<VoskProSeg> &segs)
{
    int n = 0;
    for (const VoskProSeg &s : segs)
        n += BaseUtil::html2text(s.html).split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
    return n;
}

// Plays a file into a sink without waiting for it.
void playAsync(QProcess &p, const QString &wav, const QString &sink)
{
    p.start(QStringLiteral("paplay"), {QStringLiteral("-d"), sink, wav});
    p.waitForStarted();
}

qint64 fileSize(const QString &path)
{
    return QFileInfo(path).size();
}

// Not heard by the recogniser, yet no period of it is silent: capture hands
// every period of it over.
QByteArray faintSilence(int bytes)
{
    QByteArray faint(bytes, '\0');
    for (int i = 0; i < faint.size(); i += 3200)
        faint[i] = 1;
    return faint;
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
    void recordKeepsTheLastWords();
    void switchEndsTheUtterance();
    void killedRecordingContinuesAtItsAudio();
    void killedRecordingKeepsItsLastSentence_data();
    void killedRecordingKeepsItsLastSentence();
    void unrecognisedTailWaitsForItsModel_data();
    void unrecognisedTailWaitsForItsModel();

private:
    QString makeProject(const QString &name);
    bool open(ProjectMainController &c, const QString &dir);
    bool startRun(ProjectMainController &c, const QString &dir, int mode);
    QList<int> devicesOf(const QList<VoskProSeg> &segs);

    QTemporaryDir tmp;
    AudioTestUtil::PulseServer pulse;
    QString speech;
    QString sentence;
    QString twoSentences;
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
    sentence = tmp.filePath(QStringLiteral("raw.wav"));
    QVERIFY(AudioTestUtil::makeSpeech(QStringLiteral("the quick brown fox jumps over the lazy dog"),
                                      QStringLiteral("en-us"), sentence));
    speech = tmp.filePath(QStringLiteral("speech.wav"));
    QVERIFY(MediaFixtures::writeMonoWav(speech, AudioTestUtil::wavPcm(sentence) + QByteArray(64000, '\0'), 16000));
    twoSentences = tmp.filePath(QStringLiteral("two.wav"));
    QVERIFY(MediaFixtures::writeMonoWav(
        twoSentences, AudioTestUtil::wavPcm(sentence) + faintSilence(64000) + AudioTestUtil::wavPcm(sentence), 16000));
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

// Opens the project on an opening thread, as the project page does.
bool TestProjectMainControllerLive::open(ProjectMainController &c, const QString &dir)
{
    c.setProjectDir(dir);
    InitablesThread opening;
    opening.setInits({QVariant::fromValue<QObject *>(&c)});
    // Received on this thread, as the page receives it.
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&opening, &InitablesThread::initFinished, &loop, [&](bool res) {
        ok = res;
        loop.quit();
    });
    opening.start();
    loop.exec();
    return ok;
}

bool TestProjectMainControllerLive::startRun(ProjectMainController &c, const QString &dir, int mode)
{
    if (!open(c, dir))
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

void TestProjectMainControllerLive::recordKeepsTheLastWords()
{
    const QString dir = makeProject(QStringLiteral("last words"));
    ProjectMainController c;
    QVERIFY(startRun(c, dir, ProjectMainController::Record));
    // Capture hands over whole periods of a second. A faint tick, below what
    // the recogniser hears, shows where they begin: the recording grows.
    const QByteArray faint = faintSilence(48000);
    const QString tick = tmp.filePath(QStringLiteral("tick.wav"));
    QVERIFY(MediaFixtures::writeMonoWav(tick, faint, 16000));
    const QString wav = dir + QStringLiteral("/data.wav");
    const qint64 before = fileSize(wav);
    QProcess player;
    playAsync(player, tick, QStringLiteral("vmic"));
    QTRY_VERIFY_WITH_TIMEOUT(fileSize(wav) > before, 5000);
    QElapsedTimer sincePeriod;
    sincePeriod.start();
    QVERIFY(player.waitForFinished());

    // The speech ends 0.3 s into a period and the run stops half a second
    // later, so its last words lie in the part of a period a stop hands over.
    QByteArray pcm = AudioTestUtil::wavPcm(sentence);
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    int audible = pcm.size() / 2;
    while (audible > 0 && qAbs(samples[audible - 1]) < 300)
        --audible;
    const qint64 end = (sincePeriod.elapsed() + audible / 16) / 1000 * 1000 + 1300;
    QTest::qWait(int(end - audible / 16 - sincePeriod.elapsed()));
    playAsync(player, sentence, QStringLiteral("vmic"));
    QTest::qWait(int(end + 500 - sincePeriod.elapsed()));
    c.stop();
    QVERIFY(player.waitForFinished());
    QTest::qWait(300);
    QCOMPARE(countWords(c.db->loadSegs(-1)), sentenceWords);
    const auto energy = [](const QByteArray &a) { return MediaFixtures::rms(a) * MediaFixtures::rms(a) * a.size(); };
    const double kept = energy(AudioTestUtil::wavPcm(wav)) / energy(pcm);
    QVERIFY2(kept > 0.99, qPrintable(QString::number(kept)));
}

void TestProjectMainControllerLive::switchEndsTheUtterance()
{
    const QString dir = makeProject(QStringLiteral("switch"));
    ProjectMainController c;
    QVERIFY(startRun(c, dir, ProjectMainController::Transcribe));
    // Half a sentence from the computer's sound, then the microphone.
    QProcess player;
    playAsync(player, speech, QStringLiteral("speaker"));
    QTest::qWait(2000);
    QVERIFY(c.switchToMic());
    QVERIFY(player.waitForFinished());
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    c.stop();
    QTest::qWait(300);

    // Each segment holds one source's words, stamped with that source.
    const QList<VoskProSeg> segs = c.db->loadSegs(-1);
    QList<VoskProSeg> fromLoopback, fromMic;
    for (const VoskProSeg &s : segs)
        (s.device == 2 ? fromLoopback : fromMic) << s;
    QVERIFY(!fromLoopback.isEmpty() && !fromMic.isEmpty());
    QVERIFY(fromLoopback.last().fend <= fromMic.first().fstart);
    QCOMPARE(countWords(fromMic), sentenceWords);
    QVERIFY(countWords(fromLoopback) < sentenceWords);
}

void TestProjectMainControllerLive::killedRecordingContinuesAtItsAudio()
{
    // What a recording killed before its first result leaves: audio that no
    // segment covers.
    const QString dir = makeProject(QStringLiteral("killed recording"));
    QVERIFY(MediaFixtures::writeMonoWav(dir + QStringLiteral("/data.wav"), MediaFixtures::sinePcm(3, 16000, 300),
                                        16000));
    ProjectMainController c;
    QSignalSpy results(&c, &ProjectMainController::newResult);
    QVERIFY(startRun(c, dir, ProjectMainController::Record));
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTRY_VERIFY_WITH_TIMEOUT(results.count() >= 1, 20000);
    c.stop();
    QTest::qWait(300);
    // Shown times are where the words' audio lies in data.wav.
    for (const VoskProSeg &s : c.db->loadSegs(-1)) {
        QVERIFY2(s.start >= s.fstart / 32000.0f - 0.05f && s.end <= s.fend / 32000.0f + 0.05f,
                 qPrintable(QStringLiteral("%1-%2 s in %3-%4").arg(s.start).arg(s.end).arg(s.fstart).arg(s.fend)));
    }
}

void TestProjectMainControllerLive::killedRecordingKeepsItsLastSentence_data()
{
    QTest::addColumn<bool>("continued");
    QTest::newRow("reopened") << false;
    QTest::newRow("reopened and continued") << true;
}

void TestProjectMainControllerLive::killedRecordingKeepsItsLastSentence()
{
    QFETCH(bool, continued);
    const QString dir = makeProject(QStringLiteral("killed"));
    const QString wav = dir + QStringLiteral("/data.wav");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(childDirVar, dir);
    env.insert(childWavVar, twoSentences);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    {
        VoskProDb db;
        QVERIFY(db.open(dir + QStringLiteral("/data")));
        QVERIFY(countWords(db.loadSegs(-1)) < 2 * sentenceWords);
    }

    ProjectMainController c;
    QVERIFY(continued ? startRun(c, dir, ProjectMainController::Record) : open(c, dir));
    if (continued) {
        QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
        QTRY_VERIFY_WITH_TIMEOUT(countWords(c.db->loadSegs(-1)) >= 3 * sentenceWords, 20000);
        c.stop();
    }
    // The run's end is received after its last result.
    QTRY_VERIFY(!readJsonFile(dir + QStringLiteral("/manifest")).contains(QStringLiteral("live_fstart")));
    // Every word once, at times inside data.wav (whose header tells its
    // whole length again), all of one voice's speaker.
    QCOMPARE(AudioTestUtil::wavPcm(wav).size(), fileSize(wav) - 44);
    const QList<VoskProSeg> segs = c.db->loadSegs(-1);
    QCOMPARE(countWords(segs), (continued ? 3 : 2) * sentenceWords);
    qint64 prevEnd = 0;
    for (const VoskProSeg &s : segs) {
        QVERIFY2(s.fstart >= prevEnd && s.fend <= fileSize(wav) - 44
                     && s.start >= s.fstart / 32000.0f - 0.05f && s.end <= s.fend / 32000.0f + 0.05f,
                 qPrintable(QStringLiteral("%1-%2 s in %3-%4").arg(s.start).arg(s.end).arg(s.fstart).arg(s.fend)));
        QCOMPARE(s.spkId, segs.first().spkId);
        prevEnd = s.fend;
    }

    // A project whose recording is covered opens as it is.
    const QByteArray recording = TestUtil::readFile(wav);
    ProjectMainController again;
    QVERIFY(open(again, dir));
    QCOMPARE(again.db->loadSegs(-1).size(), segs.size());
    QCOMPARE(TestUtil::readFile(wav), recording);
}

void TestProjectMainControllerLive::unrecognisedTailWaitsForItsModel_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("tails");
    QTest::addColumn<bool>("resume"); // an interrupted conversion of the file, that stored nothing
    QTest::addColumn<bool>("killedOnce"); // the opening with the model back, after it stored the tail's text
    QTest::newRow("record") << int(ProjectMainController::Record) << 1 << false << false;
    QTest::newRow("transcribe") << int(ProjectMainController::Transcribe) << 1 << false << false;
    QTest::newRow("convert") << int(ProjectMainController::Convert) << 1 << false << false;
    QTest::newRow("two tails, two records") << int(ProjectMainController::Record) << 2 << false << false;
    QTest::newRow("convert resumed") << int(ProjectMainController::Convert) << 1 << true << false;
    QTest::newRow("record, opening killed") << int(ProjectMainController::Record) << 1 << false << true;
}

// A killed recording's last words whose model is gone stay without text
// through later runs, and get it, once and from their own audio alone, at
// the first opening with the model back.
void TestProjectMainControllerLive::unrecognisedTailWaitsForItsModel()
{
    QFETCH(int, mode);
    QFETCH(int, tails);
    QFETCH(bool, resume);
    QFETCH(bool, killedOnce);
    const QString dir = makeProject(QStringLiteral("tail"));
    const QString wav = dir + QStringLiteral("/data.wav");
    const QString manifest = dir + QStringLiteral("/manifest");
    const QString lang = QStringLiteral("de-s");
    QVERIFY(LangDb::instance()->setLocalPath(lang, tmp.filePath(QStringLiteral("gone"))));
    QList<QPair<qint64, qint64>> ranges;
    for (int t = 0; t < tails; ++t) {
        // What a recording killed before its first result leaves.
        const qint64 at = QFileInfo::exists(wav) ? fileSize(wav) - 44 : 0;
        QVERIFY(at == 0 ? MediaFixtures::writeMonoWav(wav, AudioTestUtil::wavPcm(speech), 16000)
                        : TestUtil::writeFile(wav, TestUtil::readFile(wav) + AudioTestUtil::wavPcm(speech)));
        QVariantMap info = readJsonFile(manifest);
        info.insert(QStringLiteral("live_fstart"), at);
        info.insert(QStringLiteral("live_lang"), lang);
        if (resume) {
            info.insert(QStringLiteral("convert"), QUrl::fromLocalFile(speech).toString());
            for (const char *key : { "convert_status", "convert_fend", "convert_cur" })
                info.insert(QLatin1String(key), 0);
        }
        QVERIFY(writeJsonFile(manifest, info));
        ranges << qMakePair(at, fileSize(wav) - 44);

        ProjectMainController c;
        QSignalSpy results(&c, &ProjectMainController::newResult);
        QSignalSpy stopped(&c, &ProjectMainController::stopped);
        c.setConvertFileUrl(QUrl::fromLocalFile(speech).toString());
        QVERIFY(open(c, dir));
        QVERIFY(c.lastErr().startsWith(QStringLiteral("The end of the last recording could not be turned into text")));
        const qint64 runStart = fileSize(wav) - 44;
        QVERIFY(startRun(c, dir, mode));
        if (mode != ProjectMainController::Convert) {
            QVERIFY(pulse.play(speech, mode == ProjectMainController::Record ? QStringLiteral("vmic") : QString()));
            QTRY_VERIFY_WITH_TIMEOUT(results.count() >= 1, 20000);
            c.stop();
        }
        QTRY_VERIFY_WITH_TIMEOUT(stopped.count() == 1, 20000);
        QTRY_VERIFY(!readJsonFile(manifest).contains(QStringLiteral("live_fstart")));
        ranges << qMakePair(runStart, fileSize(wav) - 44);
    }

    QVERIFY(LangDb::instance()->setLocalPath(lang, modelDir));
    if (killedOnce) {
        // Its text stored, the manifest not yet written.
        const QByteArray before = TestUtil::readFile(manifest);
        ProjectMainController first;
        QVERIFY(open(first, dir));
        QVERIFY(TestUtil::writeFile(manifest, before));
    }
    ProjectMainController c;
    QVERIFY(open(c, dir));
    QCOMPARE(c.lastErr(), QString());
    QVERIFY(!readJsonFile(manifest).contains(QStringLiteral("live_pending")));
    // Each tail and each run: one sentence, from the audio it recorded.
    const QList<VoskProSeg> segs = c.db->loadSegs(-1);
    for (const auto &range : ranges) {
        QList<VoskProSeg> inRange;
        for (const VoskProSeg &s : segs) {
            if (s.fstart >= range.first && s.fend <= range.second)
                inRange << s;
        }
        QVERIFY2(countWords(inRange) == sentenceWords,
                 qPrintable(QStringLiteral("%1 words in %2-%3").arg(countWords(inRange)).arg(range.first).arg(range.second)));
    }
    QCOMPARE(countWords(segs), ranges.size() * sentenceWords);
}

// Words in the final results of the child's recogniser so far.
static std::atomic<int> heardWords{0};

static void killOnceAllHeard(int words)
{
    if (heardWords + words >= 2 * sentenceWords)
        ::raise(SIGKILL);
}

// The child of killedRecordingKeepsItsLastSentence: records two sentences
// and is killed once the recogniser has heard the last word. From the first
// sentence's result on, its GUI thread is kept busy, so nothing after it is
// stored.
static int childRecord()
{
    vosk_set_log_level(-1);
    auto *c = new ProjectMainController;
    c->setProjectDir(qEnvironmentVariable(childDirVar));
    QString err;
    if (!c->init(err))
        return 2;
    QObject::connect(c, &ProjectMainController::newResult, [c] {
        if (countWords(c->db->loadSegs(-1)) >= sentenceWords && !QSemaphore().tryAcquire(1, 60000))
            QCoreApplication::exit(3);
    });
    QObject::connect(c, &ProjectMainController::started, [c](bool ok) {
        auto *rec = c->findChild<VoskThread *>();
        if (!ok || !rec)
            QCoreApplication::exit(2);
        QObject::connect(rec, &VoskThread::partialNewWord, rec, [](const VoskWordList &w) { killOnceAllHeard(w.size()); },
                         Qt::DirectConnection);
        QObject::connect(rec, &VoskThread::newWords, rec, [](const VoskResult &r) {
            killOnceAllHeard(r.words.size());
            heardWords += r.words.size();
        }, Qt::DirectConnection);
        QProcess::startDetached(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vmic"),
                                                           qEnvironmentVariable(childWavVar)});
    });
    c->startRecord();
    return QCoreApplication::exec();
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(childDirVar))
        return childRecord();
    TestProjectMainControllerLive t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}
#include "tst_project_main_controller_live.moc"

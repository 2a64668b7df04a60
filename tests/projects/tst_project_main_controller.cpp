// Conversions through the real engine (synthetic speech model, real speaker
// model, espeak-ng speech), driven as the project page drives the controller.
#include <QtTest>

#include <csignal>
#include <random>

#include "common/AudioTestUtil.h"
#include "common/MediaFixtures.h"
#include "common/ProjectDbAccess.h"
#include "common/TestUtil.h"
#include "projects/JsonFile.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "engine/VoskApi.h"
#include "storage/LangDb.h"
#include "util/BaseUtil.h"

namespace {

const QString modelDir = QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test");
const QString zhModelDir = QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test-zh");
const char sentence[] = "the quick brown fox jumps over the lazy dog";
const int sentenceWords = 9;
// Over five seconds of speech: a result long enough for speaker matching.
const char longSentence[] = "the quick brown fox jumps over the lazy dog and then it runs far away into the forest";
const int longSentenceWords = 17;
const char childDirVar[] = "KALVINOR_CHILD_PROJECT";
const char childFileVar[] = "KALVINOR_CHILD_FILE";
const char childKillVar[] = "KALVINOR_CHILD_KILL_AT";

void useTestModels()
{
    LangDb::instance()->setLocalPath(QStringLiteral("en-s"), modelDir);
    LangDb::instance()->setLocalPath(QStringLiteral("zh-s"), zhModelDir);
}

qint64 pcmBytes(const QString &wav)
{
    return QFileInfo(wav).size() - 44;
}

int countWords(const QString &html)
{
    return BaseUtil::html2text(html).split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
}

}

class TestProjectMainController : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void segmentHtml_data();
    void segmentHtml();
    void rawWordsAreIndentedJson();
    void highlightWrapsTheNextSegment_data();
    void highlightWrapsTheNextSegment();
    void emptyResultStoresNothing();
    void propertiesSignalOnlyOnChange();
    void idleStopAndRestartDoNothing();
    void convertsSpokenFile();
    void playbackEndsAndClearsPlayIdx();
    void userStopRemovesTheItem();
    void failuresLeaveTheManifest_data();
    void failuresLeaveTheManifest();
    void stopWhileStartingNeverStarts();
    void resumesAfterKill();
    void progressWithZeroTotal();
    void convertClearDiscardsTheItem();
    void restartRunsTheSameModeAgain();
    void failedStoreStopsTheRun();

private:
    QString makeProject(const QString &name, const QString &lang = QStringLiteral("en-s"));
    bool openController(ProjectMainController &c, const QString &dir);
    QList<VoskProSeg> segsOf(ProjectMainController &c, qint64 itemId = -1);

    QTemporaryDir tmp;
    QString twoVoicesWav;
    QString longWav;
    int twoVoicesWords = 0;
};

QString TestProjectMainController::makeProject(const QString &name, const QString &lang)
{
    const QString url = ProjectsMgr::instance()->createProject(name, QUrl::fromLocalFile(tmp.path()).toString(), lang, 0.5);
    return QUrl(url).toLocalFile();
}

bool TestProjectMainController::openController(ProjectMainController &c, const QString &dir)
{
    c.setProjectDir(dir);
    QString err;
    return c.init(err);
}

QList<VoskProSeg> TestProjectMainController::segsOf(ProjectMainController &c, qint64 itemId)
{
    return c.db ? c.db->loadSegs(itemId) : QList<VoskProSeg>();
}

void TestProjectMainController::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(tmp.isValid());
    vosk_set_log_level(-1);
    useTestModels();

    const QString m = tmp.filePath(QStringLiteral("m.wav")), ml = tmp.filePath(QStringLiteral("ml.wav"));
    QVERIFY(AudioTestUtil::makeSpeech(QLatin1String(sentence), QStringLiteral("en-us"), m));
    QVERIFY(AudioTestUtil::makeSpeech(QLatin1String(longSentence), QStringLiteral("en-us"), ml));
    const QByteArray male = AudioTestUtil::wavPcm(m), maleLong = AudioTestUtil::wavPcm(ml);
    QVERIFY(!male.isEmpty() && !maleLong.isEmpty());
    // The real speaker model keeps every espeak-ng voice within the same-speaker
    // distance on results this long, so the second voice is a hoarse one:
    // twenty bursts of noise, each a word to the test model.
    const int bursts = 20;
    QByteArray hoarse;
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0, 6000);
    for (int b = 0; b < bursts; ++b) {
        QByteArray burst(16000 * 2 * 3 / 10, '\0');
        auto *p = reinterpret_cast<qint16 *>(burst.data());
        for (int i = 0; i < burst.size() / 2; ++i)
            p[i] = qint16(qBound(-32000.0, noise(gen), 32000.0));
        hoarse += burst + QByteArray(16000 * 2 / 4, '\0');
    }
    const QByteArray gap(48000, '\0');
    twoVoicesWav = tmp.filePath(QStringLiteral("two voices.wav"));
    QVERIFY(MediaFixtures::writeMonoWav(twoVoicesWav, maleLong + gap + hoarse + gap, 16000));
    twoVoicesWords = longSentenceWords + bursts;

    QByteArray longPcm;
    for (int i = 0; i < 20; ++i)
        longPcm += male + gap;
    longWav = tmp.filePath(QStringLiteral("long.wav"));
    QVERIFY(MediaFixtures::writeMonoWav(longWav, longPcm, 16000));
}

void TestProjectMainController::segmentHtml_data()
{
    QTest::addColumn<QVariant>("srate");
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<QList<double>>("pres");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("expected");

    const QList<double> pres = {0, 0.3, 0.01};
    const QStringList abc = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("pause breaks the line") << QVariant(0.2) << false << pres << abc << " a<br/> b c";
    QTest::newRow("chinese has no spaces") << QVariant(0.2) << true << pres << abc << "a<br/>bc";
    QTest::newRow("absent rate is 0.05") << QVariant() << false << QList<double>{0, 0.06, 0.04} << abc
                                         << " a<br/> b c";
    QTest::newRow("zero rate is 0.05") << QVariant(0) << false << QList<double>{0, 0.04, 0.06} << abc
                                       << " a b<br/> c";
    QTest::newRow("rate capped at 1") << QVariant(5) << false << QList<double>{0, 1.5, 0.9} << abc
                                      << " a<br/> b c";
    QTest::newRow("first word never breaks") << QVariant(0.2) << false << QList<double>{9, 0, 0} << abc
                                             << " a b c";
    QTest::newRow("words are escaped") << QVariant(0.5) << false << QList<double>{0, 0}
                                       << QStringList{QStringLiteral("<b>"), QStringLiteral("R&D")}
                                       << " &lt;b&gt; R&amp;D";
}

void TestProjectMainController::segmentHtml()
{
    QFETCH(QVariant, srate);
    QFETCH(bool, chinese);
    QFETCH(QList<double>, pres);
    QFETCH(QStringList, words);
    QFETCH(QString, expected);
    VoskWordList list;
    for (int i = 0; i < words.size(); ++i) {
        VoskWord w;
        w.pre = float(pres.at(i));
        w.word = words.at(i);
        list.append(w);
    }
    QCOMPARE(ProjectMainController::wordsHtml(list, ProjectMainController::pauseThreshold(srate), chinese), expected);
}

void TestProjectMainController::rawWordsAreIndentedJson()
{
    VoskWord w;
    w.pre = 0.25f;
    w.start = 1.5f;
    w.end = 2.0f;
    w.conf = 1.0f;
    w.word = QStringLiteral("naïve");
    const QString json = ProjectMainController::rawWordsJson({w});
    QVERIFY(json.contains(QLatin1Char('\n')));
    const QJsonArray arr = QJsonDocument::fromJson(json.toUtf8()).array();
    QCOMPARE(arr.size(), 1);
    const QJsonObject o = arr.at(0).toObject();
    const QStringList keys = {"conf", "end", "pre", "start", "word"};
    QCOMPARE(o.keys(), keys);
    QCOMPARE(o.value("start").toDouble(), 1.5);
    QCOMPARE(o.value("pre").toDouble(), 0.25);
    QCOMPARE(o.value("word").toString(), QStringLiteral("naïve"));
}

void TestProjectMainController::highlightWrapsTheNextSegment_data()
{
    QTest::addColumn<bool>("highlight");
    QTest::newRow("plain") << false;
    QTest::newRow("highlighted") << true;
}

void TestProjectMainController::highlightWrapsTheNextSegment()
{
    QFETCH(bool, highlight);
    ProjectMainController c;
    QVERIFY(openController(c, makeProject(QStringLiteral("hl"))));
    c.setHighlightLast(highlight);

    QStringList order;
    QVariant hl;
    VoskProSeg got;
    connect(&c, &ProjectMainController::newHighlight, this, [&](const QVariant &v) {
        order << "hl";
        hl = v;
    });
    connect(&c, &ProjectMainController::newResult, this, [&](const VoskSpeakerInfo &, const VoskProSeg &s) {
        order << "seg";
        got = s;
    });

    VoskResult r;
    VoskWord a, b;
    a.start = 1;
    a.end = 1.5;
    a.word = QStringLiteral("hello");
    b.start = 1.6;
    b.end = 2;
    b.pre = 0.1f;
    b.word = QStringLiteral("world");
    r.words = {a, b};
    r.fstart = 100;
    r.fend = 3300;
    c.onVoskNewWords(r);

    QCOMPARE(order.join(','), QString(highlight ? "hl,seg" : "seg"));
    QVERIFY(!c.highlightLast());
    QCOMPARE(got.start, 1.0f);
    QCOMPARE(got.end, 2.0f);
    QCOMPARE(got.fstart, qint64(100));
    QCOMPARE(got.fend, qint64(3300));
    QVERIFY(got.spkId > 0);
    const QList<VoskProSeg> stored = segsOf(c);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().id, got.id);
    if (highlight) {
        const qint64 id = hl.toMap().value("id").toLongLong();
        QVERIFY(id > 0);
        QCOMPARE(hl.toMap().value("text").toString().trimmed(), QStringLiteral("hello world"));
        // Stored (and handed on) in the database's serialised form.
        QVERIFY2(got.html.startsWith(QLatin1String("<a ")), qPrintable(got.html));
        QVERIFY(got.html.contains(QStringLiteral("href=\"#hl%1\"").arg(id)));
        QVERIFY(got.html.contains(QLatin1String("background-color:#A7E4FB;color:#333333;")));
        QVERIFY(got.html.contains(QLatin1String(" hello world</a>")));
        QCOMPARE(stored.first().html, got.html);
        QCOMPARE(c.db->loadCItems().size(), 1);
    } else {
        QCOMPARE(got.html, QStringLiteral(" hello world"));
        QVERIFY(c.db->loadCItems().isEmpty());
    }
}

void TestProjectMainController::emptyResultStoresNothing()
{
    ProjectMainController c;
    QVERIFY(openController(c, makeProject(QStringLiteral("empty"))));
    c.setHighlightLast(true);
    QSignalSpy results(&c, &ProjectMainController::newResult);
    c.onVoskNewWords(VoskResult());
    QCOMPARE(results.count(), 0);
    QVERIFY(segsOf(c).isEmpty());
    QVERIFY(c.highlightLast());
}

void TestProjectMainController::propertiesSignalOnlyOnChange()
{
    const QString dir = makeProject(QStringLiteral("props"));
    ProjectMainController c;
    c.setProjectDir(dir);
    QCOMPARE(c.projectName(), QStringLiteral("props"));
    QCOMPARE(c.projectLang(), QStringLiteral("en-s"));
    QCOMPARE(c.projectUrl(), QUrl::fromLocalFile(dir).toString());

    QSignalSpy name(&c, &ProjectMainController::projectNameChanged);
    c.setProjectName(QStringLiteral("props"));
    QCOMPARE(name.count(), 0);
    c.setProjectName(QStringLiteral("renamed"));
    QCOMPARE(name.count(), 1);
    QCOMPARE(readJsonFile(dir + "/manifest").value("name").toString(), QStringLiteral("renamed"));

    QSignalSpy speed(&c, &ProjectMainController::speedChanged);
    c.setSpeed(1.0 + 1e-15);
    QCOMPARE(speed.count(), 0);
    c.setSpeed(1.5);
    QCOMPARE(speed.count(), 1);

    c.setInfo2({{"a", 1}, {"b", "x"}});
    const QVariantMap m = readJsonFile(dir + "/manifest");
    QCOMPARE(m.value("a").toInt(), 1);
    QCOMPARE(m.value("b").toString(), QStringLiteral("x"));
    QCOMPARE(c.info("b").toString(), QStringLiteral("x"));
    QVERIFY(!c.info("missing").isValid());

    // A manifest that cannot be written is reported.
    QVERIFY(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QVERIFY(QFile::setPermissions(dir + "/manifest", QFileDevice::ReadOwner));
    {
        const TestUtil::WithoutRootRights ordinary;
        c.setInfo("srate", 0.7);
    }
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(c.lastErr(), QStringLiteral("Save project-manifest failed."));
}

void TestProjectMainController::idleStopAndRestartDoNothing()
{
    const QString dir = makeProject(QStringLiteral("idle"));
    ProjectMainController c;
    QVERIFY(openController(c, dir));
    QSignalSpy stopped(&c, &ProjectMainController::stopped);
    QSignalSpy started(&c, &ProjectMainController::started);
    QSignalSpy starting(&c, &ProjectMainController::isStartingChanged);
    c.stop();
    c.restart();
    c.togglePause();
    // No device is opened for a run that does not exist.
    QVERIFY(!c.switchToMic());
    QVERIFY(!c.switchToLoopback());
    QCOMPARE(c.devid(), 0);
    QTest::qWait(200);
    QCOMPARE(stopped.count(), 0);
    QCOMPARE(started.count(), 0);
    QCOMPARE(starting.count(), 0);
    QCOMPARE(c.isPaused(), 0);
}

void TestProjectMainController::convertsSpokenFile()
{
    const QString dir = makeProject(QStringLiteral("convert"));
    ProjectMainController c;
    QVERIFY(openController(c, dir));
    QSignalSpy started(&c, &ProjectMainController::started);
    QSignalSpy stopped(&c, &ProjectMainController::stopped);
    QSignalSpy results(&c, &ProjectMainController::newResult);
    QSignalSpy cleared(&c, &ProjectMainController::afterClearConvertTmp);
    c.setConvertFileUrl(QUrl::fromLocalFile(twoVoicesWav).toString());
    c.startConvert();
    QCOMPARE(c.isStarting(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 60000);
    QVERIFY2(started.at(0).at(0).toBool(), qPrintable(c.lastErr()));
    QCOMPARE(c.isRunning(), 1);
    QVERIFY(c.startSecs() > 0);
    QCOMPARE(c.devid(), 2);
    // While running, the manifest names the file, in state 0.
    QVariantMap m = readJsonFile(dir + "/manifest");
    QCOMPARE(m.value("convert").toString(), c.convertFileUrl());
    QCOMPARE(m.value("convert_status").toInt(), 0);
    QCOMPARE(c.isConvertingFile(), true);
    // A conversion has no pause.
    c.togglePause();
    QCOMPARE(c.isPaused(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 60000);
    QTest::qWait(300);
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(cleared.count(), 0);
    QCOMPARE(c.isRunning(), 0);
    QCOMPARE(c.startSecs(), 0);
    QCOMPARE(c.convertProgress(), 100);
    QVERIFY(!c.hasErr());

    m = readJsonFile(dir + "/manifest");
    QCOMPARE(m.value("convert_status").toInt(), 1);
    QCOMPARE(m.value("convert").toString(), QString());
    QVERIFY(m.value("convert_total").toLongLong() > 0);
    QCOMPARE(m.value("convert_cur").toLongLong(), m.value("convert_total").toLongLong());
    QVERIFY(qAbs(m.value("convert_secs").toLongLong() - qint64(QFileInfo(twoVoicesWav).size() - 44) / 32) < 100);

    const QList<VoskProSeg> segs = segsOf(c);
    QVERIFY(segs.size() >= 2);
    QCOMPARE(results.count(), segs.size());
    int words = 0;
    QSet<qint64> speakers;
    qint64 covered = 0;
    for (int i = 0; i < segs.size(); ++i) {
        const VoskProSeg &s = segs.at(i);
        QCOMPARE(s.device, 2);
        QVERIFY(s.itemId > 0);
        QVERIFY(s.end > s.start);
        if (i == 0)
            QCOMPARE(s.fstart, qint64(0));
        else
            QCOMPARE(s.fstart, segs.at(i - 1).fend);
        covered = s.fend;
        words += countWords(s.html);
        QVERIFY2(s.html.startsWith(QLatin1Char(' ')), qPrintable(s.html));
        speakers.insert(s.spkId);
    }
    // espeak-ng now and then splits a long word into two bursts.
    QVERIFY2(words >= twoVoicesWords && words <= twoVoicesWords + 3, qPrintable(QString::number(words)));
    // The synthetic model names bursts "one", "two", ... in order.
    QVERIFY2(segs.first().html.startsWith(QStringLiteral(" one two three")), qPrintable(segs.first().html));
    QCOMPARE(speakers.size(), 2);

    const qint64 data = pcmBytes(dir + "/data.wav");
    QCOMPARE(data, pcmBytes(twoVoicesWav));
    QVERIFY(covered <= data);
    QVERIFY2(data - covered < 32000 * 2, qPrintable(QString::number(data - covered)));

    auto raw = TestUtil::openRaw(dir + "/data");
    QVERIFY(raw);
    Sqlite3Query q("select status from item where id=?");
    q.bindInt64(segs.first().itemId);
    QCOMPARE(TestUtil::scalar(*raw, q).toInt(), 1);
}

void TestProjectMainController::playbackEndsAndClearsPlayIdx()
{
    qputenv("SDL_AUDIODRIVER", "dummy");
    const QString dir = makeProject(QStringLiteral("play"));
    {
        ProjectMainController c;
        QVERIFY(openController(c, dir));
        QSignalSpy stopped(&c, &ProjectMainController::stopped);
        c.setConvertFileUrl(QUrl::fromLocalFile(twoVoicesWav).toString());
        c.startConvert();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 60000);
    }
    ProjectMainController c;
    QVERIFY(openController(c, dir));
    const QList<VoskProSeg> segs = segsOf(c);
    QVERIFY(!segs.isEmpty());
    QSignalSpy ended(&c, &ProjectMainController::playEnded);
    c.setSpeed(2);
    c.play(0, segs.first().fstart, segs.first().fend);
    QCOMPARE(c.playIdx(), 0);
    QCOMPARE(c.playPaused(), false);
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 20000);
    QCOMPARE(ended.at(0).at(0).toInt(), 0);
    QCOMPARE(ended.at(0).at(1).toBool(), false);
    QCOMPARE(c.playIdx(), -1);

    // A replaced play reports nothing; the new row keeps its bar.
    c.play(3, segs.first().fstart, segs.first().fend);
    c.play(4, segs.first().fstart, segs.first().fend);
    QCOMPARE(c.playIdx(), 4);
    c.playPause();
    QVERIFY(c.playPaused());
    c.playStop();
    QCOMPARE(c.playIdx(), -1);
    QCOMPARE(c.playPaused(), false);
    QTRY_COMPARE(ended.count(), 2);
    QCOMPARE(ended.at(1).at(0).toInt(), 4);

    // The row played again just as its sound ended: the old play's end,
    // reported late, leaves the new play shown.
    c.play(5, segs.first().fstart, segs.first().fstart + 3200);
    QThread::msleep(1500);
    c.play(5, segs.first().fstart, segs.first().fend);
    QTest::qWait(300);
    QCOMPARE(c.playIdx(), 5);
    QCOMPARE(ended.count(), 2);
    c.playStop();
    QTRY_COMPARE(ended.count(), 3);
    QCOMPARE(ended.at(2).at(0).toInt(), 5);

    // A range outside the recording reports an error for its row.
    c.play(7, 1LL << 40, (1LL << 40) + 100);
    QTRY_COMPARE(ended.count(), 4);
    QCOMPARE(ended.at(3).at(0).toInt(), 7);
    QCOMPARE(ended.at(3).at(1).toBool(), true);
    QVERIFY(!ended.at(3).at(2).toString().isEmpty());
    QCOMPARE(c.playIdx(), -1);
}

void TestProjectMainController::userStopRemovesTheItem()
{
    const QString dir = makeProject(QStringLiteral("stopped"));
    ProjectMainController c;
    QVERIFY(openController(c, dir));
    // One earlier segment of live sound must survive the stop.
    VoskResult r;
    VoskWord w;
    w.start = 0;
    w.end = 0.5;
    w.word = QStringLiteral("earlier");
    r.words = {w};
    c.onVoskNewWords(r);

    QSignalSpy stopped(&c, &ProjectMainController::stopped);
    QSignalSpy cleared(&c, &ProjectMainController::afterClearConvertTmp);
    c.setConvertFileUrl(QUrl::fromLocalFile(longWav).toString());
    connect(&c, &ProjectMainController::convertProgressChanged, this, [&c] {
        if (c.convertProgress() >= 30 && c.convertProgress() < 100)
            QMetaObject::invokeMethod(&c, "stop", Qt::QueuedConnection);
    });
    c.startConvert();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 60000);
    QVERIFY2(c.convertProgress() < 100, "the conversion ended before the stop");
    QCOMPARE(cleared.count(), 1);
    const qint64 item = cleared.at(0).at(0).toLongLong();
    QVERIFY(item > 0);
    // Whatever the drained recogniser still reports arrives now.
    QTest::qWait(500);
    QCOMPARE(stopped.count(), 1);
    QVERIFY(segsOf(c, item).isEmpty());
    QCOMPARE(segsOf(c).size(), 1);
    const QVariantMap m = readJsonFile(dir + "/manifest");
    QCOMPARE(m.value("convert_status").toInt(), 0);
    QCOMPARE(m.value("convert").toString(), QString());
    QVERIFY(!c.isConvertingFile());
    QVERIFY(!c.hasErr());
    // Nothing is resumed later, and the next conversion starts at the beginning.
    QCOMPARE(c.convertSkip(), qlonglong(0));
}

void TestProjectMainController::failuresLeaveTheManifest_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("err");
    const QString missing = tmp.filePath(QStringLiteral("no such file.mp3"));
    QTest::newRow("missing file") << "en-s" << missing << QStringLiteral("%1 not exists.").arg(missing);
    QTest::newRow("no model") << "de-s" << QString() << QStringLiteral("Failed to initialize vosk model.");
}

void TestProjectMainController::failuresLeaveTheManifest()
{
    QFETCH(QString, lang);
    QFETCH(QString, file);
    QFETCH(QString, err);
    const QString dir = makeProject(QStringLiteral("fail"), lang);
    const QByteArray before = TestUtil::readFile(dir + "/manifest");
    ProjectMainController c;
    QVERIFY(openController(c, dir));
    QSignalSpy started(&c, &ProjectMainController::started);
    QSignalSpy stopped(&c, &ProjectMainController::stopped);
    c.setConvertFileUrl(QUrl::fromLocalFile(file.isEmpty() ? twoVoicesWav : file).toString());
    c.startConvert();
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 60000);
    QCOMPARE(started.at(0).at(0).toBool(), false);
    QCOMPARE(c.lastErr(), err);
    QVERIFY(c.hasErr());
    QCOMPARE(c.isStarting(), 0);
    QCOMPARE(c.isRunning(), 0);
    QCOMPARE(stopped.count(), 0);
    QCOMPARE(TestUtil::readFile(dir + "/manifest"), before);
}

void TestProjectMainController::stopWhileStartingNeverStarts()
{
    const QString dir = makeProject(QStringLiteral("leave while starting"));
    auto *c = new ProjectMainController;
    QVERIFY(openController(*c, dir));
    QSignalSpy started(c, &ProjectMainController::started);
    c->setConvertFileUrl(QUrl::fromLocalFile(twoVoicesWav).toString());
    c->startConvert();
    QCOMPARE(c->isStarting(), 1);
    c->stop();
    QCOMPARE(c->isStarting(), 0);
    QTest::qWait(500);
    QCOMPARE(started.count(), 0);
    QCOMPARE(c->isRunning(), 0);
    QVERIFY(!QFileInfo::exists(dir + "/data.wav"));
    QVERIFY(readJsonFile(dir + "/manifest").value("convert").toString().isEmpty());
    delete c;
}

void TestProjectMainController::progressWithZeroTotal()
{
    ProjectMainController c;
    c.setProjectDir(makeProject(QStringLiteral("zero")));
    c.onFFMpegProgress(500, 0, 0);
    QCOMPARE(c.convertProgress(), 0);
    c.onFFMpegProgress(50, 200, 1000);
    QCOMPARE(c.convertProgress(), 25);
    QCOMPARE(c.info("convert_cur").toLongLong(), qlonglong(50));
    QCOMPARE(c.info("convert_secs").toLongLong(), qlonglong(1000));
}

void TestProjectMainController::convertClearDiscardsTheItem()
{
    const QString dir = makeProject(QStringLiteral("clear"));
    ProjectMainController c;
    QVERIFY(openController(c, dir));
    const QString url = QUrl::fromLocalFile(twoVoicesWav).toString();
    const qint64 item = c.db->beginItem(url);
    QVERIFY(item > 0);
    VoskProSeg seg;
    seg.html = QStringLiteral(" one");
    QVERIFY(c.db->addSeg(seg, QStringLiteral("[]"), item) > 0);
    c.setInfo2({{"convert", url}, {"convert_status", 0}});
    QSignalSpy cleared(&c, &ProjectMainController::afterClearConvertTmp);
    c.convertClear();
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.at(0).at(0).toLongLong(), item);
    QVERIFY(segsOf(c, item).isEmpty());
    const QVariantMap m = readJsonFile(dir + "/manifest");
    QCOMPARE(m.value("convert").toString(), QString());
    QCOMPARE(m.value("convert_status").toInt(), 1);
    QVERIFY(!c.isConvertingFile());
}

void TestProjectMainController::restartRunsTheSameModeAgain()
{
    const QString dir = makeProject(QStringLiteral("restart"));
    ProjectMainController c;
    QVERIFY(openController(c, dir));
    QSignalSpy started(&c, &ProjectMainController::started);
    QSignalSpy stopped(&c, &ProjectMainController::stopped);
    c.setConvertFileUrl(QUrl::fromLocalFile(longWav).toString());
    c.startConvert();
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 60000);
    c.restart();
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(c.isRunning(), 0);
    // The new run starts from the event loop, in the same mode.
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 2, 60000);
    QVERIFY(started.at(1).at(0).toBool());
    QCOMPARE(c.mode(), ProjectMainController::Convert);
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 2, 60000);
    QCOMPARE(c.convertStatus(), 1);
}

void TestProjectMainController::resumesAfterKill()
{
    const QString dir = makeProject(QStringLiteral("killed"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(childDirVar, dir);
    env.insert(childFileVar, QUrl::fromLocalFile(longWav).toString());
    env.insert(childKillVar, "45");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    QVariantMap m = readJsonFile(dir + "/manifest");
    QCOMPARE(m.value("convert").toString(), QUrl::fromLocalFile(longWav).toString());
    QCOMPARE(m.value("convert_status").toInt(), 0);
    const qint64 cur = m.value("convert_cur").toLongLong();
    QVERIFY(cur > 0);
    QVERIFY(cur < m.value("convert_total").toLongLong());

    ProjectMainController c;
    QVERIFY(openController(c, dir));
    const int before = segsOf(c).size();
    QVERIFY(before > 0);
    const qint64 dataAtKill = pcmBytes(dir + "/data.wav");
    // What the page does after opening.
    QVERIFY(c.isConvertingFile());
    QCOMPARE(c.convertStatus(), 0);
    QSignalSpy stopped(&c, &ProjectMainController::stopped);
    c.convertContinue();
    QCOMPARE(c.convertSkip(), cur);
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 60000);
    QVERIFY2(!c.hasErr(), qPrintable(c.lastErr()));

    m = readJsonFile(dir + "/manifest");
    QCOMPARE(m.value("convert_status").toInt(), 1);
    QVERIFY(m.value("convert").toString().isEmpty());

    const QList<VoskProSeg> segs = segsOf(c);
    QVERIFY(segs.size() > before);
    QSet<qint64> items;
    for (int i = 0; i < segs.size(); ++i) {
        items.insert(segs.at(i).itemId);
        QVERIFY(segs.at(i).end > segs.at(i).start);
        if (i > 0) {
            QVERIFY2(segs.at(i).start >= segs.at(i - 1).end,
                     qPrintable(QStringLiteral("%1 starts before %2 ends").arg(i).arg(i - 1)));
            QVERIFY(segs.at(i).fstart >= segs.at(i - 1).fend);
        }
    }
    QCOMPARE(items.size(), 1);

    // Lost at the kill: at most the ring, one decoded batch and one read block;
    // never more audio than the file has.
    const qint64 file = pcmBytes(longWav);
    const qint64 data = pcmBytes(dir + "/data.wav");
    QVERIFY(data > dataAtKill);
    QVERIFY2(data <= file, qPrintable(QStringLiteral("%1 > %2").arg(data).arg(file)));
    QVERIFY2(file - data <= 64000 + 32000 + 3200, qPrintable(QString::number(file - data)));
}

void TestProjectMainController::failedStoreStopsTheRun()
{
    const QString dir = makeProject(QStringLiteral("store fails"));
    ProjectMainController c;
    QVERIFY(openController(c, dir));
    {
        const auto raw = TestUtil::openRaw(QDir(dir).filePath(QStringLiteral("data")));
        QVERIFY(raw);
        TestUtil::exec(*raw, QStringLiteral("create trigger nostore before insert on vres"
                                            " begin select raise(abort, 'no room for segments'); end"));
    }
    QSignalSpy results(&c, &ProjectMainController::newResult);
    QSignalSpy stopped(&c, &ProjectMainController::stopped);
    c.setConvertFileUrl(QUrl::fromLocalFile(longWav).toString());
    c.startConvert();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 60000);
    QCOMPARE(results.count(), 0);
    QVERIFY(c.hasErr());
    QVERIFY2(c.lastErr().contains(QLatin1String("no room for segments")), qPrintable(c.lastErr()));
    QVERIFY(c.convertStatus() != 1);
}

// The child of resumesAfterKill: converts, and kills itself half-way.
static int childConvert()
{
    useTestModels();
    const int killAt = qEnvironmentVariableIntValue(childKillVar);
    auto *c = new ProjectMainController;
    c->setProjectDir(qEnvironmentVariable(childDirVar));
    QString err;
    if (!c->init(err))
        return 2;
    QObject::connect(c, &ProjectMainController::convertProgressChanged, [c, killAt] {
        if (c->convertProgress() >= killAt)
            ::raise(SIGKILL);
    });
    QObject::connect(c, &ProjectMainController::stopped, [] { QCoreApplication::exit(3); });
    c->setConvertFileUrl(qEnvironmentVariable(childFileVar));
    c->startConvert();
    return QCoreApplication::exec();
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(childDirVar))
        return childConvert();
    TestProjectMainController t;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&t, argc, argv);
}

#include "tst_project_main_controller.moc"

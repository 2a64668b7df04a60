#include <QtTest>
#include <QScopeGuard>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <mutex>
#include <thread>

#include "common/AudioTestUtil.h"
#include "common/TestUtil.h"
#include "engine/OpenccConverter.h"
#include "engine/RingBuffer.h"
#include "engine/VoskModelContext.h"
#include "engine/VoskThread.h"

namespace {

const QString modelDir = QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test");
const QString zhModelDir = QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test-zh");
const QString spkDir = QStringLiteral(KALVINOR_THIRD_PARTY_DIR "/spkm");
const char sentence[] = "the quick brown fox jumps over the lazy dog";
const int sentenceWords = 9;

// What one recognition pass delivered, in arrival order.
struct Pass
{
    QList<VoskResult> results;
    QList<VoskWordList> partials;
    QList<int> order; // 1 final, 0 partial
    QList<qint64> fileSizeAtResult;
    bool ended = false;
    int wordCount() const
    {
        int n = 0;
        for (const VoskResult &r : results)
            n += r.words.size();
        return n;
    }
};

float cosine(const VoskSpk &a, const VoskSpk &b)
{
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return float(ab / std::sqrt(aa * bb));
}

}

class TestVoskThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wavHeader_data();
    void wavHeader();
    void updateWavHeaderKeepsPosition();
    void modelLoadFailures_data();
    void modelLoadFailures();
    void loadedModelsAnswerAtOnce();
    void initFailures_data();
    void initFailures();
    void recognisesThroughTheRing();
    void splitEndsTheUtteranceThere();
    void everyCapturePeriodShowsItsLastBlock();
    void appendsToExistingRecording();
    void tooShortRecordingStartsAfresh();
    void speakersDiffer();
    void missingOpenccConfigLeavesText();
    void chineseModelGivesTraditionalScript();

private:
    QSharedPointer<VoskModelContext> loadContext(const QString &mp, const QString &spkmp, QString *err = nullptr);
    bool recognise(const QSharedPointer<VoskModelContext> &ctx, const QByteArray &pcm, const QString &wavPath,
                   bool append, Pass *pass, float timeOffset = 0, qint64 split = -1);
    QString soxi(const QString &flag, const QString &path);

    QTemporaryDir tmp;
    QByteArray pcmMale;   // sentence, 1.5 s silence, sentence
    QByteArray pcmMale2;  // another sentence, same voice
    QByteArray pcmFemale; // the first sentence, another voice
    QSharedPointer<VoskModelContext> ctx;
};

void TestVoskThread::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(tmp.isValid());
    const QString a = tmp.filePath(QStringLiteral("a.wav")), b = tmp.filePath(QStringLiteral("b.wav")),
                  f = tmp.filePath(QStringLiteral("f.wav"));
    QVERIFY(AudioTestUtil::makeSpeech(QLatin1String(sentence), QStringLiteral("en-us"), a));
    QVERIFY(AudioTestUtil::makeSpeech(QStringLiteral("pack my box with five dozen liquor jugs"),
                                      QStringLiteral("en-us"), b));
    QVERIFY(AudioTestUtil::makeSpeech(QLatin1String(sentence), QStringLiteral("en-us+f3"), f));
    const QByteArray s = AudioTestUtil::wavPcm(a);
    QVERIFY(s.size() > 32000);
    pcmMale = s + QByteArray(48000, '\0') + s;
    pcmMale2 = AudioTestUtil::wavPcm(b);
    pcmFemale = AudioTestUtil::wavPcm(f);
    QVERIFY(!pcmMale2.isEmpty() && !pcmFemale.isEmpty());

    vosk_set_log_level(-1);
    QString err;
    ctx = loadContext(modelDir, spkDir, &err);
    QVERIFY2(ctx, qPrintable(err));
    QVERIFY(!ctx->isChinese());
    QVERIFY(ctx->description().startsWith(QLatin1String("Synthetic Vosk test model")));
}

QSharedPointer<VoskModelContext> TestVoskThread::loadContext(const QString &mp, const QString &spkmp, QString *err)
{
    QSharedPointer<VoskModelContext> c(new VoskModelContext);
    // Queued to this thread: a QSignalSpy would be filled from the loader's.
    QObject receiver;
    int answers = 0;
    bool ok = false;
    connect(c.data(), &VoskModelContext::initEnd, &receiver, [&](bool res, const QString &e) {
        ++answers;
        ok = res;
        if (err)
            *err = e;
    });
    c->beginInit(mp, spkmp);
    QElapsedTimer t;
    t.start();
    while (answers == 0 && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    c->wait();
    return ok ? c : QSharedPointer<VoskModelContext>();
}

bool TestVoskThread::recognise(const QSharedPointer<VoskModelContext> &c, const QByteArray &pcm,
                               const QString &wavPath, bool append, Pass *pass, float timeOffset, qint64 split)
{
    QSharedPointer<RingBuffer> ring(new RingBuffer);
    if (!ring->init(64000))
        return false;
    VoskThread th;
    if (!th.init(c, ring, 16000, wavPath, append))
        return false;
    th.timeOffset = timeOffset;
    if (split >= 0)
        th.splitAt(split);

    QObject receiver;
    std::mutex sizesMutex;
    QList<qint64> sizes;
    connect(&th, &VoskThread::newWords, &receiver, [pass](const VoskResult &r) {
        pass->results.append(r);
        pass->order.append(1);
    });
    connect(&th, &VoskThread::partialNewWord, &receiver, [pass](const VoskWordList &w) {
        pass->partials.append(w);
        pass->order.append(0);
    });
    connect(&th, &VoskThread::atEnd, &receiver, [pass] { pass->ended = true; });
    // On the recogniser's own thread: what is on disk when a result leaves.
    connect(&th, &VoskThread::newWords, &th, [&](const VoskResult &) {
        std::lock_guard<std::mutex> lock(sizesMutex);
        sizes.append(QFileInfo(wavPath).size());
    }, Qt::DirectConnection);

    th.start(QThread::LowPriority);
    std::thread producer([&] {
        int off = 0;
        while (off < pcm.size()) {
            const int n = ring->write(pcm.constData() + off, qMin(4096, pcm.size() - off), true);
            if (n <= 0)
                break;
            off += n;
        }
        ring->close();
    });
    producer.join();
    const bool finished = th.wait(60000);
    QElapsedTimer t;
    t.start();
    while (!pass->ended && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    pass->fileSizeAtResult = sizes;
    return finished && pass->ended;
}

QString TestVoskThread::soxi(const QString &flag, const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("soxi"), {flag, path});
    p.waitForFinished();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

void TestVoskThread::wavHeader_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty recording") << qint64(44) << 16000
        << QByteArray::fromHex("524946462400000057415645666D74201000000001000100803E0000007D0000020010006461746100000000");
    QTest::newRow("one second") << qint64(44 + 32000) << 16000
        << QByteArray::fromHex("52494646247D000057415645666D74201000000001000100803E0000007D00000200100064617461007D0000");
    QTest::newRow("beyond 4 GiB") << (qint64(1) << 33) << 8000
        << QByteArray::fromHex("52494646FFFFFFFF57415645666D7420100000000100010040" "1F0000803E00000200100064617461FFFFFFFF");
}

void TestVoskThread::wavHeader()
{
    QFETCH(qint64, total);
    QFETCH(int, rate);
    QFETCH(QByteArray, expected);
    QCOMPARE(makeWavHeader(total, rate, 2).toHex(), expected.toHex());
}

void TestVoskThread::updateWavHeaderKeepsPosition()
{
    QFile f(tmp.filePath(QStringLiteral("hdr.wav")));
    QVERIFY(f.open(QIODevice::ReadWrite | QIODevice::Truncate));
    f.write(QByteArray(44, '\0'));
    f.write(QByteArray(1000, 'a'));
    QVERIFY(f.seek(500));
    updateWavHeader(f, 16000, 2);
    QCOMPARE(f.pos(), qint64(500));
    f.write("b");
    f.close();
    const QByteArray all = TestUtil::readFile(f.fileName());
    QCOMPARE(all.left(44), makeWavHeader(1044, 16000, 2));
    QCOMPARE(all.at(500), 'b');
    QCOMPARE(soxi(QStringLiteral("-s"), f.fileName()), QStringLiteral("500"));
}

void TestVoskThread::modelLoadFailures_data()
{
    QTest::addColumn<QString>("mp");
    QTest::addColumn<QString>("spkmp");
    QTest::addColumn<QString>("message");
    QTest::newRow("language model") << QStringLiteral("/nonexistent/model") << spkDir
                                    << QStringLiteral("Failed to initialize vosk model.");
    QTest::newRow("speaker model") << modelDir << QStringLiteral("/nonexistent/spkm")
                                   << QStringLiteral("Failed to initialize vosk spk-model.");
}

void TestVoskThread::modelLoadFailures()
{
    QFETCH(QString, mp);
    QFETCH(QString, spkmp);
    QFETCH(QString, message);
    QString err;
    QVERIFY(!loadContext(mp, spkmp, &err));
    QCOMPARE(err, message);
}

void TestVoskThread::loadedModelsAnswerAtOnce()
{
    QSignalSpy spy(ctx.data(), &VoskModelContext::initEnd);
    ctx->beginInit(modelDir, spkDir);
    QCOMPARE(spy.count(), 1); // synchronously, nothing reloaded
    QCOMPARE(spy.first().at(0).toBool(), true);
    QCOMPARE(spy.first().at(1).toString(), QString());
    QVERIFY(!ctx->isRunning());

    // Paths differ only in case: a different folder on Linux, so a reload.
    const QString upper = tmp.filePath(QStringLiteral("MODEL"));
    QVERIFY(QFile::link(modelDir, upper));
    QVERIFY(QFile::link(modelDir, tmp.filePath(QStringLiteral("model"))));
    VoskModelContext c;
    QObject receiver;
    QList<bool> answers;
    connect(&c, &VoskModelContext::initEnd, &receiver, [&](bool res) { answers.append(res); });
    c.beginInit(upper, spkDir);
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 30000);
    c.beginInit(tmp.filePath(QStringLiteral("model")), spkDir);
    QCOMPARE(answers.size(), 1); // not answered at once: a load is under way
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 2, 30000);
    QCOMPARE(answers, QList<bool>({true, true}));
}

void TestVoskThread::initFailures_data()
{
    QTest::addColumn<bool>("withCtx");
    QTest::addColumn<bool>("withRing");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("no models") << false << true << QStringLiteral("data.wav") << QStringLiteral("invalid vosk models.");
    QTest::newRow("no ring") << true << false << QStringLiteral("data.wav") << QStringLiteral("invalid ring-buffer.");
    QTest::newRow("unwritable recording") << true << true << QStringLiteral("missing/folder/data.wav") << QString();
}

void TestVoskThread::initFailures()
{
    QFETCH(bool, withCtx);
    QFETCH(bool, withRing);
    QFETCH(QString, path);
    QFETCH(QString, message);
    QSharedPointer<RingBuffer> ring;
    if (withRing) {
        ring.reset(new RingBuffer);
        QVERIFY(ring->init(64000));
    }
    VoskThread th;
    QSignalSpy spy(&th, &VoskThread::hasErrChanged);
    QVERIFY(!th.init(withCtx ? ctx : QSharedPointer<VoskModelContext>(), ring, 16000, tmp.filePath(path), true));
    QVERIFY(th.hasErr());
    QCOMPARE(spy.count(), 1);
    if (message.isEmpty())
        QVERIFY(!th.lastErr().isEmpty());
    else
        QCOMPARE(th.lastErr(), message);
    // Started anyway, it ends at once instead of crashing.
    QObject receiver;
    int ends = 0;
    connect(&th, &VoskThread::atEnd, &receiver, [&ends] { ++ends; });
    th.start();
    QVERIFY(th.wait(5000));
    QTRY_COMPARE(ends, 1);
}

void TestVoskThread::recognisesThroughTheRing()
{
    const QString wav = tmp.filePath(QStringLiteral("rec/data.wav"));
    QDir().mkpath(QFileInfo(wav).path());
    Pass pass;
    QVERIFY(recognise(ctx, pcmMale, wav, true, &pass, 2.5f));

    QCOMPARE(pass.wordCount(), 2 * sentenceWords);
    QVERIFY2(pass.results.size() >= 2, "the silence between the sentences ends a result");
    QVERIFY(!pass.partials.isEmpty());

    // Adjacent byte ranges that cover all the PCM.
    qint64 expectStart = 0;
    for (const VoskResult &r : pass.results) {
        QCOMPARE(r.fstart, expectStart);
        QVERIFY(r.fend > r.fstart);
        expectStart = r.fend;
    }
    QCOMPARE(expectStart, qint64(pcmMale.size()));

    // The recording held each result's audio the moment the result was emitted.
    QCOMPARE(pass.fileSizeAtResult.size(), pass.results.size());
    for (int i = 0; i < pass.results.size(); ++i)
        QVERIFY(pass.fileSizeAtResult.at(i) >= 44 + pass.results.at(i).fend);

    // Word times: on the offset time line; pre is 0 for the run's first word,
    // else measured from the previous final word, also for partial results.
    float lastFinalEnd = 0;
    int ri = 0, pi = 0;
    for (int kind : pass.order) {
        const VoskWordList &words = kind ? pass.results.at(ri++).words : pass.partials.at(pi++);
        float prev = lastFinalEnd;
        for (const VoskWord &w : words) {
            QVERIFY(w.start >= 2.5f && w.end >= w.start);
            QVERIFY(qFuzzyCompare(1.0f + w.pre, 1.0f + (prev == 0 ? 0 : w.start - prev)));
            prev = w.end;
        }
        if (kind)
            lastFinalEnd = words.last().end;
    }
    QCOMPARE(pass.results.first().words.first().pre, 0.0f);

    // Speaker vectors of the real speaker model.
    int withSpk = 0;
    for (const VoskResult &r : pass.results) {
        if (r.spk.empty()) {
            QCOMPARE(r.spk_frames, 0);
            continue;
        }
        ++withSpk;
        QCOMPARE(int(r.spk.size()), 128);
        QVERIFY(r.spk_frames > 0);
    }
    QVERIFY(withSpk >= 1);

    // data.wav: a valid header and exactly the bytes fed.
    const QByteArray file = TestUtil::readFile(wav);
    QCOMPARE(file.size(), 44 + pcmMale.size());
    QVERIFY(file.mid(44) == pcmMale);
    QCOMPARE(file.left(44), makeWavHeader(file.size(), 16000, 2));
    QCOMPARE(soxi(QStringLiteral("-r"), wav), QStringLiteral("16000"));
    QCOMPARE(soxi(QStringLiteral("-c"), wav), QStringLiteral("1"));
    QCOMPARE(soxi(QStringLiteral("-b"), wav), QStringLiteral("16"));
    QCOMPARE(soxi(QStringLiteral("-s"), wav), QString::number(pcmMale.size() / 2));
}

void TestVoskThread::splitEndsTheUtteranceThere()
{
    // In the middle of the first sentence, and not on a block boundary.
    const qint64 split = 40000 + 1234;
    Pass pass;
    QVERIFY(recognise(ctx, pcmMale, tmp.filePath(QStringLiteral("split.wav")), false, &pass, 0, split));
    int at = 0;
    while (at < pass.results.size() && pass.results.at(at).fend != split)
        ++at;
    QVERIFY2(at + 1 < pass.results.size(), "no result ends at the split");
    QCOMPARE(pass.results.at(at + 1).fstart, split);
    // Word times stay positions in the recording across the split.
    for (const VoskResult &r : pass.results) {
        QVERIFY(r.words.first().start >= r.fstart / 32000.0f - 0.05f);
        QVERIFY(r.words.last().end <= r.fend / 32000.0f + 0.05f);
    }
}

void TestVoskThread::everyCapturePeriodShowsItsLastBlock()
{
    // Capture hands over a second of sound at a time; the words of each
    // period must show once it is read, not a period later.
    const int period = 32000;
    QSharedPointer<RingBuffer> ring(new RingBuffer);
    QVERIFY(ring->init(5 * period));
    VoskThread th;
    QVERIFY(th.init(ctx, ring, 16000, tmp.filePath(QStringLiteral("periods.wav")), false));
    QString shown;
    connect(&th, &VoskThread::partialNewWord, &th, [&](const VoskWordList &words) {
        shown.clear();
        for (const VoskWord &w : words)
            shown += w.word + ' ';
    });
    // The same recogniser fed the same blocks here tells what the last block
    // of each period gives.
    VoskRecognizer *ref = vosk_recognizer_new_spk(ctx->model(), 16000.0f, ctx->spkModel());
    QVERIFY(ref);
    vosk_recognizer_set_partial_words(ref, 1);
    const auto cleanup = qScopeGuard([&] {
        ring->close();
        th.wait();
        vosk_recognizer_free(ref);
    });
    th.start();
    int checked = 0;
    for (int off = 0; off + period <= pcmMale.size(); off += period) {
        bool final = false;
        for (int b = 0; b < period; b += 3200) {
            if ((final = vosk_recognizer_accept_waveform(ref, pcmMale.constData() + off + b, 3200) != 0))
                vosk_recognizer_result(ref);
        }
        QString expected;
        for (const QJsonValue &w : QJsonDocument::fromJson(vosk_recognizer_partial_result(ref))["partial_result"].toArray())
            expected += w["word"].toString() + ' ';
        QCOMPARE(ring->write(pcmMale.constData() + off, period, true), period);
        if (final || expected.isEmpty()) {
            QTest::qWait(100);
            continue;
        }
        ++checked;
        QTRY_COMPARE_WITH_TIMEOUT(shown, expected, 3000);
    }
    QVERIFY(checked >= 3);
}

void TestVoskThread::appendsToExistingRecording()
{
    const QString wav = tmp.filePath(QStringLiteral("append/data.wav"));
    QDir().mkpath(QFileInfo(wav).path());
    Pass first, second;
    QVERIFY(recognise(ctx, pcmMale2, wav, true, &first));
    QVERIFY(recognise(ctx, pcmFemale, wav, true, &second));
    QVERIFY(!second.results.isEmpty());
    QCOMPARE(second.results.first().fstart, qint64(pcmMale2.size()));
    QCOMPARE(second.results.last().fend, qint64(pcmMale2.size() + pcmFemale.size()));
    const QByteArray file = TestUtil::readFile(wav);
    QVERIFY(file.mid(44) == pcmMale2 + pcmFemale);
    QCOMPARE(file.left(44), makeWavHeader(file.size(), 16000, 2));

    // append false starts the recording again.
    Pass third;
    QVERIFY(recognise(ctx, pcmFemale, wav, false, &third));
    QVERIFY(TestUtil::readFile(wav).mid(44) == pcmFemale);
    QCOMPARE(third.results.first().fstart, qint64(0));
}

void TestVoskThread::tooShortRecordingStartsAfresh()
{
    const QString wav = tmp.filePath(QStringLiteral("short/data.wav"));
    QVERIFY(TestUtil::writeFile(wav, QByteArray("RIFF\x10\0\0\0WAVE", 12)));
    Pass pass;
    QVERIFY(recognise(ctx, pcmMale2, wav, true, &pass));
    QVERIFY(!pass.results.isEmpty());
    QCOMPARE(pass.results.first().fstart, qint64(0));
    QCOMPARE(pass.results.last().fend, qint64(pcmMale2.size()));
    const QByteArray file = TestUtil::readFile(wav);
    QCOMPARE(file.size(), 44 + pcmMale2.size());
    QVERIFY(file.mid(44) == pcmMale2);
}

void TestVoskThread::speakersDiffer()
{
    auto longestSpk = [&](const QByteArray &pcm, const QString &name) {
        Pass pass;
        recognise(ctx, pcm, tmp.filePath(name), false, &pass);
        VoskResult best;
        for (const VoskResult &r : pass.results)
            if (r.spk_frames > best.spk_frames)
                best = r;
        return best.spk;
    };
    const VoskSpk male = longestSpk(pcmMale, QStringLiteral("m.wav"));
    const VoskSpk male2 = longestSpk(pcmMale2, QStringLiteral("m2.wav"));
    const VoskSpk female = longestSpk(pcmFemale, QStringLiteral("f.wav"));
    QCOMPARE(int(male.size()), 128);
    QCOMPARE(int(male2.size()), 128);
    QCOMPARE(int(female.size()), 128);
    const float same = cosine(male, male2), other = cosine(male, female);
    QVERIFY2(other < same - 0.1f, qPrintable(QStringLiteral("same voice %1, other voice %2").arg(same).arg(other)));
}

void TestVoskThread::missingOpenccConfigLeavesText()
{
    OpenccConverter &cc = OpenccConverter::instance();
    QVERIFY(!cc.open(QStringLiteral("no-such-config.json")));
    QCOMPARE(cc.convert(QStringLiteral("这个软件")), QStringLiteral("这个软件"));
}

void TestVoskThread::chineseModelGivesTraditionalScript()
{
    QString err;
    QSharedPointer<VoskModelContext> zh = loadContext(zhModelDir, spkDir, &err);
    QVERIFY2(zh, qPrintable(err));
    QVERIFY(zh->isChinese());
    Pass pass;
    QVERIFY(recognise(zh, pcmMale2, tmp.filePath(QStringLiteral("zh.wav")), false, &pass));
    QCOMPARE(pass.wordCount(), 8);
    const QStringList traditional = QStringLiteral("這個 軟件 說話 識別 記錄 發現 簡體 漢語 時間 東西").split(' ');
    for (const VoskResult &r : pass.results)
        for (const VoskWord &w : r.words)
            QVERIFY2(traditional.contains(w.word), qPrintable(w.word));
    for (const VoskWordList &words : pass.partials)
        for (const VoskWord &w : words)
            QVERIFY2(traditional.contains(w.word), qPrintable(w.word));
}

QTEST_GUILESS_MAIN(TestVoskThread)
#include "tst_vosk_thread.moc"

#include "engine/AudioFFMpegDecodeThread.h"
#include "engine/RingBuffer.h"

#include "common/MediaFixtures.h"
#include "common/TestUtil.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace {

constexpr int bytesPerSecond = 32000;

struct Progress
{
    qint64 cur, total, totalmsecs;
};

// Runs one decode into a ring drained by a reader thread, the way a
// conversion does, and keeps everything it produced.
struct Decode
{
    QByteArray pcm;
    QList<Progress> progress;
    bool hasErr = false;
    QString lastErr;
    bool ended = false;
    bool endedEarly = false;
    int skippedPackets = 0;
    qint64 decodedMsecs = 0;
    qint64 declaredMsecs = 0;
    int pcmBeforeLastProgress = -1;
    // The decoder's position of the output's middle byte.
    qint64 middle = -1;
};

Decode decodeFile(const QString &path, qint64 startOffset = 0)
{
    Decode out;
    auto ring = QSharedPointer<RingBuffer>::create();
    if (!ring->init(64000))
        return out;
    QAtomicInt produced;
    std::thread reader([&] {
        char buf[3200];
        for (;;) {
            const int n = ring->read(buf, sizeof buf, true);
            if (n < 0)
                break;
            out.pcm.append(buf, n);
            produced.storeRelease(out.pcm.size());
        }
    });
    AudioFFMpegDecodeThread dec;
    dec.setup(ring, path, 16000, AV_SAMPLE_FMT_S16);
    dec.startOffset = startOffset;
    QObject::connect(&dec, &AudioFFMpegDecodeThread::progress, &dec,
                     [&](qlonglong c, qlonglong t, qlonglong ms) {
                         out.progress.append({c, t, ms});
                         out.pcmBeforeLastProgress = produced.loadAcquire();
                     },
                     Qt::DirectConnection);
    dec.start(QThread::LowPriority);
    dec.wait();
    ring->close();
    reader.join();
    out.hasErr = dec.hasErr;
    out.lastErr = dec.lastErr;
    out.ended = dec.ended;
    out.endedEarly = dec.endedEarly();
    out.skippedPackets = dec.skippedPackets;
    out.decodedMsecs = dec.decodedMsecs;
    out.declaredMsecs = dec.declaredMsecs;
    out.middle = dec.positionOfOutput(out.pcm.size() / 4 * 2);
    return out;
}

}

class TestAudioFFMpegDecodeThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decodesWholeFile_data();
    void decodesWholeFile();
    void resumesFromOffset_data();
    void resumesFromOffset();
    void shortFileArrivesAtTheEnd();
    void failsOrEndsCleanly_data();
    void failsOrEndsCleanly();
    void damagedFiles_data();
    void damagedFiles();
    void closingTheRingEndsDecoding_data();
    void closingTheRingEndsDecoding();
    void noRingEndsWithoutOutcome_data();
    void noRingEndsWithoutOutcome();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    void make(const QString &name, const QStringList &args);

    QTemporaryDir dir;
};

void TestAudioFFMpegDecodeThread::make(const QString &name, const QStringList &args)
{
    QString err;
    QVERIFY2(MediaFixtures::ffmpeg(args + QStringList{path(name)}, &err), qPrintable(name + ": " + err));
}

void TestAudioFFMpegDecodeThread::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(dir.isValid());
    QString err;
    // Speech of a few seconds, padded with a tone so its length is not a
    // whole number of batches.
    QVERIFY2(MediaFixtures::run(QStringLiteral("espeak-ng"),
                                {QStringLiteral("-w"), path("speech.wav"),
                                 QStringLiteral("the quick brown fox jumps over the lazy dog, twice over")},
                                &err),
             qPrintable(err));
    QVERIFY2(MediaFixtures::run(QStringLiteral("sox"),
                                {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                                 QStringLiteral("-c"), QStringLiteral("2"), path("tone.wav"), QStringLiteral("synth"),
                                 QStringLiteral("3.3"), QStringLiteral("sine"), QStringLiteral("440")},
                                &err),
             qPrintable(err));
    make("speech44.wav", {"-i", path("speech.wav"), "-i", path("tone.wav"), "-filter_complex",
                          "[0:a]aresample=44100,aformat=channel_layouts=stereo[a];[a][1:a]concat=n=2:v=0:a=1",
                          "-c:a", "pcm_s16le"});
    const QString src = path("speech44.wav");
    make("audio.flac", {"-i", src, "-c:a", "flac"});
    make("audio.ogg", {"-i", src, "-c:a", "libvorbis"});
    make("audio.mp3", {"-i", src, "-c:a", "libmp3lame", "-b:a", "128k"});
    make("video.mp4", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-i", src, "-map", "0:v", "-map",
                       "1:a", "-c:v", "mpeg4", "-c:a", "aac", "-shortest"});
    make("frames16384.flac", {"-i", src, "-ar", "8000", "-ac", "1", "-c:a", "flac", "-frame_size", "16384"});
    make("frames16200.flac", {"-i", src, "-ar", "8000", "-ac", "1", "-c:a", "flac", "-frame_size", "16200"});
    make("audio.tta", {"-i", src, "-c:a", "tta"});
    make("nolength.mkv", {"-i", src, "-c:a", "flac"});
    make("videoonly.mp4", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-t", "2", "-c:v", "mpeg4"});
    make("short.ogg", {"-f", "lavfi", "-i", "sine=frequency=300:duration=0.6", "-c:a", "libvorbis"});
    QVERIFY(TestUtil::writeFile(path("empty.wav"), QByteArray()));
    QVERIFY(TestUtil::writeFile(path("empty.mp3"), QByteArray()));
    QByteArray noise(200000, '\0');
    QRandomGenerator gen(12345);
    gen.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    QVERIFY(TestUtil::writeFile(path("noise.bin"), noise));
    QVERIFY(TestUtil::writeFile(path("noise.mp3"), noise));

    // One damaged frame in the middle; the first quarter of the file alone
    // (its header still declares the whole); and
    // 100 kB of noise in the middle of an Ogg file, more than its demuxer
    // searches for the next page.
    const QByteArray mp3 = TestUtil::readFile(path("audio.mp3"));
    QVERIFY(TestUtil::writeFile(path("damaged.mp3"), MediaFixtures::damagedMp3(mp3)));
    QVERIFY(TestUtil::writeFile(path("truncated.mp3"), mp3.left(mp3.size() / 4)));
    const QByteArray ogg = TestUtil::readFile(path("audio.ogg"));
    QVERIFY(TestUtil::writeFile(path("gap.ogg"), ogg.left(ogg.size() / 2) + noise.left(100000) + ogg.mid(ogg.size() / 2)));
}

void TestAudioFFMpegDecodeThread::decodesWholeFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("wav") << "speech44.wav";
    QTest::newRow("flac") << "audio.flac";
    QTest::newRow("ogg") << "audio.ogg";
    QTest::newRow("mp3") << "audio.mp3";
    QTest::newRow("mp4 with video") << "video.mp4";
    QTest::newRow("flac 16384-sample frames") << "frames16384.flac";
    QTest::newRow("flac 16200-sample frames") << "frames16200.flac";
    QTest::newRow("tta") << "audio.tta";
    QTest::newRow("matroska without stream length") << "nolength.mkv";
}

void TestAudioFFMpegDecodeThread::decodesWholeFile()
{
    QFETCH(QString, name);
    const double seconds = MediaFixtures::probeSeconds(path(name));
    QVERIFY(seconds > 4);

    const Decode d = decodeFile(path(name));
    QVERIFY2(!d.hasErr, qPrintable(d.lastErr));
    QVERIFY(d.ended);
    const double expected = seconds * bytesPerSecond;
    QVERIFY2(qAbs(d.pcm.size() - expected) <= bytesPerSecond,
             qPrintable(QStringLiteral("%1 bytes, expected about %2").arg(d.pcm.size()).arg(expected)));
    QCOMPARE(d.pcm.size() % 2, 0);
    QVERIFY(MediaFixtures::rms(d.pcm) > 0.05);

    // One report per second of input and a last one at the end; cur grows and
    // ends at the stream's length; all counts are sane.
    QVERIFY(d.progress.size() >= int(seconds));
    QVERIFY(d.progress.size() <= int(seconds) + 2);
    for (int i = 1; i < d.progress.size(); ++i)
        QVERIFY(d.progress[i].cur >= d.progress[i - 1].cur);
    const Progress last = d.progress.last();
    QVERIFY(last.total > 0);
    QVERIFY2(qAbs(last.cur - last.total) <= last.total / 20,
             qPrintable(QStringLiteral("cur %1 total %2").arg(last.cur).arg(last.total)));
    QVERIFY(qAbs(last.totalmsecs - seconds * 1000) < 300);
}

void TestAudioFFMpegDecodeThread::resumesFromOffset_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("wav") << "speech44.wav";
    QTest::newRow("mp3") << "audio.mp3";
    QTest::newRow("flac 16384-sample frames") << "frames16384.flac";
}

void TestAudioFFMpegDecodeThread::resumesFromOffset()
{
    QFETCH(QString, name);
    const Decode full = decodeFile(path(name));
    QVERIFY(full.ended);
    QVERIFY(full.progress.size() >= 4);
    const Progress saved = full.progress[full.progress.size() / 2];

    const Decode rest = decodeFile(path(name), saved.cur);
    QVERIFY2(!rest.hasErr, qPrintable(rest.lastErr));
    QVERIFY(rest.ended);
    QVERIFY(!rest.progress.isEmpty());
    QVERIFY(rest.progress.first().cur > saved.cur);
    QCOMPARE(rest.progress.last().cur, full.progress.last().cur);

    // Only what lies after the saved position comes out (give or take the
    // frame that straddles it and one batch).
    const double expected = double(full.pcm.size()) * double(full.progress.last().cur - saved.cur) /
                            double(full.progress.last().cur);
    QVERIFY2(qAbs(rest.pcm.size() - expected) <= 1.6 * bytesPerSecond,
             qPrintable(QStringLiteral("%1 bytes, expected about %2").arg(rest.pcm.size()).arg(expected)));
    QVERIFY(rest.pcm.size() < full.pcm.size() * 3 / 4);

    // Resuming at a byte of the output goes on from that very sample: the
    // rest has the length and the sound of the uninterrupted output's tail.
    const int half = full.pcm.size() / 4 * 2;
    const Decode second = decodeFile(path(name), full.middle);
    QVERIFY2(qAbs(second.pcm.size() - (full.pcm.size() - half)) <= 4, qPrintable(QString::number(second.pcm.size())));
    QByteArray diff = second.pcm.mid(bytesPerSecond, bytesPerSecond);
    const QByteArray tail = full.pcm.mid(half + bytesPerSecond, bytesPerSecond);
    auto *d = reinterpret_cast<qint16 *>(diff.data());
    for (int i = 0; i < diff.size() / 2; ++i)
        d[i] = qint16(d[i] - reinterpret_cast<const qint16 *>(tail.constData())[i]);
    QVERIFY(MediaFixtures::rms(diff) < 0.2 * MediaFixtures::rms(tail));

    // Resuming at the very end yields nothing and still counts as done.
    const Decode none = decodeFile(path(name), full.progress.last().cur);
    QVERIFY(none.ended);
    QVERIFY(none.pcm.isEmpty());
    QVERIFY(none.progress.isEmpty());
}

void TestAudioFFMpegDecodeThread::shortFileArrivesAtTheEnd()
{
    const Decode d = decodeFile(path("short.ogg"));
    QVERIFY(d.ended);
    QCOMPARE(d.progress.size(), 1);
    QCOMPARE(d.pcmBeforeLastProgress, 0);
    QVERIFY(qAbs(d.pcm.size() - 0.6 * bytesPerSecond) < 0.05 * bytesPerSecond);
}

void TestAudioFFMpegDecodeThread::failsOrEndsCleanly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hasErr");
    QTest::addColumn<QString>("lastErr");
    QTest::addColumn<bool>("ended");
    const QString noAudio = QStringLiteral("The file has no audio stream.");
    QTest::newRow("missing file") << "missing.wav" << true
                                  << "avformat_open_input failed, return -2. No such file or directory" << false;
    QTest::newRow("video only") << "videoonly.mp4" << true << noAudio << false;
    QTest::newRow("zero length") << "empty.wav" << true
                                 << "avformat_open_input failed, return -1094995529. Invalid data found when "
                                    "processing input"
                                 << false;
    QTest::newRow("zero length named mp3") << "empty.mp3" << true
                                           << "avformat_open_input failed, return -22. Invalid argument" << false;
    // Probed as a picture format without audio.
    QTest::newRow("random bytes") << "noise.bin" << true << noAudio << false;
    // Probed as MP3 with a low score; the stream has no channels to decode.
    QTest::newRow("random bytes named mp3") << "noise.mp3" << true << "ibuf alloc failed." << false;
}

void TestAudioFFMpegDecodeThread::failsOrEndsCleanly()
{
    QFETCH(QString, name);
    QFETCH(bool, hasErr);
    QFETCH(QString, lastErr);
    QFETCH(bool, ended);
    const Decode d = decodeFile(path(name));
    QCOMPARE(d.hasErr, hasErr);
    QCOMPARE(d.lastErr, lastErr);
    QCOMPARE(d.ended, ended);
    QVERIFY(d.pcm.isEmpty());
    QVERIFY(d.progress.isEmpty());
}

void TestAudioFFMpegDecodeThread::damagedFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("lastErr");
    QTest::addColumn<bool>("early");
    QTest::addColumn<double>("share"); // of the whole file's PCM
    QTest::newRow("damaged packet") << "damaged.mp3" << QString() << false << 1.0;
    QTest::newRow("truncated") << "truncated.mp3" << QString() << true << 0.25;
    QTest::newRow("read error mid-file")
        << "gap.ogg" << "av_read_frame failed, return -1094995529. Invalid data found when processing input" << false
        << 0.0;
}

void TestAudioFFMpegDecodeThread::damagedFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, lastErr);
    QFETCH(bool, early);
    QFETCH(double, share);
    const Decode whole = decodeFile(path("audio.mp3"));
    const Decode d = decodeFile(path(name));
    QCOMPARE(d.lastErr, lastErr);
    QCOMPARE(d.hasErr, !lastErr.isEmpty());
    QCOMPARE(d.ended, lastErr.isEmpty());
    QCOMPARE(d.endedEarly, early);
    if (d.ended)
        QVERIFY2(qAbs(d.pcm.size() - share * whole.pcm.size()) < 0.1 * bytesPerSecond + 0.02 * whole.pcm.size(),
                 qPrintable(QStringLiteral("%1 of %2 bytes").arg(d.pcm.size()).arg(whole.pcm.size())));
    if (name == QLatin1String("damaged.mp3"))
        QCOMPARE(d.skippedPackets, 1);
    if (early) {
        QVERIFY(qAbs(d.declaredMsecs - whole.decodedMsecs) < 100);
        QVERIFY(qAbs(d.decodedMsecs * bytesPerSecond / 1000 - d.pcm.size()) < bytesPerSecond / 10);
    }
}

void TestAudioFFMpegDecodeThread::closingTheRingEndsDecoding_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ringSize");
    QTest::addColumn<int>("reports");
    QTest::newRow("in the middle") << "audio.flac" << 64000 << 2;
    QTest::newRow("at the last second") << "short.ogg" << 1000 << 1;
}

void TestAudioFFMpegDecodeThread::closingTheRingEndsDecoding()
{
    QFETCH(QString, name);
    QFETCH(int, ringSize);
    QFETCH(int, reports);
    // Nobody reads, so the decoder blocks once the ring is full.
    auto ring = QSharedPointer<RingBuffer>::create();
    QVERIFY(ring->init(ringSize));
    AudioFFMpegDecodeThread dec;
    dec.setup(ring, path(name), 16000, AV_SAMPLE_FMT_S16);
    QList<qint64> curs;
    connect(&dec, &AudioFFMpegDecodeThread::progress, &dec, [&](qlonglong c, qlonglong, qlonglong) { curs << c; });
    dec.start(QThread::LowPriority);
    QTRY_COMPARE(curs.size(), reports);
    QVERIFY(dec.isRunning());
    ring->close();
    QVERIFY(dec.wait(30000));
    QVERIFY(!dec.ended);
    QVERIFY(!dec.hasErr);
    QVERIFY(dec.lastErr.isEmpty());
}

void TestAudioFFMpegDecodeThread::noRingEndsWithoutOutcome_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("long") << "audio.flac";
    QTest::newRow("under one batch") << "short.ogg";
}

void TestAudioFFMpegDecodeThread::noRingEndsWithoutOutcome()
{
    QFETCH(QString, name);
    AudioFFMpegDecodeThread dec;
    dec.setup({}, path(name), 16000, AV_SAMPLE_FMT_S16);
    dec.start();
    QVERIFY(dec.wait(30000));
    QVERIFY(!dec.ended);
    QVERIFY(!dec.hasErr);
}

QTEST_GUILESS_MAIN(TestAudioFFMpegDecodeThread)
#include "tst_audio_ffmpeg_decode_thread.moc"

#include <QtTest>

#include <thread>

#include "common/AudioTestUtil.h"
#include "common/MediaFixtures.h"
#include "common/TestUtil.h"
#include "engine/MALoopbackDevice.h"
#include "engine/RingBuffer.h"

using AudioTestUtil::PulseServer;

namespace {
const int periodBytes = 32000; // 1000 ms of 16 kHz mono s16
}

class TestMALoopbackDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unreachableServer_data();
    void unreachableServer();
    void loopbackHandsOverPartPeriods();
    void silenceNeverReachesTheRing();
    void pausedMicrophoneDeliversNothing();
    void deviceAfterDeletedOneWorks();
    void stoppedDeviceStaysStopped();
    void cleanupTestCase();

private:
    // Drains the ring without blocking into captured; returns bytes read.
    int drain();
    QSharedPointer<RingBuffer> newRing(unsigned size);

    QTemporaryDir tmp;
    PulseServer pulse;
    QString speech;
    QSharedPointer<RingBuffer> ring;
    QByteArray captured;
};

void TestMALoopbackDevice::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(tmp.isValid());
    speech = tmp.filePath(QStringLiteral("speech.wav"));
    QVERIFY(AudioTestUtil::makeSpeech(QStringLiteral("the quick brown fox jumps over the lazy dog"),
                                      QStringLiteral("en-us"), speech));
}

// Runs before the daemon exists, so nothing can be reached.
void TestMALoopbackDevice::unreachableServer_data()
{
    QTest::addColumn<bool>("loopback");
    QTest::addColumn<QString>("message");
    QTest::newRow("loopback") << true << QStringLiteral("Failed to initialize loopback device.");
    QTest::newRow("microphone") << false << QStringLiteral("Failed to initialize capture device.");
}

void TestMALoopbackDevice::unreachableServer()
{
    QFETCH(bool, loopback);
    QFETCH(QString, message);
    qputenv("PULSE_SERVER", "unix:" + tmp.filePath(QStringLiteral("no-such-socket")).toLocal8Bit());
    MALoopbackDevice dev;
    QSignalSpy errSpy(&dev, &MALoopbackDevice::hasErrChanged);
    QSignalSpy msgSpy(&dev, &MALoopbackDevice::lastErrChanged);
    QVERIFY(!dev.init(loopback, newRing(160000), 16000));
    qunsetenv("PULSE_SERVER");
    QVERIFY(dev.hasErr());
    QCOMPARE(dev.lastErr(), message);
    QCOMPARE(errSpy.count(), 1);
    QCOMPARE(msgSpy.count(), 1);
    QVERIFY(!dev.start()); // never created, so no start message either
    QCOMPARE(dev.lastErr(), message);
}

int TestMALoopbackDevice::drain()
{
    char buf[4096];
    int total = 0;
    for (;;) {
        const int n = ring->read(buf, sizeof buf, false);
        if (n <= 0)
            return total;
        captured.append(buf, n);
        total += n;
    }
}

QSharedPointer<RingBuffer> TestMALoopbackDevice::newRing(unsigned size)
{
    ring.reset(new RingBuffer);
    captured.clear();
    return ring->init(size) ? ring : QSharedPointer<RingBuffer>();
}

void TestMALoopbackDevice::loopbackHandsOverPartPeriods()
{
    QString log;
    QVERIFY2(pulse.start(&log), qPrintable(log));
    const QString tone = tmp.filePath(QStringLiteral("tone.wav"));
    QVERIFY(MediaFixtures::writeMonoWav(tone, MediaFixtures::sinePcm(5, 16000, 440), 16000));

    // 48000 bytes is not a whole number of periods, so every other period
    // meets free space that wraps around the end of the ring. A reader drains
    // it as the recogniser does.
    MALoopbackDevice dev;
    QVERIFY(dev.init(true, newRing(48000), 16000));
    QVERIFY(!dev.hasErr());
    QByteArray pcm;
    std::thread reader([&] {
        char buf[3200];
        for (int n; (n = ring->read(buf, sizeof buf, true)) > 0;)
            pcm.append(buf, n);
    });
    QVERIFY(dev.start());
    QProcess paplay;
    paplay.start(QStringLiteral("paplay"), {tone});
    // Pause, and then stop, half a second into a period: each hands over the
    // half period captured since the last whole one.
    for (const bool stop : {false, true}) {
        const qint64 before = dev.bytesWritten();
        QTRY_VERIFY_WITH_TIMEOUT(dev.bytesWritten() > before, 3000);
        const qint64 whole = dev.bytesWritten();
        QTest::qWait(500);
        stop ? dev.stop() : dev.setPause(true);
        const qint64 part = dev.bytesWritten() - whole;
        QVERIFY2(part > periodBytes / 4 && part < periodBytes * 3 / 4, qPrintable(QString::number(part)));
        if (!stop)
            dev.setPause(false);
    }
    ring->close();
    reader.join();
    QCOMPARE(dev.bytesWritten(), qint64(pcm.size()));
    QVERIFY(MediaFixtures::rms(pcm) > 0.3);
    paplay.waitForFinished();
}

void TestMALoopbackDevice::silenceNeverReachesTheRing()
{
    MALoopbackDevice dev;
    QVERIFY(dev.init(true, newRing(160000), 16000));
    QVERIFY(dev.start());
    // Nothing plays: the monitor keeps delivering silent periods.
    QTest::qWait(2500);
    QCOMPARE(drain(), 0);
    // The device was capturing all along: sound now gets through.
    QVERIFY(pulse.play(speech));
    QTRY_VERIFY_WITH_TIMEOUT((drain(), captured.size() >= periodBytes), 10000);
    dev.stop();
}

void TestMALoopbackDevice::pausedMicrophoneDeliversNothing()
{
    MALoopbackDevice dev;
    QVERIFY(dev.init(false, newRing(160000), 16000));
    QVERIFY(dev.start());
    dev.setPause(true);
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTest::qWait(1500); // longer than a period after the speech ended
    QCOMPARE(drain(), 0);

    dev.setPause(false);
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTRY_VERIFY_WITH_TIMEOUT((drain(), captured.size() >= 2 * periodBytes), 10000);
    dev.setPause(true);
    const int before = drain();
    Q_UNUSED(before);
    const int atPause = captured.size();
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTest::qWait(1500);
    drain();
    QCOMPARE(captured.size(), atPause);
    QVERIFY(!dev.hasErr());
    dev.stop();
}

void TestMALoopbackDevice::deviceAfterDeletedOneWorks()
{
    auto *first = new MALoopbackDevice;
    QVERIFY(first->init(false, newRing(160000), 16000));
    QVERIFY(first->start());
    first->stop();
    delete first;

    MALoopbackDevice second;
    QVERIFY(second.init(false, newRing(160000), 16000));
    QVERIFY(second.start());
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QTRY_VERIFY_WITH_TIMEOUT((drain(), captured.size() >= periodBytes), 10000);
    second.stop();
}

void TestMALoopbackDevice::stoppedDeviceStaysStopped()
{
    MALoopbackDevice dev;
    QVERIFY(dev.init(false, newRing(160000), 16000));
    QVERIFY(!dev.init(false, ring, 16000)); // exists already
    QVERIFY(!dev.hasErr());
    QVERIFY(dev.start());
    dev.stop();
    dev.setPause(false); // must not bring it back
    QVERIFY(!dev.start());
    QVERIFY(dev.hasErr());
    QCOMPARE(dev.lastErr(), QStringLiteral("Failed to start capture device."));
    QVERIFY(!dev.init(false, ring, 16000));
    QCOMPARE(dev.lastErr(), QStringLiteral("Failed to start capture device."));
    QVERIFY(pulse.play(speech, QStringLiteral("vmic")));
    QCOMPARE(drain(), 0);
}

void TestMALoopbackDevice::cleanupTestCase()
{
    pulse.stop();
}

QTEST_GUILESS_MAIN(TestMALoopbackDevice)
#include "tst_ma_loopback_device.moc"

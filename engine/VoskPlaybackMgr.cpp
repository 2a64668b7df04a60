#include "VoskPlaybackMgr.h"

#include "engine/VoskThread.h"
#include "util/Platform.h"
#include "util/ThreadEndMark.h"

#include <QMetaObject>
#include <QMutexLocker>

#include <chrono>
#include <cstring>

namespace {

constexpr qint64 maxPlayBytes = 1073741824; // 1 GiB
constexpr int wavHeaderSize = 44;
constexpr std::chrono::milliseconds pollInterval(500);

quint32 floatBits(float v)
{
    quint32 b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

float bitsFloat(quint32 b)
{
    float v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

}

VoskPlaybackNotif::VoskPlaybackNotif(QObject *parent)
    : QObject(parent)
{
}

void VoskPlaybackNotif::notifyEnded(bool hasErr, QString err)
{
    if (fired.fetchAndStoreOrdered(1) != 0)
        return;
    // Queued even on the notif's own thread: a play that fails at once must
    // not report before its caller has finished marking it as playing.
    QMetaObject::invokeMethod(
        this, [this, hasErr, err] { emit playEnded(hasErr, err); }, Qt::QueuedConnection);
}

VoskPlaybackMgr::VoskPlaybackMgr(QObject *parent)
    : QThread(parent)
    , speedBits(floatBits(1.0f))
{
}

VoskPlaybackMgr::~VoskPlaybackMgr()
{
    {
        std::lock_guard<std::mutex> lock(quitMutex);
        quit.storeRelease(1);
    }
    quitWake.notify_all();
    wait();
    // The polling thread's last look at quit was under this lock; taking it
    // again orders that look before the members go, also for race checkers
    // that cannot see inside QThread::wait.
    std::lock_guard<std::mutex> lock(quitMutex);
    engine.stopAll();
    engine.deinit();
}

void VoskPlaybackMgr::setAudioFile(const QString &path, int rate)
{
    QMutexLocker lock(&mutex);
    sampleRate = rate;
    if (audio.isOpen())
        audio.close();
    audio.setFileName(path);
}

void VoskPlaybackMgr::setSpeed(float v)
{
    speedBits.storeRelease(floatBits(v));
    const unsigned h = handle.loadAcquire();
    if (h)
        engine.setRelativePlaySpeed(h, v);
}

float VoskPlaybackMgr::getSpeed() const
{
    return bitsFloat(speedBits.loadAcquire());
}

VoskPlaybackNotif *VoskPlaybackMgr::takeNotif()
{
    return notif.fetchAndStoreOrdered(nullptr);
}

void VoskPlaybackMgr::stopLocked()
{
    const unsigned h = handle.fetchAndStoreOrdered(0);
    if (h)
        engine.stop(h);
    if (VoskPlaybackNotif *n = takeNotif())
        n->notifyEnded(false, QString());
}

void VoskPlaybackMgr::play(qlonglong fstart, qlonglong fend, VoskPlaybackNotif *notifArg)
{
    QMutexLocker lock(&mutex);
    stopLocked();

    auto report = [notifArg](const QString &text) {
        if (notifArg)
            notifArg->notifyEnded(true, text);
    };

    if (!inited.loadAcquire()) {
        if (!engine.init()) {
            report(QStringLiteral("VoskPlaybackMgr::play, player.init failed."));
            return;
        }
        inited.storeRelease(1);
    }
    if (!isRunning())
        start(QThread::InheritPriority);

    const qint64 len = fend - fstart;
    if (len < 1 || len > maxPlayBytes) {
        report(QStringLiteral("VoskPlaybackMgr::play, invalid data length %1.").arg(len));
        return;
    }
    if (!audio.isOpen()) {
        const QString e = Platform::openRegularFile(audio, QIODevice::ReadOnly);
        if (!e.isEmpty()) {
            report(QStringLiteral("VoskPlaybackMgr::play failed. %1").arg(e));
            return;
        }
    }
    // A negative start would land inside the header or fail oddly; refuse it
    // as a failed seek.
    if (fstart < 0 || !audio.seek(fstart + wavHeaderSize)) {
        report(QStringLiteral("VoskPlaybackMgr::play, seek failed. %1").arg(audio.errorString()));
        return;
    }

    // The sound reads the image in place, so the old one may only go now that
    // nothing plays it.
    wav = WavSound();
    image.clear();
    QByteArray pcm(int(len), Qt::Uninitialized);
    qint64 got = 0;
    while (got < len) {
        const qint64 n = audio.read(pcm.data() + got, len - got);
        if (n <= 0)
            break;
        got += n;
    }
    pcm.truncate(int(got));
    image = makeWavHeader(got + wavHeaderSize, sampleRate, 2);
    image.append(pcm);
    pcm.clear();

    if (!wav.loadMem(image.constData(), image.size())) {
        report(QStringLiteral("VoskPlaybackMgr::play, loadMem failed"));
        return;
    }
    const unsigned h = engine.play(wav);
    if (!h) {
        report(QStringLiteral("VoskPlaybackMgr::play, loadMem failed"));
        return;
    }
    engine.setRelativePlaySpeed(h, getSpeed());
    handle.storeRelease(h);
    notif.storeRelease(notifArg);
}

void VoskPlaybackMgr::stop()
{
    QMutexLocker lock(&mutex);
    stopLocked();
}

void VoskPlaybackMgr::pause()
{
    const unsigned h = handle.loadAcquire();
    if (h)
        engine.setPause(h, true);
}

void VoskPlaybackMgr::resume()
{
    const unsigned h = handle.loadAcquire();
    if (h)
        engine.setPause(h, false);
}

void VoskPlaybackMgr::run()
{
    const ThreadEndMark endMark(this);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(quitMutex);
            if (quitWake.wait_for(lock, pollInterval, [this] { return quit.loadAcquire() != 0; }))
                return;
        }
        QMutexLocker lock(&mutex);
        if (notif.loadAcquire() && engine.getVoiceCount() == 0) {
            const unsigned h = handle.fetchAndStoreOrdered(0);
            if (h)
                engine.stop(h);
            if (VoskPlaybackNotif *n = takeNotif())
                n->notifyEnded(false, QString());
        }
    }
}

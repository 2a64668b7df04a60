#include "engine/MALoopbackDevice.h"

#include "engine/AudioCapture.h"
#include "engine/RingBuffer.h"

MALoopbackDevice::MALoopbackDevice(QObject *parent)
    : QObject(parent)
{
}

MALoopbackDevice::~MALoopbackDevice()
{
    stop();
    delete device;
}

void MALoopbackDevice::setHasErr(bool v)
{
    if (m_hasErr == v)
        return;
    m_hasErr = v;
    emit hasErrChanged();
}

void MALoopbackDevice::setLastErr(const QString &v)
{
    if (m_lastErr == v)
        return;
    m_lastErr = v;
    emit lastErrChanged();
}

bool MALoopbackDevice::init(bool loopback, QSharedPointer<RingBuffer> ring, unsigned sampleRate)
{
    if (device)
        return false;
    setHasErr(false);
    setLastErr(QString());
    this->loopback = loopback;
    this->ring = ring;

    auto *capture = new AudioCapture(loopback, sampleRate, 1000, &MALoopbackDevice::onData, this);
    if (!capture->open()) {
        delete capture;
        setHasErr(true);
        setLastErr(loopback ? QStringLiteral("Failed to initialize loopback device.")
                            : QStringLiteral("Failed to initialize capture device."));
        return false;
    }
    device = capture;
    return true;
}

bool MALoopbackDevice::start()
{
    if (!device)
        return false;
    if (device->start())
        return true;
    setHasErr(true);
    setLastErr(loopback ? QStringLiteral("Failed to start loopback device.")
                        : QStringLiteral("Failed to start capture device."));
    return false;
}

void MALoopbackDevice::stop()
{
    if (device)
        device->close();
}

void MALoopbackDevice::setPause(bool b)
{
    if (!device)
        return;
    if (b && device->isStarted())
        device->pause();
    else if (!b && !device->isStarted())
        device->start();
}

void MALoopbackDevice::onData(void *user, const qint16 *samples, quint32 frames)
{
    auto *self = static_cast<MALoopbackDevice *>(user);
    if (!samples || frames == 0 || !self->ring)
        return;
    const qint16 *end = samples + frames;
    const qint16 *p = samples;
    while (p != end && *p == 0)
        ++p;
    if (p == end)
        return; // a silent period never reaches the recogniser
    // The free space may wrap around the end of the ring; keep writing until
    // the whole period is in or the ring is closed.
    const char *src = reinterpret_cast<const char *>(samples);
    int left = int(frames * 2);
    while (left > 0) {
        const int n = self->ring->write(src, left, true);
        if (n <= 0)
            break;
        self->written += n;
        src += n;
        left -= n;
    }
}

#pragma once
// Live PCM producer: the default microphone, or a loopback capture of the
// default output device, written as 16-bit mono into a RingBuffer.

#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <atomic>

class AudioCapture;
class RingBuffer;

class MALoopbackDevice : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool hasErr READ hasErr WRITE setHasErr NOTIFY hasErrChanged)
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)

public:
    explicit MALoopbackDevice(QObject *parent = nullptr);
    ~MALoopbackDevice() override;

    // Configures the device without starting it; false when it already exists.
    bool init(bool loopback, QSharedPointer<RingBuffer> ring, unsigned sampleRate);

    bool hasErr() const { return m_hasErr; }
    void setHasErr(bool v);
    QString lastErr() const { return m_lastErr; }
    void setLastErr(const QString &v);

    // Bytes this device has put into the ring so far; exact once it is
    // paused or stopped.
    qint64 bytesWritten() const { return written.load(); }

signals:
    void hasErrChanged();
    void lastErrChanged();

public slots:
    bool start();
    void stop();
    void setPause(bool b);

private:
    static void onData(void *user, const qint16 *samples, quint32 frames);

    bool loopback = false;
    bool m_hasErr = false;
    QString m_lastErr;
    QSharedPointer<RingBuffer> ring;
    AudioCapture *device = nullptr;
    std::atomic<qint64> written{0};
};

#pragma once
// Decodes the audio of a media file to 16 kHz mono 16-bit PCM and writes it
// into the run's ring buffer, one second at a time, from a start offset.

#include <QAtomicInt>
#include <QSharedPointer>
#include <QString>
#include <QThread>

#include <atomic>

class RingBuffer;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVStream;
struct SwrContext;

class AudioFFMpegDecodeThread : public QThread
{
    Q_OBJECT
public:
    explicit AudioFFMpegDecodeThread(QObject *parent = nullptr);
    ~AudioFFMpegDecodeThread() override;

    void setup(QSharedPointer<RingBuffer> ring, QString file, int outRate, int outFormat);

    QSharedPointer<RingBuffer> ring;
    QString file;
    int outRate = 0;
    int outChannels = 0;
    int outFormat = -1;
    bool hasErr = false;
    QString lastErr;
    QAtomicInt stop;
    std::atomic<bool> ended{false};
    // Resume position, in the unit of progress's cur; 0 decodes everything.
    qint64 startOffset = 0;

signals:
    void progress(qlonglong cur, qlonglong total, qlonglong totalmsecs);

protected:
    void run() override;

private:
    struct SampleBuffer;
    struct Work;

    void decode(Work &w);
    bool fail(const QString &text);
    bool addFrame(Work &w, AVFrame *frame);
    bool sendBatch(Work &w);
    bool writeAll(const uint8_t *data, int bytes);
    bool makeResampler(Work &w, AVFrame *frame);
    bool matchInput(Work &w, AVFrame *frame);
};

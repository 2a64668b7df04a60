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
    // Decoding starts at exactly this point, within a frame if need be.
    qint64 startOffset = 0;
    // Set when run returns: how far the input was decoded, what the file
    // declares as its length (0 unknown), and how many damaged packets were
    // skipped on the way.
    qint64 decodedMsecs = 0;
    qint64 declaredMsecs = 0;
    int skippedPackets = 0;

    // The input ended well short of its declared length.
    bool endedEarly() const;
    // The position, in the unit of progress's cur, of the output byte offset
    // counted from the start offset; -1 until the audio stream is known.
    // Safe from any thread.
    qint64 positionOfOutput(qint64 bytes) const;

signals:
    void progress(qlonglong cur, qlonglong total, qlonglong totalmsecs);

protected:
    void run() override;

private:
    struct SampleBuffer;
    struct Work;

    void decode(Work &w);
    bool fail(const QString &text);
    bool failAv(const QString &text, int r);
    bool receiveFrames(Work &w);
    void skipDamaged(Work &w, int r, const QString &text);
    bool addFrame(Work &w, AVFrame *frame);
    bool sendBatch(Work &w);
    bool writeAll(const uint8_t *data, int bytes);
    bool makeResampler(Work &w, AVFrame *frame);
    bool matchInput(Work &w, AVFrame *frame);

    // The audio stream's time base, published for positionOfOutput.
    std::atomic<int> tbNum{0};
    std::atomic<int> tbDen{0};
};

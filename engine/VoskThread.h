#pragma once
// One recognition pass: reads PCM from the ring, appends it to the project's
// recording and feeds Vosk, emitting partial word lists and final results.

#include <QByteArray>
#include <QFile>
#include <QSharedPointer>
#include <QString>
#include <QElapsedTimer>
#include <QThread>

#include <deque>
#include <functional>
#include <mutex>

#include "engine/VoskApi.h"
#include "engine/VoskTypes.h"

class QJsonObject;
class RingBuffer;
class VoskModelContext;

// Rewrites the 44-byte header of a WAV recording for its current size and
// returns to the position it was at.
void updateWavHeader(QFile &file, int sampleRate, int bytesPerSample);
// The header of a WAV image of totalSize bytes, header included.
QByteArray makeWavHeader(qint64 totalSize, int sampleRate, int bytesPerSample);
// Cuts a WAV recording back to pcmBytes of audio (nothing when it is not
// longer) and rewrites its header. False when the file cannot be changed.
bool truncateWav(const QString &path, qint64 pcmBytes, int sampleRate, int bytesPerSample);

class VoskThread : public QThread
{
    Q_OBJECT
    Q_PROPERTY(bool hasErr READ hasErr WRITE setHasErr NOTIFY hasErrChanged)
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)

public:
    explicit VoskThread(QObject *parent = nullptr);
    ~VoskThread() override;

    bool init(QSharedPointer<VoskModelContext> ctx, QSharedPointer<RingBuffer> ring, int sampleRate,
              QString wavPath, bool append);

    bool hasErr() const { return m_hasErr; }
    void setHasErr(bool v);
    QString lastErr() const { return m_lastErr; }
    void setLastErr(const QString &v);

    // Seconds added to every word time; set before start.
    float timeOffset = 0;

    // Bytes of audio in the recording after its header; read before start
    // (where this run's audio begins) or after the thread has finished.
    qint64 recordedBytes() const { return curPos; }
    // Ends the utterance in progress once this run has read `ringBytes` from
    // the ring, so no result spans audio from before and after that point.
    // Safe from any thread.
    void splitAt(qint64 ringBytes);

    // Recognises the audio that the recording at wavPath already holds from
    // byte `from` to byte `to` (after the header), on the calling thread and
    // in place of a run: results come as a run would give them for that
    // audio, timeOffset included; splits count from `from`. The recording is
    // not changed. Stops early, with no result for the utterance in
    // progress, once the calling thread is asked to end; false then, and
    // when the recording or the recogniser cannot be opened (with lastErr).
    bool recogniseRecorded(QSharedPointer<VoskModelContext> ctx, int sampleRate, const QString &wavPath,
                           qint64 from, qint64 to);

signals:
    void newWords(VoskResult res);
    void partialNewWord(VoskWordList words);
    void hasErrChanged();
    void lastErrChanged();
    void atEnd();

protected:
    void run() override;

private:
    VoskWordList parseWords(const QJsonObject &obj, float *prevEnd) const;
    void emitResult(const QJsonObject &obj, const VoskWordList &words);
    bool fail(const QString &err);
    bool makeRecognizer();
    void recognise(const std::function<int(char *, int, bool)> &pull);
    void feed(const char *data, int n, bool more);
    void finishUtterance();
    qint64 pendingSplit();

    QSharedPointer<VoskModelContext> modelContext;
    VoskRecognizer *recognizer = nullptr;
    QSharedPointer<RingBuffer> ring;
    QFile recording;
    int sampleRate = 16000;
    qint64 curPos = 0;
    qint64 segStart = 0;
    qint64 lastHeaderPos = 0;
    float prevEndFinal = 0;
    float prevEndPartial = 0;
    QElapsedTimer partialClock;
    std::mutex splitsLock;
    std::deque<qint64> splits;
    bool m_hasErr = false;
    QString m_lastErr;
};

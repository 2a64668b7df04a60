#include "engine/VoskThread.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <cstring>
#include <limits>
#include <utility>

#include "engine/OpenccConverter.h"
#include "engine/RingBuffer.h"
#include "engine/VoskModelContext.h"
#include "util/Platform.h"
#include "util/ThreadEndMark.h"

namespace {

constexpr int wavHeaderSize = 44;
constexpr int bytesPerSample = 2; // signed 16-bit PCM
constexpr int blockSize = 3200;   // 100 ms at 16 kHz
constexpr qint64 partialIntervalMs = 100;

const char wavTemplate[] = "524946461C00000057415645666D74201000000001000100401F0000803E0000020010006461746100000000";

// WAV sizes are 32-bit; a longer recording keeps the largest size it can say.
quint32 clampSize(qint64 v)
{
    if (v < 0)
        return 0;
    return v > qint64(std::numeric_limits<quint32>::max()) ? std::numeric_limits<quint32>::max() : quint32(v);
}

QJsonObject parseObject(const char *text)
{
    if (!text)
        return QJsonObject();
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text));
    return doc.isObject() ? doc.object() : QJsonObject();
}

}

QByteArray makeWavHeader(qint64 totalSize, int sampleRate, int bytesPerSample)
{
    static const QByteArray tmpl = QByteArray::fromHex(wavTemplate);
    uchar h[wavHeaderSize];
    std::memcpy(h, tmpl.constData(), wavHeaderSize);
    qToLittleEndian<quint32>(clampSize(totalSize - 8), h + 4);
    qToLittleEndian<quint32>(quint32(sampleRate), h + 24);
    qToLittleEndian<quint32>(quint32(sampleRate) * quint32(bytesPerSample), h + 28);
    qToLittleEndian<quint32>(clampSize(totalSize - wavHeaderSize), h + 40);
    return QByteArray(reinterpret_cast<const char *>(h), wavHeaderSize);
}

void updateWavHeader(QFile &file, int sampleRate, int bytesPerSample)
{
    const qint64 size = file.size();
    const qint64 pos = file.pos();
    if (!file.seek(0))
        return;
    file.write(makeWavHeader(size, sampleRate, bytesPerSample));
    file.seek(pos);
}

bool truncateWav(const QString &path, qint64 pcmBytes, int sampleRate, int bytesPerSample)
{
    QFile f(path);
    if (!Platform::openRegularFile(f, QIODevice::ReadWrite | QIODevice::ExistingOnly).isEmpty())
        return false;
    if (f.size() > wavHeaderSize + pcmBytes && !f.resize(wavHeaderSize + pcmBytes))
        return false;
    updateWavHeader(f, sampleRate, bytesPerSample);
    return f.flush();
}

VoskThread::VoskThread(QObject *parent)
    : QThread(parent)
{
    registerVoskTypes();
}

VoskThread::~VoskThread()
{
    wait();
    if (recognizer)
        vosk_recognizer_free(recognizer);
}

void VoskThread::setHasErr(bool v)
{
    if (m_hasErr == v)
        return;
    m_hasErr = v;
    emit hasErrChanged();
}

void VoskThread::setLastErr(const QString &v)
{
    if (m_lastErr == v)
        return;
    m_lastErr = v;
    emit lastErrChanged();
}

bool VoskThread::fail(const QString &err)
{
    setHasErr(true);
    setLastErr(err);
    return false;
}

bool VoskThread::init(QSharedPointer<VoskModelContext> ctx, QSharedPointer<RingBuffer> ring, int sampleRate,
                      QString wavPath, bool append)
{
    modelContext = ctx;
    this->ring = ring;
    this->sampleRate = sampleRate;
    if (recording.isOpen())
        recording.close();
    recording.setFileName(wavPath);

    // A file too short for its header holds no audio: start it afresh.
    // Unbuffered: what was read is in the file even if the process is
    // killed, so that its text can still be made.
    const bool resume = append && recording.exists() && recording.size() >= wavHeaderSize;
    const QString e = Platform::openRegularFile(
        recording, (resume ? QIODevice::ReadWrite : QIODevice::WriteOnly | QIODevice::Truncate) | QIODevice::Unbuffered);
    if (!e.isEmpty())
        return fail(e);
    if (resume) {
        if (!recording.seek(recording.size()))
            return fail(recording.errorString());
        curPos = recording.size() - wavHeaderSize;
    } else {
        if (recording.write(QByteArray(wavHeaderSize, '\0')) != wavHeaderSize)
            return fail(recording.errorString());
        curPos = 0;
    }

    if (!ctx || !ctx->model())
        return fail(QStringLiteral("invalid vosk models."));
    if (!ring)
        return fail(QStringLiteral("invalid ring-buffer."));
    return makeRecognizer();
}

bool VoskThread::makeRecognizer()
{
    if (recognizer) {
        vosk_recognizer_reset(recognizer);
    } else {
        VoskModelContext *ctx = modelContext.data();
        recognizer = ctx->spkModel() ? vosk_recognizer_new_spk(ctx->model(), float(sampleRate), ctx->spkModel())
                                     : vosk_recognizer_new(ctx->model(), float(sampleRate));
        if (!recognizer)
            return fail(QStringLiteral("Failed to initialize recognizer."));
    }
    vosk_recognizer_set_words(recognizer, 1);
    vosk_recognizer_set_partial_words(recognizer, 1);
    return true;
}

bool VoskThread::recogniseRecorded(QSharedPointer<VoskModelContext> ctx, int sampleRate, const QString &wavPath,
                                   qint64 from, qint64 to)
{
    modelContext = ctx;
    this->sampleRate = sampleRate;
    if (recording.isOpen())
        recording.close();
    recording.setFileName(wavPath);
    const QString e = Platform::openRegularFile(recording, QIODevice::ReadOnly);
    if (!e.isEmpty())
        return fail(e);
    if (!recording.seek(wavHeaderSize + from))
        return fail(recording.errorString());
    if (!ctx || !ctx->model())
        return fail(QStringLiteral("invalid vosk models."));
    if (!makeRecognizer())
        return false;
    curPos = from;
    QThread *caller = QThread::currentThread();
    bool cancelled = false;
    qint64 left = to - from;
    recognise([&](char *dst, int n, bool) {
        cancelled = cancelled || caller->isInterruptionRequested();
        const qint64 r = left > 0 && !cancelled ? recording.read(dst, qMin<qint64>(n, left)) : 0;
        left -= qMax<qint64>(r, 0);
        return int(r);
    });
    recording.close();
    if (cancelled)
        return fail(QStringLiteral("canceled."));
    finishUtterance();
    return true;
}

VoskWordList VoskThread::parseWords(const QJsonObject &obj, float *prevEnd) const
{
    VoskWordList words;
    const QJsonValue arr = obj.contains(QLatin1String("partial_result")) ? obj.value(QLatin1String("partial_result"))
                                                                          : obj.value(QLatin1String("result"));
    if (!arr.isArray())
        return words;
    const bool chinese = modelContext && modelContext->isChinese();
    for (const QJsonValue &v : arr.toArray()) {
        if (!v.isObject())
            continue;
        const QJsonObject o = v.toObject();
        VoskWord w;
        w.start = float(o.value(QLatin1String("start")).toDouble() + double(timeOffset));
        w.end = float(o.value(QLatin1String("end")).toDouble() + double(timeOffset));
        w.conf = float(o.value(QLatin1String("conf")).toDouble());
        w.word = o.value(QLatin1String("word")).toString();
        if (chinese) {
            OpenccConverter &cc = OpenccConverter::instance();
            cc.openOnce(QStringLiteral("s2tw.json"));
            w.word = cc.convert(w.word);
        }
        w.pre = *prevEnd == 0 ? 0 : w.start - *prevEnd;
        *prevEnd = w.end;
        words.append(w);
    }
    return words;
}

void VoskThread::emitResult(const QJsonObject &obj, const VoskWordList &words)
{
    if (words.isEmpty())
        return;
    VoskResult res;
    res.words = words;
    const QJsonValue spk = obj.value(QLatin1String("spk"));
    if (spk.isArray()) {
        const QJsonArray a = spk.toArray();
        res.spk.reserve(size_t(a.size()));
        for (const QJsonValue &v : a)
            res.spk.push_back(float(v.toDouble()));
    }
    res.spk_frames = obj.value(QLatin1String("spk_frames")).toInt();
    res.fstart = segStart;
    res.fend = curPos;
    segStart = curPos;
    // The result's audio must be playable the moment the result arrives.
    if (recording.isOpen())
        recording.flush();
    emit newWords(res);
}

void VoskThread::splitAt(qint64 ringBytes)
{
    const std::lock_guard<std::mutex> lock(splitsLock);
    splits.push_back(ringBytes);
}

// The first split not yet made, -1 when none.
qint64 VoskThread::pendingSplit()
{
    const std::lock_guard<std::mutex> lock(splitsLock);
    return splits.empty() ? -1 : splits.front();
}

// Appends one piece of audio to the recording and feeds it to the
// recogniser; `more` tells that further audio is waiting already.
void VoskThread::feed(const char *data, int n, bool more)
{
    const qint64 bytesPerMs = qint64(bytesPerSample) * sampleRate / 1000;
    if (recording.isWritable()) {
        recording.write(data, n);
        if (curPos - lastHeaderPos >= bytesPerMs * 1000) {
            updateWavHeader(recording, sampleRate, bytesPerSample);
            lastHeaderPos = curPos;
        }
    }
    curPos += n;

    const bool final = vosk_recognizer_accept_waveform(recognizer, data, n) != 0;
    // A partial result costs about as much as decoding the block, so a
    // file decoded faster than real time shows new partial words at the
    // pace a reader could follow. Only while more audio is waiting,
    // though: capture delivers a period of blocks at once, and the last
    // one before the wait must show.
    if (!final && more && partialClock.isValid() && partialClock.elapsed() < partialIntervalMs)
        return;
    const QJsonObject obj =
        parseObject(final ? vosk_recognizer_result(recognizer) : vosk_recognizer_partial_result(recognizer));
    if (obj.isEmpty())
        return;
    prevEndPartial = prevEndFinal;
    const VoskWordList words = parseWords(obj, final ? &prevEndFinal : &prevEndPartial);
    if (final)
        emitResult(obj, words);
    else if (!words.isEmpty()) {
        emit partialNewWord(words);
        partialClock.start();
    }
}

// Whatever the recogniser holds becomes a result now; the audio so far
// belongs to no later result.
void VoskThread::finishUtterance()
{
    const QJsonObject obj = parseObject(vosk_recognizer_final_result(recognizer));
    if (!obj.isEmpty())
        emitResult(obj, parseWords(obj, &prevEndFinal));
    segStart = curPos;
}

void VoskThread::run()
{
    const ThreadEndMark endMark(this);
    // Started without a successful init: nothing to recognise.
    if (!recognizer || !ring) {
        emit atEnd();
        return;
    }
    recognise([this](char *dst, int n, bool block) { return ring->read(dst, n, block); });
    finishUtterance();
    if (recording.isOpen()) {
        updateWavHeader(recording, sampleRate, bytesPerSample);
        recording.flush();
    }
    emit atEnd();
}

// Feeds what pull(destination, bytes, block) delivers until it delivers
// nothing more (a blocking pull below 1).
void VoskThread::recognise(const std::function<int(char *, int, bool)> &pull)
{
    segStart = curPos;
    lastHeaderPos = curPos;
    prevEndFinal = 0;
    prevEndPartial = 0;
    partialClock.invalidate();
    // Read ahead of the block being fed, by up to one more block.
    char buf[2 * blockSize];
    int held = 0;
    qint64 read = 0; // fed in this pass

    // Whole blocks, however the ring's storage wraps, so the recogniser sees
    // the same blocks whatever offset a run starts at. A block stops short
    // at a split.
    for (bool end = false; !end || held > 0;) {
        int want = blockSize;
        const qint64 split = pendingSplit();
        if (split >= 0 && split - read < want)
            want = int(qMax<qint64>(0, split - read));
        while (!end && held < want) {
            const int r = pull(buf + held, want - held, true);
            if (r < 1)
                end = true;
            else
                held += r;
        }
        const int n = qMin(held, want);
        if (!end && held == n) {
            const int r = pull(buf + held, blockSize, false);
            if (r > 0)
                held += r;
        }
        // A split asked for meanwhile may fall inside the block.
        for (int done = 0;;) {
            const qint64 at = pendingSplit();
            const int piece = at >= 0 && at - read < n - done ? int(qMax<qint64>(0, at - read)) : n - done;
            if (piece > 0) {
                feed(buf + done, piece, held > done + piece);
                read += piece;
                done += piece;
            }
            if (at < 0 || at > read)
                break;
            finishUtterance();
            const std::lock_guard<std::mutex> lock(splitsLock);
            splits.pop_front();
        }
        held -= n;
        std::memmove(buf, buf + n, size_t(held));
    }
}

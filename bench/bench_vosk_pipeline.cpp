// Cost of the recognition pipeline (ring buffer, recorder thread, result
// parsing, recording) against a bare loop feeding the same PCM to Vosk in
// 3200-byte blocks, with the same recogniser settings. Prints both times and
// their ratio.
//
// bench_vosk_pipeline [MODEL_DIR [SPK_MODEL_DIR]]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSharedPointer>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <thread>

#include "RecogniserBaseline.h"
#include "engine/RingBuffer.h"
#include "engine/VoskApi.h"
#include "engine/VoskModelContext.h"
#include "engine/VoskThread.h"

namespace {

const qint64 targetBytes = 10LL * 60 * 32000; // 10 minutes of 16 kHz mono s16

double pipelinePass(const QSharedPointer<VoskModelContext> &ctx, const QByteArray &pcm, const QString &wav,
                    int *results)
{
    QSharedPointer<RingBuffer> ring(new RingBuffer);
    ring->init(64000);
    VoskThread th;
    if (!th.init(ctx, ring, 16000, wav, false))
        return -1;
    int count = 0;
    QObject::connect(&th, &VoskThread::newWords, &th, [&count](const VoskResult &) { ++count; },
                     Qt::DirectConnection);
    QElapsedTimer t;
    t.start();
    th.start(QThread::LowPriority);
    std::thread producer([&] {
        for (int off = 0; off < pcm.size();) {
            const int n = ring->write(pcm.constData() + off, qMin(4096, pcm.size() - off), true);
            if (n <= 0)
                break;
            off += n;
        }
        ring->close();
    });
    producer.join();
    th.wait();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    *results = count;
    return ms;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QDir src = QFileInfo(QStringLiteral(__FILE__)).dir();
    const QString mp = argc > 1 ? QString::fromLocal8Bit(argv[1]) : src.absoluteFilePath(QStringLiteral("../tests/data/vosk-model-test"));
    const QString spkmp = argc > 2 ? QString::fromLocal8Bit(argv[2]) : src.absoluteFilePath(QStringLiteral("../third_party/spkm"));

    QTemporaryDir tmp;
    const QByteArray sentence = spokenSentencePcm(tmp.path());
    if (sentence.isEmpty()) {
        std::fprintf(stderr, "could not make speech with espeak-ng and sox\n");
        return 1;
    }
    QByteArray pcm;
    pcm.reserve(int(targetBytes));
    const QByteArray gap(16000, '\0'); // half a second between sentences
    while (pcm.size() < targetBytes)
        pcm.append(sentence).append(gap);
    pcm.truncate(int(targetBytes));

    vosk_set_log_level(-1);
    const QSharedPointer<VoskModelContext> ctx = loadModels(mp, spkmp);
    if (!ctx)
        return 1;

    // Alternate the two, best of three each, so warm caches favour neither.
    double bare = 1e300, barePartials = 1e300, pipe = 1e300;
    int results = 0;
    for (int i = 0; i < 3; ++i) {
        bare = qMin(bare, barePass(*ctx, pcm, false));
        barePartials = qMin(barePartials, barePass(*ctx, pcm, true));
        pipe = qMin(pipe, pipelinePass(ctx, pcm, tmp.filePath(QStringLiteral("data.wav")), &results));
    }
    std::printf("audio: %.1f s of PCM, %d final results per pipeline pass\n", double(pcm.size()) / 32000, results);
    std::printf("bare accept_waveform loop: %.1f ms\n", bare);
    std::printf("ring + VoskThread:         %.1f ms\n", pipe);
    std::printf("ratio pipeline / bare:     %.3f (target <= 1.10)\n", pipe / bare);
    // The pipeline asks for a partial result after every block; this shows
    // how much of the ratio is Vosk's own partial decoding.
    std::printf("bare loop with partials:   %.1f ms, ratio pipeline / that: %.3f\n", barePartials, pipe / barePartials);
    return 0;
}

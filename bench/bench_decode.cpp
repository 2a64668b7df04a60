// Decoding a 30-minute compressed file into a ring drained by a reader,
// against the ffmpeg tool converting the same file to the same PCM into
// /dev/null. Prints both times and their ratio (target: at most 1.1).
//
//   bench_decode [FILE]    (without FILE a 30-minute MP3 is made first)

#include "engine/AudioFFMpegDecodeThread.h"
#include "engine/RingBuffer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSharedPointer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <thread>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace {

bool makeInput(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {"-hide_banner", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
             "sine=frequency=330:sample_rate=44100:duration=1800", "-f", "lavfi", "-i",
             "anoisesrc=color=pink:sample_rate=44100:amplitude=0.05:duration=1800", "-filter_complex",
             "[0:a][1:a]amerge=inputs=2", "-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k", path});
    return p.waitForFinished(-1) && p.exitCode() == 0;
}

double timeTool(const QString &path)
{
    QProcess p;
    p.setStandardOutputFile(QStringLiteral("/dev/null"));
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("ffmpeg"), {"-hide_banner", "-nostdin", "-loglevel", "error", "-i", path, "-ac", "1",
                                       "-ar", "16000", "-f", "s16le", "-"});
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        return -1;
    return t.nsecsElapsed() / 1e9;
}

double timeDecoder(const QString &path, qint64 *bytes)
{
    auto ring = QSharedPointer<RingBuffer>::create();
    ring->init(64000);
    qint64 total = 0;
    QElapsedTimer t;
    t.start();
    std::thread reader([&] {
        char buf[3200];
        int n;
        while ((n = ring->read(buf, sizeof buf, true)) >= 0)
            total += n;
    });
    AudioFFMpegDecodeThread dec;
    dec.setup(ring, path, 16000, AV_SAMPLE_FMT_S16);
    dec.start(QThread::LowPriority);
    dec.wait();
    ring->close();
    reader.join();
    const double s = t.nsecsElapsed() / 1e9;
    *bytes = total;
    return dec.ended && !dec.hasErr ? s : -1;
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QString input = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("long.mp3"));
    if (argc < 2) {
        std::printf("making a 30-minute MP3...\n");
        std::fflush(stdout);
        if (!makeInput(input)) {
            std::fprintf(stderr, "could not make the input with ffmpeg\n");
            return 1;
        }
    }

    // Alternate the two and keep each one's best of three, so a busy moment
    // on the machine hurts neither side alone.
    double tool = 1e9, ours = 1e9;
    qint64 bytes = 0;
    for (int i = 0; i < 3; ++i) {
        const double a = timeTool(input);
        const double b = timeDecoder(input, &bytes);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "decoding failed\n");
            return 1;
        }
        tool = std::min(tool, a);
        ours = std::min(ours, b);
        std::printf("run %d: ffmpeg tool %.2f s, decoder %.2f s\n", i + 1, a, b);
        std::fflush(stdout);
    }
    std::printf("PCM bytes from the decoder: %lld (%.1f s of audio)\n", static_cast<long long>(bytes), bytes / 32000.0);
    std::printf("best: ffmpeg tool %.2f s, decoder %.2f s, ratio %.3f (target <= 1.1)\n", tool, ours, ours / tool);
    return 0;
}

// A spoken file converted through the project controller (decoder, ring,
// recogniser, speaker matching, project database, manifest) against a bare
// loop feeding the same PCM to Vosk, measured in the same run; then the peak
// resident memory of whole conversions of 10 and 60 minutes, each in a
// process of its own.
//
// bench_project_convert [MODEL_DIR [SPK_MODEL_DIR]]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSharedPointer>
#include <QTemporaryDir>
#include <QUrl>
#include <QtEndian>

#include <cstdio>

#include "RecogniserBaseline.h"
#include "engine/VoskApi.h"
#include "engine/VoskModelContext.h"
#include "engine/VoskThread.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"

namespace {

constexpr qint64 bytesPerMinute = 60LL * 32000; // 16 kHz mono s16

// Sentences with half a second between them, written straight to a WAV file
// so that an hour never sits in memory.
bool writeSpeechWav(const QString &path, const QByteArray &sentence, qint64 bytes, QByteArray *keep)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(makeWavHeader(bytes + 44, 16000, 2));
    const QByteArray unit = sentence + QByteArray(16000, '\0');
    qint64 done = 0;
    while (done < bytes) {
        const QByteArray part = unit.left(int(qMin<qint64>(unit.size(), bytes - done)));
        if (f.write(part) != part.size())
            return false;
        if (keep)
            keep->append(part);
        done += part.size();
    }
    return true;
}

// One conversion in a new project; milliseconds from the run's start (model
// loaded) to its end, -1 on failure.
double controllerPass(const QString &root, const QString &wav, int *segments)
{
    const QString url = ProjectsMgr::instance()->createProject(QStringLiteral("bench"), QUrl::fromLocalFile(root).toString(),
                                                               QStringLiteral("en-s"), 0.5);
    if (url.isEmpty())
        return -1;
    ProjectMainController c;
    c.setProjectDir(QUrl(url).toLocalFile());
    QString err;
    if (!c.init(err)) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return -1;
    }
    QEventLoop loop;
    QElapsedTimer t;
    bool ok = false;
    QObject::connect(&c, &ProjectMainController::started, [&](bool suc) {
        t.start();
        if (!suc) {
            std::fprintf(stderr, "%s\n", qPrintable(c.lastErr()));
            loop.quit();
        }
    });
    QObject::connect(&c, &ProjectMainController::stopped, [&] {
        ok = c.convertStatus() == 1;
        loop.quit();
    });
    c.setConvertFileUrl(QUrl::fromLocalFile(wav).toString());
    c.startConvert();
    loop.exec();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (segments && c.db)
        *segments = c.db->loadSegs(-1).size();
    return ok ? ms : -1;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QDir src = QFileInfo(QStringLiteral(__FILE__)).dir();
    vosk_set_log_level(-1);

    // A conversion of its own for the memory figures: --child WAV
    if (args.value(1) == QLatin1String("--child")) {
        int segs = 0;
        const double ms = controllerPass(QDir::homePath(), args.value(2), &segs);
        std::printf("%.1f %lld %d\n", ms, peakRssKb(), segs);
        return ms < 0 ? 1 : 0;
    }

    const QString mp = args.size() > 1 ? args.at(1) : src.absoluteFilePath(QStringLiteral("../tests/data/vosk-model-test"));
    const QString spkmp = args.size() > 2 ? args.at(2) : src.absoluteFilePath(QStringLiteral("../third_party/spkm"));

    QTemporaryDir tmp;
    const QString home = enterPrivateHome(tmp.path(), mp);

    const QByteArray sentence = spokenSentencePcm(tmp.path());
    if (sentence.isEmpty()) {
        std::fprintf(stderr, "could not make speech with espeak-ng and sox\n");
        return 1;
    }
    QByteArray pcm;
    const QString wav10 = tmp.filePath(QStringLiteral("ten.wav")), wav60 = tmp.filePath(QStringLiteral("sixty.wav"));
    if (!writeSpeechWav(wav10, sentence, 10 * bytesPerMinute, &pcm) || !writeSpeechWav(wav60, sentence, 60 * bytesPerMinute, nullptr)) {
        std::fprintf(stderr, "could not write the speech files\n");
        return 1;
    }

    const QSharedPointer<VoskModelContext> ctx = loadModels(mp, spkmp);
    if (!ctx)
        return 1;

    // Alternated, best of three each, so warm caches favour neither.
    double bare = 1e300, barePartials = 1e300, conv = 1e300;
    int segments = 0;
    for (int i = 0; i < 3; ++i) {
        bare = qMin(bare, barePass(*ctx, pcm, false));
        barePartials = qMin(barePartials, barePass(*ctx, pcm, true));
        const double ms = controllerPass(tmp.path(), wav10, &segments);
        if (ms < 0) {
            std::fprintf(stderr, "the conversion failed\n");
            return 1;
        }
        conv = qMin(conv, ms);
    }
    std::printf("audio: %.1f s, %d segments stored per conversion\n", double(pcm.size()) / 32000, segments);
    std::printf("bare accept_waveform loop:      %.1f ms\n", bare);
    std::printf("bare loop with partials:        %.1f ms\n", barePartials);
    std::printf("conversion through controller:  %.1f ms\n", conv);
    std::printf("ratio conversion / bare:        %.3f (target <= 1.15)\n", conv / bare);
    std::printf("ratio conversion / partials:    %.3f\n", conv / barePartials);

    // Peak memory of whole conversions, each in a fresh process.
    for (const auto &f : {qMakePair(10, wav10), qMakePair(60, wav60)}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), f.second});
        if (!p.waitForFinished(-1) || p.exitCode() != 0) {
            std::fprintf(stderr, "the %d-minute conversion failed\n", f.first);
            return 1;
        }
        const QList<QByteArray> v = p.readAllStandardOutput().trimmed().split(' ');
        std::printf("%2d-minute file: converted in %.1f s, peak RSS %lld KiB, %d segments\n", f.first,
                    v.value(0).toDouble() / 1000, v.value(1).toLongLong(), v.value(2).toInt());
    }
    return 0;
}

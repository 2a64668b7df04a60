// Peak resident memory of one batch converting 10 spoken files against a
// batch converting one of them, each batch in a process of its own: a batch
// holds one file's models and project at a time, however many files it has.
//
// bench_batch_convert [MODEL_DIR]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>

#include "RecogniserBaseline.h"
#include "engine/VoskApi.h"
#include "engine/VoskThread.h"
#include "projects/ConvertFilesHandlingItemModel.h"

namespace {

constexpr int manyFiles = 10;
constexpr qint64 fileBytes = 60LL * 32000; // a minute of 16 kHz mono s16

// Sentences with half a second between them.
bool writeSpeechWav(const QString &path, const QByteArray &sentence)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray unit = sentence + QByteArray(16000, '\0');
    QByteArray pcm = unit.repeated(int(fileBytes / unit.size()) + 1);
    pcm.truncate(int(fileBytes));
    return f.write(makeWavHeader(pcm.size() + 44, 16000, 2) + pcm) == pcm.size() + 44;
}

// Converts copies of wav in one batch; the number of rows done, -1 on failure.
int batchPass(const QString &wav, int files, const QString &dir)
{
    QVariantList urls;
    for (int i = 0; i < files; ++i) {
        const QString copy = QDir(dir).absoluteFilePath(QStringLiteral("talk%1.wav").arg(i));
        if (!QFile::copy(wav, copy))
            return -1;
        urls << QUrl::fromLocalFile(copy).toString();
    }
    ConvertFilesHandlingItemModel batch;
    batch.setFileUrls(urls);
    batch.setRootUrl(QUrl::fromLocalFile(dir).toString());
    batch.setLang(QStringLiteral("en-s"));
    batch.setSpeechRate(0.5);
    QEventLoop loop;
    QObject::connect(&batch, &BatchHandlingItemModel::totalFinishedChanged, &loop, &QEventLoop::quit);
    batch.init();
    if (!batch.totalFinished())
        loop.exec();
    int done = 0;
    for (int r = 0; r < batch.rowCount(); ++r) {
        const QVariantMap d = batch.data(batch.index(r, 0), BatchHandlingItemModel::DRole).toMap();
        if (d.value(QStringLiteral("status")).toInt() == 1)
            ++done;
        else
            std::fprintf(stderr, "row %d: %s\n", r, qPrintable(d.value(QStringLiteral("err")).toString()));
    }
    return done;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    vosk_set_log_level(-1);

    // One batch in a process of its own: --child FILES WAV DIR
    if (args.value(1) == QLatin1String("--child")) {
        QElapsedTimer t;
        t.start();
        const int files = args.value(2).toInt();
        const int done = batchPass(args.value(3), files, args.value(4));
        std::printf("%lld %lld %d\n", t.elapsed(), peakRssKb(), done);
        return done == files ? 0 : 1;
    }

    const QDir src = QFileInfo(QStringLiteral(__FILE__)).dir();
    const QString mp = args.size() > 1 ? args.at(1) : src.absoluteFilePath(QStringLiteral("../tests/data/vosk-model-test"));

    QTemporaryDir tmp;
    enterPrivateHome(tmp.path(), mp);

    const QByteArray sentence = spokenSentencePcm(tmp.path());
    const QString wav = tmp.filePath(QStringLiteral("talk.wav"));
    if (sentence.isEmpty() || !writeSpeechWav(wav, sentence)) {
        std::fprintf(stderr, "could not make the spoken file with espeak-ng and sox\n");
        return 1;
    }

    qint64 peak[2] = {};
    const int counts[2] = { 1, manyFiles };
    for (int i = 0; i < 2; ++i) {
        const QString dir = tmp.filePath(QStringLiteral("batch%1").arg(counts[i]));
        QDir().mkpath(dir);
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(),
                { QStringLiteral("--child"), QString::number(counts[i]), wav, dir });
        if (!p.waitForFinished(-1) || p.exitCode() != 0) {
            std::fprintf(stderr, "the batch of %d failed\n", counts[i]);
            return 1;
        }
        const QList<QByteArray> v = p.readAllStandardOutput().trimmed().split(' ');
        peak[i] = v.value(1).toLongLong();
        std::printf("batch of %2d spoken files of a minute: converted in %.1f s, peak RSS %lld KiB\n", counts[i],
                    v.value(0).toDouble() / 1000, peak[i]);
    }
    std::printf("ratio peak RSS %d files / 1 file: %.3f (target <= 1.10)\n", manyFiles, double(peak[1]) / double(peak[0]));
    return 0;
}

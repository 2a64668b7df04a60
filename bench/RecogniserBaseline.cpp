#include "RecogniserBaseline.h"

#include "engine/VoskApi.h"
#include "engine/VoskModelContext.h"
#include "storage/LangDb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <cstdio>

static bool runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QByteArray spokenSentencePcm(const QString &dir)
{
    const QString raw = dir + QStringLiteral("/raw.wav"), wav = dir + QStringLiteral("/sentence.wav");
    if (!runTool(QStringLiteral("espeak-ng"), {"-v", "en-us", "-g", "25", "-w", raw, "the quick brown fox jumps over the lazy dog"})
        || !runTool(QStringLiteral("sox"), {"-R", raw, "-t", "wavpcm", "-r", "16000", "-c", "1", "-b", "16", "-e", "signed-integer", wav}))
        return QByteArray();
    QFile f(wav);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray all = f.readAll();
    const int data = all.indexOf("data");
    return data < 0 ? QByteArray() : all.mid(data + 8, int(qFromLittleEndian<quint32>(all.constData() + data + 4)));
}

QSharedPointer<VoskModelContext> loadModels(const QString &modelPath, const QString &spkModelPath)
{
    QSharedPointer<VoskModelContext> ctx(new VoskModelContext);
    bool ok = false;
    QObject::connect(ctx.data(), &VoskModelContext::initEnd, [&ok](bool res, const QString &err) {
        ok = res;
        if (!res)
            std::fprintf(stderr, "%s\n", qPrintable(err));
    });
    ctx->beginInit(modelPath, spkModelPath);
    ctx->wait();
    return ok ? ctx : QSharedPointer<VoskModelContext>();
}

double barePass(VoskModelContext &ctx, const QByteArray &pcm, bool partials)
{
    VoskRecognizer *rec = vosk_recognizer_new_spk(ctx.model(), 16000.f, ctx.spkModel());
    vosk_recognizer_set_words(rec, 1);
    vosk_recognizer_set_partial_words(rec, 1);
    QElapsedTimer t;
    t.start();
    // A ready result is taken, as any user of Vosk must, or the utterance
    // never ends and decoding slows down as it grows.
    for (int off = 0; off < pcm.size(); off += 3200)
        if (vosk_recognizer_accept_waveform(rec, pcm.constData() + off, qMin(3200, pcm.size() - off)))
            vosk_recognizer_result(rec);
        else if (partials)
            vosk_recognizer_partial_result(rec);
    vosk_recognizer_final_result(rec);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    vosk_recognizer_free(rec);
    return ms;
}

qint64 peakRssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

QString enterPrivateHome(const QString &dir, const QString &modelPath)
{
    const QString home = QDir(dir).absoluteFilePath(QStringLiteral("home"));
    QDir().mkpath(home);
    qputenv("HOME", home.toLocal8Bit());
    LangDb::instance()->setLocalPath(QStringLiteral("en-s"), modelPath);
    return home;
}

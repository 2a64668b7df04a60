#include "AudioTestUtil.h"
#include "MediaFixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QtEndian>

namespace AudioTestUtil {

bool run(const QString &program, const QStringList &args, QString *log, int timeoutMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (log)
        *log = QString::fromLocal8Bit(p.readAll()) + p.errorString();
    return ok;
}

bool makeSpeech(const QString &text, const QString &voice, const QString &wavPath)
{
    const QString raw = wavPath + QStringLiteral(".raw.wav");
    const bool ok = run(QStringLiteral("espeak-ng"), {QStringLiteral("-v"), voice, QStringLiteral("-g"),
                                                      QStringLiteral("25"), QStringLiteral("-w"), raw, text})
        && run(QStringLiteral("sox"), {QStringLiteral("-R"), raw, QStringLiteral("-t"), QStringLiteral("wavpcm"),
                                       QStringLiteral("-r"), QStringLiteral("16000"), QStringLiteral("-c"),
                                       QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"),
                                       QStringLiteral("-e"), QStringLiteral("signed-integer"), wavPath});
    QFile::remove(raw);
    return ok;
}

bool makeSpokenWav(const QString &text, const QString &wavPath, int repeat)
{
    const QString raw = wavPath + QStringLiteral(".speech.wav");
    const bool ok = makeSpeech(text, QStringLiteral("en-us"), raw);
    const QByteArray pcm = wavPcm(raw) + QByteArray(32000, '\0');
    QFile::remove(raw);
    return ok && MediaFixtures::writeMonoWav(wavPath, pcm.repeated(repeat), 16000);
}

QByteArray wavPcm(const QString &wavPath)
{
    QFile f(wavPath);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray all = f.readAll();
    int pos = 12;
    while (pos + 8 <= all.size()) {
        const quint32 len = qFromLittleEndian<quint32>(all.constData() + pos + 4);
        if (all.mid(pos, 4) == "data")
            return all.mid(pos + 8, int(qMin<qint64>(len, all.size() - pos - 8)));
        pos += 8 + int(len) + int(len & 1);
    }
    return QByteArray();
}

bool PulseServer::start(QString *log)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return false;
    const QStringList args = {
        QStringLiteral("-D"), QStringLiteral("-n"), QStringLiteral("--exit-idle-time=-1"),
        QStringLiteral("--disallow-exit"), QStringLiteral("--log-target=file:%1/pulse.log").arg(runtime),
        QStringLiteral("--load=module-native-protocol-unix"),
        // norewinds: without it a monitor recording has dropouts.
        QStringLiteral("--load=module-null-sink sink_name=speaker norewinds=1"),
        QStringLiteral("--load=module-null-sink sink_name=vmic norewinds=1 rate=16000 channels=1"),
        QStringLiteral("--load=module-remap-source master=vmic.monitor source_name=mic")};
    if (!run(QStringLiteral("pulseaudio"), args, log))
        return false;
    running = true;
    QElapsedTimer t;
    t.start();
    while (!run(QStringLiteral("pactl"), {QStringLiteral("info")})) {
        if (t.elapsed() > 10000)
            return false;
        QThread::msleep(20);
    }
    return run(QStringLiteral("pactl"), {QStringLiteral("set-default-sink"), QStringLiteral("speaker")}, log)
        && run(QStringLiteral("pactl"), {QStringLiteral("set-default-source"), QStringLiteral("mic")}, log);
}

namespace {

// The daemon's process id from its pid file, 0 when unknown.
qint64 daemonPid()
{
    QFile f(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/pulse/pid"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}

// Gone, or a zombie nobody reaps: either way it writes no more files.
bool processGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray s = stat.readAll();
    const int paren = s.lastIndexOf(')');
    return paren < 0 || s.mid(paren + 2, 1) == "Z";
}

}

void PulseServer::stop()
{
    if (!running)
        return;
    running = false;
    const qint64 pid = daemonPid();
    run(QStringLiteral("pulseaudio"), {QStringLiteral("-k")});
    // The test's folders are removed next; wait until the daemon is done with them.
    QElapsedTimer t;
    t.start();
    while (pid > 0 && !processGone(pid) && t.elapsed() < 10000)
        QThread::msleep(20);
}

bool PulseServer::play(const QString &wavPath, const QString &sink)
{
    QStringList args;
    if (!sink.isEmpty())
        args << QStringLiteral("-d") << sink;
    return run(QStringLiteral("paplay"), args << wavPath);
}

}

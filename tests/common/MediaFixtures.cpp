#include "MediaFixtures.h"

#include "TestUtil.h"

#include <QProcess>
#include <QtEndian>

#include <cmath>

namespace MediaFixtures {

bool run(const QString &program, const QStringList &args, QString *err)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(30000)) {
        if (err)
            *err = program + QStringLiteral(": ") + p.errorString();
        return false;
    }
    p.closeWriteChannel();
    p.waitForFinished(600000);
    const bool ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok && err)
        *err = QString::fromLocal8Bit(p.readAllStandardError());
    return ok;
}

bool ffmpeg(const QStringList &args, QString *err)
{
    return run(QStringLiteral("ffmpeg"),
               QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                           QStringLiteral("error"), QStringLiteral("-y")} + args,
               err);
}

double probeSeconds(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("a:0"),
             QStringLiteral("-show_entries"), QStringLiteral("packet=duration_time"), QStringLiteral("-of"),
             QStringLiteral("csv=p=0"), path});
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    // The sum of the audio packets' durations: it does not depend on the
    // container declaring a length.
    double sum = 0;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        bool ok = false;
        const double v = line.trimmed().toDouble(&ok);
        if (ok)
            sum += v;
    }
    return sum;
}

bool writeMonoWav(const QString &path, const QByteArray &pcm, int sampleRate)
{
    QByteArray h(44, '\0');
    auto put32 = [&h](int at, quint32 v) { qToLittleEndian<quint32>(v, h.data() + at); };
    auto put16 = [&h](int at, quint16 v) { qToLittleEndian<quint16>(v, h.data() + at); };
    h.replace(0, 4, "RIFF");
    put32(4, quint32(36 + pcm.size()));
    h.replace(8, 8, "WAVEfmt ");
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, quint32(sampleRate));
    put32(28, quint32(sampleRate * 2));
    put16(32, 2);
    put16(34, 16);
    h.replace(36, 4, "data");
    put32(40, quint32(pcm.size()));
    return TestUtil::writeFile(path, h + pcm);
}

QByteArray sinePcm(double seconds, int sampleRate, double freq, double amplitude)
{
    const int n = int(seconds * sampleRate);
    QByteArray out(n * 2, '\0');
    auto *s = reinterpret_cast<qint16 *>(out.data());
    for (int i = 0; i < n; ++i)
        s[i] = qToLittleEndian<qint16>(qint16(std::lround(amplitude * 32767.0 * std::sin(2 * M_PI * freq * i / sampleRate))));
    return out;
}

QByteArray damagedMp3(QByteArray mp3)
{
    int at = mp3.size() / 2;
    while (at + 40 < mp3.size() && !(uchar(mp3[at]) == 0xff && (uchar(mp3[at + 1]) & 0xe0) == 0xe0))
        ++at;
    return mp3.replace(at + 4, 36, QByteArray(36, '\xff'));
}

double rms(const QByteArray &pcm, int channels, int channel)
{
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    const qint64 frames = pcm.size() / (2 * channels);
    if (frames == 0)
        return 0;
    double sum = 0;
    for (qint64 i = 0; i < frames; ++i) {
        const double v = qFromLittleEndian<qint16>(s[i * channels + channel]) / 32768.0;
        sum += v * v;
    }
    return std::sqrt(sum / double(frames));
}

double crossingsPerSecond(const QByteArray &pcm, int sampleRate, int channels, int channel)
{
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    const qint64 frames = pcm.size() / (2 * channels);
    if (frames < 2)
        return 0;
    qint64 crossings = 0;
    bool neg = qFromLittleEndian<qint16>(s[channel]) < 0;
    for (qint64 i = 1; i < frames; ++i) {
        const bool n = qFromLittleEndian<qint16>(s[i * channels + channel]) < 0;
        if (n != neg)
            ++crossings;
        neg = n;
    }
    return double(crossings) * sampleRate / double(frames);
}

}

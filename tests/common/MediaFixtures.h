#pragma once
// Media files made at test time with the command-line tools (ffmpeg, sox,
// espeak-ng), and PCM helpers for checking what came out.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace MediaFixtures {

// Runs program with args; true when it exits with 0. The tool's error output
// goes to *err when given.
bool run(const QString &program, const QStringList &args, QString *err = nullptr);
// ffmpeg with a quiet, non-interactive prefix that overwrites its output.
bool ffmpeg(const QStringList &args, QString *err = nullptr);
// Length in seconds of a file's audio as ffprobe sees it, -1 on failure.
double probeSeconds(const QString &path);

// A 44-byte canonical header and mono 16-bit PCM written as a WAV file.
bool writeMonoWav(const QString &path, const QByteArray &pcm, int sampleRate);
// Mono 16-bit PCM of a sine tone.
QByteArray sinePcm(double seconds, int sampleRate, double freq, double amplitude = 0.5);

// An MP3 whose frame nearest the middle has garbage for side information,
// so that one frame fails to decode.
QByteArray damagedMp3(QByteArray mp3);

// Root mean square of 16-bit samples, 0 to 1.
double rms(const QByteArray &pcm, int channels = 1, int channel = 0);
// Zero crossings per second of one channel of 16-bit samples.
double crossingsPerSecond(const QByteArray &pcm, int sampleRate, int channels = 1, int channel = 0);

}

#pragma once
// The baseline the recognition benchmarks measure against: the bare Vosk loop
// over the same PCM, and the model loading and memory figure they share.

#include <QByteArray>
#include <QSharedPointer>
#include <QString>

class VoskModelContext;

// "the quick brown fox jumps over the lazy dog" from espeak-ng with word gaps,
// as 16 kHz mono s16 PCM; empty when espeak-ng or sox fail. Scratch files go in dir.
QByteArray spokenSentencePcm(const QString &dir);

// Loads the language and speaker models; null (with the reason on stderr) on failure.
QSharedPointer<VoskModelContext> loadModels(const QString &modelPath, const QString &spkModelPath);

// Milliseconds for vosk_recognizer_accept_waveform over pcm in 3200-byte
// blocks, taking each ready result and, when asked, a partial after every
// other block.
double barePass(VoskModelContext &ctx, const QByteArray &pcm, bool partials);

// Peak resident memory of this process in KiB (VmHWM), -1 when unknown.
qint64 peakRssKb();

// Points HOME at a new folder "home" inside dir, so that nothing the program
// keeps per user touches the real one, and installs modelPath there as the
// "en-s" model. Returns that home folder.
QString enterPrivateHome(const QString &dir, const QString &modelPath);

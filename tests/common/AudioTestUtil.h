#pragma once
// Speech and sound-server fixtures for the engine tests.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace AudioTestUtil {

// Runs a program to completion; false (with its output in *log) on failure.
bool run(const QString &program, const QStringList &args, QString *log = nullptr, int timeoutMs = 60000);

// espeak-ng speaks text with a word gap (so each word is one burst), sox
// makes it 16 kHz mono signed 16-bit. False on failure.
bool makeSpeech(const QString &text, const QString &voice, const QString &wavPath);

// makeSpeech in en-us followed by a second of silence (so the recogniser
// ends the utterance), the whole repeated `repeat` times. False on failure.
bool makeSpokenWav(const QString &text, const QString &wavPath, int repeat = 1);

// The PCM of a WAV file's "data" chunk; empty when there is none.
QByteArray wavPcm(const QString &wavPath);

// A PulseAudio daemon of the test's own, inside its XDG_RUNTIME_DIR: the
// default sink "speaker" (whose monitor is the loopback) and the default
// source "mic", fed by playing into the sink "vmic".
class PulseServer
{
public:
    ~PulseServer() { stop(); }
    bool start(QString *log);
    void stop();
    // paplay into the default sink, or into the sink given.
    bool play(const QString &wavPath, const QString &sink = QString());

private:
    bool running = false;
};

}

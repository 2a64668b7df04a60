#pragma once
// The sound output behind segment playback: one output device in its own
// format (2 channels, the device's rate) and one voice that plays a 16-bit
// PCM WAV image at a relative speed. The SDL2 implementation is in
// AudioPlayer_sdl.cpp; SDL types stay out of this header.

#include <QString>

#include <QtGlobal>

// A 16-bit PCM WAV image parsed in place: the samples are read from the
// caller's memory, which must outlive every voice playing it.
class WavSound
{
public:
    // False for anything but a little-endian 16-bit PCM image with at least
    // one sample frame.
    bool loadMem(const char *data, qint64 size);

    const qint16 *samples = nullptr;
    qint64 frames = 0;
    int sampleRate = 0;
    int channels = 0;
};

class AudioPlayer
{
public:
    AudioPlayer();
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer &) = delete;
    AudioPlayer &operator=(const AudioPlayer &) = delete;

    // Opens the default output device and starts its mixing thread.
    bool init();
    void deinit();
    bool isInited() const;
    QString lastError() const { return m_lastError; }
    int deviceRate() const;

    // Replaces whatever plays; returns the voice handle, 0 on failure.
    unsigned play(const WavSound &sound, bool paused = false);
    void stop(unsigned handle);
    void stopAll();
    void setPause(unsigned handle, bool paused);
    // Resamples as if the sound's rate were multiplied by speed, so tempo and
    // pitch change together. Takes effect at once.
    void setRelativePlaySpeed(unsigned handle, float speed);
    // Voices playing or paused; a voice leaves when its last sample is out.
    int getVoiceCount() const;

private:
    struct Device;
    Device *d = nullptr;
    QString m_lastError;
};

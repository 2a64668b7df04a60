#pragma once
// The platform's capture stream under MALoopbackDevice: the default input
// device, or a loopback of the default output device, converted to signed
// 16-bit mono at the asked rate and handed over one fixed period at a time.
// One implementation file per platform; no platform type appears here.

#include <QtGlobal>

#include <memory>

class AudioCapture
{
public:
    // Runs on the platform's audio thread with one whole period.
    using PeriodCallback = void (*)(void *user, const qint16 *samples, quint32 frames);

    AudioCapture(bool loopback, unsigned sampleRate, unsigned periodMs, PeriodCallback callback, void *user);
    ~AudioCapture();
    AudioCapture(const AudioCapture &) = delete;
    AudioCapture &operator=(const AudioCapture &) = delete;

    // Connects to the sound system without capturing.
    bool open();
    // Starts, or resumes after pause, the delivery of periods.
    bool start();
    // Stops delivery; returns only when no callback is running, and nothing
    // captured before the next start is delivered.
    void pause();
    bool isStarted() const;
    // Releases the stream for good; start fails afterwards.
    void close();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

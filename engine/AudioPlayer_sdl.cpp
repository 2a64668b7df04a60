#include "AudioPlayer.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

quint16 le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16(u[0] | u[1] << 8);
}

// Input frames handed to the converter per step; small, so that a speed
// change finds little converted audio to throw away.
constexpr int feedFrames = 512;
// The converter keeps back the tail of its input until flushed, and loses
// part of it then: pad with silence so the last real sample gets out.
constexpr int flushPadFrames = 1024;

}

bool WavSound::loadMem(const char *data, qint64 size)
{
    samples = nullptr;
    frames = 0;
    sampleRate = 0;
    channels = 0;
    if (!data || size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return false;

    bool haveFmt = false;
    qint64 pos = 12;
    while (pos + 8 <= size) {
        const char *chunk = data + pos;
        const qint64 chunkSize = le32(chunk + 4);
        const qint64 body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (chunkSize < 16 || body + 16 > size)
                return false;
            const quint16 format = le16(data + body);
            const quint16 ch = le16(data + body + 2);
            const quint32 rate = le32(data + body + 4);
            const quint16 bits = le16(data + body + 14);
            if (format != 1 || bits != 16 || ch < 1 || ch > 2 || rate < 1000 || rate > 384000)
                return false;
            channels = ch;
            sampleRate = int(rate);
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFmt)
                return false;
            // A header that claims more than the image holds plays what is there.
            const qint64 avail = std::min(chunkSize, size - body);
            frames = avail / (2 * channels);
            if (frames < 1)
                return false;
            samples = reinterpret_cast<const qint16 *>(data + body);
            return true;
        }
        pos = body + chunkSize + (chunkSize & 1);
    }
    return false;
}

struct AudioPlayer::Device
{
    SDL_AudioDeviceID id = 0;
    int rate = 0;

    // Voice state; touched by the callback, so changed only under the
    // device lock.
    unsigned handle = 0;
    unsigned lastHandle = 0;
    const qint16 *samples = nullptr;
    qint64 frames = 0;
    qint64 pos = 0;
    int channels = 0;
    int sourceRate = 0;
    float speed = 1.0f;
    bool paused = false;
    bool flushed = false;
    SDL_AudioStream *stream = nullptr;

    void endVoice()
    {
        if (stream)
            SDL_FreeAudioStream(stream);
        stream = nullptr;
        handle = 0;
        samples = nullptr;
        frames = pos = 0;
        flushed = false;
        paused = false;
    }

    SDL_AudioStream *newStream(float v) const
    {
        const int in = std::max(1, int(std::lround(double(sourceRate) * double(v))));
        return SDL_NewAudioStream(AUDIO_S16SYS, Uint8(channels), in, AUDIO_S16SYS, 2, rate);
    }

    void fill(Uint8 *out, int len)
    {
        int got = 0;
        while (handle && !paused && got < len) {
            const int n = SDL_AudioStreamGet(stream, out + got, len - got);
            if (n < 0) {
                endVoice();
                break;
            }
            got += n;
            if (got >= len)
                break;
            if (pos < frames) {
                const qint64 take = std::min<qint64>(feedFrames, frames - pos);
                if (SDL_AudioStreamPut(stream, samples + pos * channels, int(take * channels * 2)) != 0) {
                    endVoice();
                    break;
                }
                pos += take;
            } else if (!flushed) {
                static const qint16 silence[flushPadFrames * 2] = {};
                SDL_AudioStreamPut(stream, silence, flushPadFrames * channels * 2);
                SDL_AudioStreamFlush(stream);
                flushed = true;
            } else if (n == 0) {
                endVoice();
            }
        }
        if (got < len)
            std::memset(out + got, 0, size_t(len - got));
    }

    static void SDLCALL callback(void *user, Uint8 *out, int len)
    {
        static_cast<Device *>(user)->fill(out, len);
    }
};

AudioPlayer::AudioPlayer() = default;

AudioPlayer::~AudioPlayer()
{
    deinit();
}

bool AudioPlayer::init()
{
    if (d)
        return true;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        m_lastError = QString::fromUtf8(SDL_GetError());
        return false;
    }

    auto *dev = new Device;
    SDL_AudioSpec want{};
    want.freq = 48000;
#if SDL_VERSION_ATLEAST(2, 24, 0)
    SDL_AudioSpec preferred{};
    if (SDL_GetDefaultAudioInfo(nullptr, &preferred, 0) == 0 && preferred.freq > 0)
        want.freq = preferred.freq;
#endif
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &Device::callback;
    want.userdata = dev;
    SDL_AudioSpec have{};
    dev->id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (dev->id == 0) {
        m_lastError = QString::fromUtf8(SDL_GetError());
        delete dev;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    dev->rate = have.freq;
    d = dev;
    SDL_PauseAudioDevice(d->id, 0);
    return true;
}

void AudioPlayer::deinit()
{
    if (!d)
        return;
    // Closing waits for the callback to return, so the voice can go after it.
    SDL_CloseAudioDevice(d->id);
    d->endVoice();
    delete d;
    d = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool AudioPlayer::isInited() const
{
    return d != nullptr;
}

int AudioPlayer::deviceRate() const
{
    return d ? d->rate : 0;
}

unsigned AudioPlayer::play(const WavSound &sound, bool paused)
{
    if (!d || !sound.samples || sound.frames < 1)
        return 0;
    SDL_LockAudioDevice(d->id);
    d->endVoice();
    d->samples = sound.samples;
    d->frames = sound.frames;
    d->channels = sound.channels;
    d->sourceRate = sound.sampleRate;
    d->speed = 1.0f;
    d->paused = paused;
    d->stream = d->newStream(d->speed);
    unsigned h = 0;
    if (d->stream) {
        h = ++d->lastHandle;
        if (h == 0)
            h = ++d->lastHandle;
        d->handle = h;
    } else {
        m_lastError = QString::fromUtf8(SDL_GetError());
        d->endVoice();
    }
    SDL_UnlockAudioDevice(d->id);
    return h;
}

void AudioPlayer::stop(unsigned handle)
{
    if (!d || handle == 0)
        return;
    SDL_LockAudioDevice(d->id);
    if (d->handle == handle)
        d->endVoice();
    SDL_UnlockAudioDevice(d->id);
}

void AudioPlayer::stopAll()
{
    if (!d)
        return;
    SDL_LockAudioDevice(d->id);
    d->endVoice();
    SDL_UnlockAudioDevice(d->id);
}

void AudioPlayer::setPause(unsigned handle, bool paused)
{
    if (!d || handle == 0)
        return;
    SDL_LockAudioDevice(d->id);
    if (d->handle == handle)
        d->paused = paused;
    SDL_UnlockAudioDevice(d->id);
}

void AudioPlayer::setRelativePlaySpeed(unsigned handle, float speed)
{
    if (!d || handle == 0 || !(speed > 0.0f) || !std::isfinite(speed))
        return;
    SDL_LockAudioDevice(d->id);
    if (d->handle == handle && speed != d->speed) {
        SDL_AudioStream *fresh = d->newStream(speed);
        if (fresh) {
            // Audio converted at the old speed but not yet heard is dropped;
            // step back over the input it came from so nothing is skipped.
            const int queued = SDL_AudioStreamAvailable(d->stream);
            const double inRate = double(d->sourceRate) * double(d->speed);
            const qint64 back = qint64(double(queued / 4) * inRate / double(d->rate));
            d->pos = std::max<qint64>(0, std::min(d->pos, d->frames) - back);
            d->flushed = false;
            SDL_FreeAudioStream(d->stream);
            d->stream = fresh;
            d->speed = speed;
        }
    }
    SDL_UnlockAudioDevice(d->id);
}

int AudioPlayer::getVoiceCount() const
{
    if (!d)
        return 0;
    SDL_LockAudioDevice(d->id);
    const int n = d->handle ? 1 : 0;
    SDL_UnlockAudioDevice(d->id);
    return n;
}

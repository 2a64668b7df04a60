#include "engine/AudioCapture.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstring>
#include <vector>

// PulseAudio (and PipeWire through its PulseAudio server). Every callback of
// the threaded main loop runs with the loop's lock held, so taking the lock
// is enough to know that no period is being delivered.
struct AudioCapture::Private
{
    bool loopback;
    unsigned sampleRate;
    quint32 periodBytes;
    PeriodCallback callback;
    void *user;

    pa_threaded_mainloop *loop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    bool started = false;
    bool closed = false;

    // The period being filled; allocated once in open.
    std::vector<qint16> period;
    quint32 filled = 0;
    std::atomic<bool> delivering{false};

    static void signalLoop(void *userdata)
    {
        pa_threaded_mainloop_signal(static_cast<Private *>(userdata)->loop, 0);
    }
    static void onContextState(pa_context *, void *userdata) { signalLoop(userdata); }
    static void onStreamState(pa_stream *, void *userdata) { signalLoop(userdata); }
    static void onOperation(pa_stream *, int, void *userdata) { signalLoop(userdata); }

    static void onRead(pa_stream *, size_t, void *userdata) { static_cast<Private *>(userdata)->readAll(); }

    // Takes what the server has sent; called with the lock held.
    void readAll()
    {
        while (stream && pa_stream_readable_size(stream) > 0) {
            const void *data = nullptr;
            size_t n = 0;
            if (pa_stream_peek(stream, &data, &n) < 0 || n == 0)
                return;
            if (delivering.load(std::memory_order_acquire))
                append(static_cast<const char *>(data), n);
            pa_stream_drop(stream);
        }
    }

    // Before a pause or the end: stops the capture, takes what the server
    // sent until then and hands over the part-filled period, so the last
    // words before Pause, a source switch or Stop are kept. Called with the
    // lock held.
    void finishCapture()
    {
        if (!stream || !started)
            return;
        waitFor(pa_stream_cork(stream, 1, &Private::onOperation, this));
        readAll();
        if (filled > 0 && delivering.load(std::memory_order_acquire))
            callback(user, period.data(), filled / 2);
        filled = 0;
        delivering.store(false, std::memory_order_release);
    }

    // A null data pointer is a hole in the stream: it is kept as silence so
    // the time line does not shrink.
    void append(const char *data, size_t n)
    {
        char *base = reinterpret_cast<char *>(period.data());
        while (n > 0) {
            const size_t take = qMin<size_t>(n, periodBytes - filled);
            if (data) {
                std::memcpy(base + filled, data, take);
                data += take;
            } else {
                std::memset(base + filled, 0, take);
            }
            filled += quint32(take);
            n -= take;
            if (filled == periodBytes) {
                filled = 0;
                callback(user, period.data(), periodBytes / 2);
            }
        }
    }

    void waitFor(pa_operation *op)
    {
        if (!op)
            return;
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(loop);
        pa_operation_unref(op);
    }

    // Called with the lock held.
    void dropStream()
    {
        if (!stream)
            return;
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }

    void release()
    {
        if (!loop) {
            delivering.store(false, std::memory_order_release);
            started = false;
            return;
        }
        pa_threaded_mainloop_lock(loop);
        finishCapture();
        started = false;
        dropStream();
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
        loop = nullptr;
    }
};

AudioCapture::AudioCapture(bool loopback, unsigned sampleRate, unsigned periodMs, PeriodCallback callback, void *user)
    : d(new Private{loopback, sampleRate, quint32(quint64(sampleRate) * periodMs / 1000) * 2, callback, user})
{
}

AudioCapture::~AudioCapture()
{
    d->release();
}

bool AudioCapture::open()
{
    if (d->loop || d->closed || d->periodBytes == 0)
        return false;
    d->period.assign(d->periodBytes / 2, 0);
    d->loop = pa_threaded_mainloop_new();
    if (!d->loop)
        return false;
    d->context = pa_context_new(pa_threaded_mainloop_get_api(d->loop), "Kalvinor Audio To Text Converter");
    if (!d->context) {
        d->release();
        return false;
    }
    pa_context_set_state_callback(d->context, &Private::onContextState, d.get());
    // Never spawn a sound server of our own: an unreachable one is an error.
    if (pa_context_connect(d->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        d->release();
        return false;
    }
    pa_threaded_mainloop_lock(d->loop);
    bool ok = pa_threaded_mainloop_start(d->loop) >= 0;
    while (ok) {
        const pa_context_state_t state = pa_context_get_state(d->context);
        if (state == PA_CONTEXT_READY)
            break;
        if (!PA_CONTEXT_IS_GOOD(state))
            ok = false;
        else
            pa_threaded_mainloop_wait(d->loop);
    }
    pa_threaded_mainloop_unlock(d->loop);
    if (!ok)
        d->release();
    return ok;
}

bool AudioCapture::start()
{
    if (!d->loop || d->closed)
        return false;
    if (d->started)
        return true;
    pa_threaded_mainloop_lock(d->loop);
    bool ok = true;
    d->filled = 0;
    if (!d->stream) {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, d->sampleRate, 1};
        d->stream = pa_stream_new(d->context, "capture", &spec, nullptr);
        ok = d->stream != nullptr;
        if (ok) {
            pa_stream_set_state_callback(d->stream, &Private::onStreamState, d.get());
            pa_stream_set_read_callback(d->stream, &Private::onRead, d.get());
            pa_buffer_attr attr;
            attr.maxlength = quint32(-1);
            attr.tlength = quint32(-1);
            attr.prebuf = quint32(-1);
            attr.minreq = quint32(-1);
            // Small fragments: what was captured reaches us within 50 ms,
            // so little is still at the server when capture stops.
            attr.fragsize = qMax<quint32>(2, d->sampleRate / 20 * 2);
            d->delivering.store(true, std::memory_order_release);
            ok = pa_stream_connect_record(d->stream, d->loopback ? "@DEFAULT_MONITOR@" : nullptr, &attr,
                                          PA_STREAM_NOFLAGS) >= 0;
        }
        while (ok) {
            const pa_stream_state_t state = pa_stream_get_state(d->stream);
            if (state == PA_STREAM_READY)
                break;
            if (!PA_STREAM_IS_GOOD(state))
                ok = false;
            else
                pa_threaded_mainloop_wait(d->loop);
        }
        if (!ok) {
            d->delivering.store(false, std::memory_order_release);
            d->dropStream();
        }
    } else {
        // Anything still queued on our side was captured before the pause.
        while (pa_stream_readable_size(d->stream) > 0) {
            const void *data = nullptr;
            size_t n = 0;
            if (pa_stream_peek(d->stream, &data, &n) < 0 || n == 0)
                break;
            pa_stream_drop(d->stream);
        }
        d->delivering.store(true, std::memory_order_release);
        pa_operation *op = pa_stream_cork(d->stream, 0, &Private::onOperation, d.get());
        ok = op != nullptr;
        d->waitFor(op);
        if (!ok)
            d->delivering.store(false, std::memory_order_release);
    }
    d->started = ok;
    pa_threaded_mainloop_unlock(d->loop);
    return ok;
}

void AudioCapture::pause()
{
    if (!d->loop || !d->stream || !d->started)
        return;
    pa_threaded_mainloop_lock(d->loop);
    d->finishCapture();
    // What the server still holds must not come out on resume.
    d->waitFor(pa_stream_flush(d->stream, &Private::onOperation, d.get()));
    d->filled = 0;
    d->started = false;
    pa_threaded_mainloop_unlock(d->loop);
}

bool AudioCapture::isStarted() const
{
    return d->started;
}

void AudioCapture::close()
{
    d->closed = true;
    d->release();
}

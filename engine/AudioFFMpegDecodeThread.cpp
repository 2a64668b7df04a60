#include "AudioFFMpegDecodeThread.h"

#include "engine/RingBuffer.h"
#include "util/ThreadEndMark.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libavutil/version.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

struct AudioFFMpegDecodeThread::SampleBuffer
{
    uint8_t **data = nullptr;
    int count = 0;
    int capacity = 0;
    int channels = 0;
    AVSampleFormat format = AV_SAMPLE_FMT_NONE;

    ~SampleBuffer() { release(); }

    bool alloc(int ch, int cap, AVSampleFormat fmt)
    {
        release();
        channels = ch;
        format = fmt;
        if (ch < 1 || cap < 1 || fmt == AV_SAMPLE_FMT_NONE)
            return false;
        int linesize = 0;
        if (av_samples_alloc_array_and_samples(&data, &linesize, ch, cap, fmt, 0) < 0) {
            data = nullptr;
            return false;
        }
        capacity = cap;
        return true;
    }

    void release()
    {
        if (data) {
            av_freep(&data[0]);
            av_freep(&data);
        }
        count = 0;
        capacity = 0;
    }
};

struct AudioFFMpegDecodeThread::Work
{
    AVFormatContext *fmt = nullptr;
    AVCodecContext *codec = nullptr;
    SwrContext *swr = nullptr;
    AVPacket *pkt = nullptr;
    AVFrame *frame = nullptr;
    SampleBuffer ibuf;
    SampleBuffer obuf;
    AVStream *stream = nullptr;
    int inRate = 0;
    qint64 cur = 0;
    qint64 total = 0;
    qint64 totalmsecs = 0;
    // Input position in seconds (skipped frames included) and the start
    // offset in seconds, counted from decoded samples rather than declared
    // durations so a resume lands on the very sample where output stopped.
    double pos = 0;
    double skipTo = 0;
    qint64 frames = 0;
    int lastDecodeErr = 0;
    QString lastDecodeText;
};

namespace {

QString avNum(int r)
{
    return QString::number(r);
}

// FFmpeg's own words for an error code.
QString avErrorText(int r)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(r, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

// What the file says its audio lasts, in milliseconds; 0 when it does not
// say, or only guesses from the bit rate.
qint64 declaredLength(const AVFormatContext *fmt, const AVStream *st)
{
    if (!st || fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return 0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0 && st->time_base.num > 0 && st->time_base.den > 0)
        return av_rescale_q(st->duration, st->time_base, AVRational{1, 1000});
    if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
        return fmt->duration / 1000;
    return 0;
}

// The audio stream's length in its own time base. Streams that do not
// declare one (Matroska, streamed formats) take the container's length.
qint64 streamTotal(const AVFormatContext *fmt, const AVStream *st)
{
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        return st->duration;
    if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0 && st->time_base.num > 0 && st->time_base.den > 0)
        return av_rescale_q(fmt->duration, AV_TIME_BASE_Q, st->time_base);
    return 0;
}

qint64 frameDuration(const AVFrame *frame, const AVStream *st, int fallbackRate)
{
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    qint64 d = frame->duration;
#else
    qint64 d = frame->pkt_duration;
#endif
    if (d > 0)
        return d;
    const int rate = frame->sample_rate > 0 ? frame->sample_rate : fallbackRate;
    if (rate <= 0 || st->time_base.num <= 0 || st->time_base.den <= 0)
        return 0;
    return av_rescale_q(frame->nb_samples, AVRational{1, rate}, st->time_base);
}

}

AudioFFMpegDecodeThread::AudioFFMpegDecodeThread(QObject *parent)
    : QThread(parent)
{
}

AudioFFMpegDecodeThread::~AudioFFMpegDecodeThread() = default;

void AudioFFMpegDecodeThread::setup(QSharedPointer<RingBuffer> r, QString f, int rate, int format)
{
    ring = std::move(r);
    file = std::move(f);
    outRate = rate;
    outFormat = format;
    outChannels = 1;
}

bool AudioFFMpegDecodeThread::fail(const QString &text)
{
    hasErr = true;
    lastErr = text;
    return false;
}

// The fixed text with the code, then what the code means.
bool AudioFFMpegDecodeThread::failAv(const QString &text, int r)
{
    return fail(text.arg(avNum(r)) + QLatin1Char(' ') + avErrorText(r));
}

bool AudioFFMpegDecodeThread::endedEarly() const
{
    return ended && declaredMsecs > 0 && declaredMsecs - decodedMsecs > qMax<qint64>(1000, declaredMsecs / 50);
}

qint64 AudioFFMpegDecodeThread::positionOfOutput(qint64 bytes) const
{
    const int num = tbNum.load(), den = tbDen.load();
    if (num <= 0 || den <= 0 || outRate <= 0 || outChannels <= 0)
        return -1;
    const qint64 samples = bytes / (2 * outChannels);
    return startOffset + av_rescale_q(samples, AVRational{1, outRate}, AVRational{num, den});
}

void AudioFFMpegDecodeThread::run()
{
    const ThreadEndMark endMark(this);
    ended = false;
    Work w;
    w.pkt = av_packet_alloc();
    w.frame = av_frame_alloc();
    if (w.pkt && w.frame)
        decode(w);
    else
        fail(QStringLiteral("avformat_open_input failed, return %1.").arg(AVERROR(ENOMEM)));

    av_frame_free(&w.frame);
    av_packet_free(&w.pkt);
    swr_free(&w.swr);
    avcodec_free_context(&w.codec);
    avformat_close_input(&w.fmt);
    w.ibuf.release();
    w.obuf.release();
}

void AudioFFMpegDecodeThread::decode(Work &w)
{
    int r = avformat_open_input(&w.fmt, file.toUtf8().constData(), nullptr, nullptr);
    if (r < 0) {
        failAv(QStringLiteral("avformat_open_input failed, return %1."), r);
        return;
    }
    r = avformat_find_stream_info(w.fmt, nullptr);
    if (r < 0) {
        failAv(QStringLiteral("avformat_find_stream_info failed, return %1."), r);
        return;
    }
    // An unknown container length must not show as a huge negative time.
    w.totalmsecs = (w.fmt->duration != AV_NOPTS_VALUE && w.fmt->duration > 0) ? w.fmt->duration * 1000 / 1000000 : 0;
    const AVStream *const *streams = w.fmt->streams;
    if (std::none_of(streams, streams + w.fmt->nb_streams,
                     [](const AVStream *st) { return st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO; })) {
        fail(tr("The file has no audio stream."));
        return;
    }

    while (!stop.loadAcquire()) {
        r = av_read_frame(w.fmt, w.pkt);
        if (r < 0) {
            // Only the end of the file ends the input; anything else would
            // pass a half-read file off as converted.
            const int ioErr = w.fmt->pb ? w.fmt->pb->error : 0;
            if (r == AVERROR_EOF && ioErr < 0 && ioErr != AVERROR_EOF)
                r = ioErr;
            if (r != AVERROR_EOF && !(w.fmt->pb && avio_feof(w.fmt->pb) && ioErr >= 0)) {
                failAv(QStringLiteral("av_read_frame failed, return %1."), r);
                return;
            }
            break;
        }
        AVStream *st = w.fmt->streams[w.pkt->stream_index];
        // Packets of a second audio stream would be garbage to a decoder opened
        // for the first one's codec and layout.
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO || (w.stream && st != w.stream)) {
            av_packet_unref(w.pkt);
            continue;
        }
        if (w.total == 0)
            w.total = streamTotal(w.fmt, st);

        if (!w.codec) {
            w.stream = st;
            const AVCodec *dec = avcodec_find_decoder(st->codecpar->codec_id);
            if (!dec) {
                fail(QStringLiteral("avcodec_find_decoder failed."));
                return;
            }
            w.codec = avcodec_alloc_context3(dec);
            if (!w.codec) {
                fail(QStringLiteral("avcodec_open2 failed."));
                return;
            }
            if (avcodec_parameters_to_context(w.codec, st->codecpar) < 0) {
                fail(QStringLiteral("Failed to copy in_stream codecpar to codec context."));
                return;
            }
            w.codec->pkt_timebase = st->time_base;
            if (avcodec_open2(w.codec, dec, nullptr) != 0) {
                fail(QStringLiteral("avcodec_open2 failed."));
                return;
            }
            w.inRate = st->codecpar->sample_rate > 0 ? st->codecpar->sample_rate : w.codec->sample_rate;
            AVSampleFormat inFormat = AVSampleFormat(st->codecpar->format);
            if (inFormat == AV_SAMPLE_FMT_NONE)
                inFormat = w.codec->sample_fmt;
            int channels = st->codecpar->ch_layout.nb_channels;
            if (channels < 1)
                channels = w.codec->ch_layout.nb_channels;
            if (w.inRate < 1 || !w.ibuf.alloc(channels, w.inRate + 256, inFormat)) {
                fail(QStringLiteral("ibuf alloc failed."));
                return;
            }
            w.obuf.channels = outChannels;
            w.obuf.format = AVSampleFormat(outFormat);
            if (st->time_base.num > 0 && st->time_base.den > 0) {
                w.skipTo = double(startOffset) * st->time_base.num / st->time_base.den;
                tbNum = st->time_base.num;
                tbDen = st->time_base.den;
            }
        }

        r = avcodec_send_packet(w.codec, w.pkt);
        av_packet_unref(w.pkt);
        if (r == AVERROR(ENOMEM)) {
            failAv(QStringLiteral("avcodec_send_packet failed. return %1."), r);
            return;
        }
        if (r < 0)
            skipDamaged(w, r, QStringLiteral("avcodec_send_packet failed. return %1."));
        if (!receiveFrames(w))
            return;
    }
    // Codecs with a delay still hold their last frames.
    if (w.codec && !stop.loadAcquire() && avcodec_send_packet(w.codec, nullptr) >= 0 && !receiveFrames(w))
        return;
    if (w.frames == 0 && !stop.loadAcquire() && ring) {
        if (w.lastDecodeErr < 0)
            failAv(w.lastDecodeText, w.lastDecodeErr);
        else
            fail(tr("The file holds no audio that can be decoded."));
        return;
    }

    if (w.swr) {
        emit progress(w.cur, w.total, w.totalmsecs);
        // A ring closed before the last second went in (a stop at the very
        // end) leaves the file unfinished: those words were never heard.
        if (w.ibuf.count > 0 && !sendBatch(w))
            return;
        // What the resampler still holds for its filter.
        const int tail = swr_get_out_samples(w.swr, 0);
        if (tail > 0 && ring && (tail <= w.obuf.capacity || w.obuf.alloc(outChannels, tail, AVSampleFormat(outFormat)))) {
            const int n = swr_convert(w.swr, w.obuf.data, w.obuf.capacity, nullptr, 0);
            if (n > 0
                && !writeAll(w.obuf.data[0], av_samples_get_buffer_size(nullptr, outChannels, n, AVSampleFormat(outFormat), 1)))
                return;
        }
    }
    // Without a ring nothing was delivered, so the file is not done.
    if (!stop.loadAcquire() && ring) {
        decodedMsecs = qint64(w.pos * 1000 + 0.5);
        declaredMsecs = declaredLength(w.fmt, w.stream);
        ended = true;
    }
}

// A damaged packet is left out and decoding goes on, as the ffmpeg tool
// does; the error is kept for when nothing at all decodes.
void AudioFFMpegDecodeThread::skipDamaged(Work &w, int r, const QString &text)
{
    ++skippedPackets;
    w.lastDecodeErr = r;
    w.lastDecodeText = text;
}

// Takes every frame the decoder has ready. False ends decoding: an error, no
// ring, or a ring that refused the write.
bool AudioFFMpegDecodeThread::receiveFrames(Work &w)
{
    for (;;) {
        const int r = avcodec_receive_frame(w.codec, w.frame);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r == AVERROR(ENOMEM))
            return failAv(QStringLiteral("avcodec_receive_frame return %1."), r);
        if (r < 0) {
            skipDamaged(w, r, QStringLiteral("avcodec_receive_frame return %1."));
            return true;
        }
        const bool go = addFrame(w, w.frame);
        av_frame_unref(w.frame);
        if (!go)
            return false;
    }
}

// Rebuilds the input side when a frame's layout differs from what the input
// buffer holds, so samples are never copied with the wrong shape.
bool AudioFFMpegDecodeThread::matchInput(Work &w, AVFrame *frame)
{
    const int channels = frame->ch_layout.nb_channels;
    if (frame->format == w.ibuf.format && channels == w.ibuf.channels && frame->sample_rate == w.inRate)
        return true;
    if (w.swr && w.ibuf.count > 0 && !sendBatch(w))
        return false;
    swr_free(&w.swr);
    w.inRate = frame->sample_rate;
    if (!w.ibuf.alloc(channels, w.inRate + 256, AVSampleFormat(frame->format)))
        return fail(QStringLiteral("ibuf alloc failed."));
    return true;
}

bool AudioFFMpegDecodeThread::makeResampler(Work &w, AVFrame *frame)
{
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, outChannels);
    AVChannelLayout inLayout;
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || !av_channel_layout_check(&frame->ch_layout))
        av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
    else if (av_channel_layout_copy(&inLayout, &frame->ch_layout) < 0)
        av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
    const int r = swr_alloc_set_opts2(&w.swr, &outLayout, AVSampleFormat(outFormat), outRate, &inLayout,
                                      w.ibuf.format, w.inRate, 0, nullptr);
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&inLayout);
    if (r < 0) {
        swr_free(&w.swr);
        return fail(QStringLiteral("swr_alloc_set_opts2 return %1.").arg(avNum(r)));
    }
    if (!w.swr || swr_init(w.swr) < 0) {
        swr_free(&w.swr);
        return fail(QStringLiteral("swr_init failed."));
    }
    return true;
}

bool AudioFFMpegDecodeThread::addFrame(Work &w, AVFrame *frame)
{
    ++w.frames;
    w.cur += frameDuration(frame, w.stream, w.inRate);
    if (frame->nb_samples < 1 || frame->sample_rate < 1 || frame->ch_layout.nb_channels < 1)
        return true;
    const double frameStart = w.pos;
    w.pos += double(frame->nb_samples) / frame->sample_rate;
    // Frames before the start offset are dropped, and the one that straddles
    // it loses its head: output resumes at the very sample where it stopped.
    const double skip = (w.skipTo - frameStart) * frame->sample_rate;
    if (skip > frame->nb_samples - 0.5)
        return true;
    if (!matchInput(w, frame))
        return false;
    if (!w.swr && !makeResampler(w, frame))
        return false;

    // A frame may hold more than one second (long FLAC or TTA frames): every
    // time the batch fills it goes out, and the rest of the frame follows.
    int offset = skip > 0 ? int(skip + 0.5) : 0;
    while (offset < frame->nb_samples) {
        const int take = std::min(w.inRate - w.ibuf.count, frame->nb_samples - offset);
        av_samples_copy(w.ibuf.data, frame->extended_data, w.ibuf.count, offset, take, w.ibuf.channels,
                        w.ibuf.format);
        w.ibuf.count += take;
        offset += take;
        if (w.ibuf.count >= w.inRate) {
            if (!sendBatch(w))
                return false;
            emit progress(w.cur, w.total, w.totalmsecs);
        }
    }
    return true;
}

// Resamples what the input buffer holds and writes it to the ring. False
// ends decoding: no ring, the ring refused the write, or a resampler error.
bool AudioFFMpegDecodeThread::sendBatch(Work &w)
{
    const int want = swr_get_out_samples(w.swr, w.ibuf.count);
    if (want > w.obuf.capacity && !w.obuf.alloc(outChannels, want, AVSampleFormat(outFormat)))
        return fail(QStringLiteral("obuf alloc failed."));
    const int n = swr_convert(w.swr, w.obuf.data, w.obuf.capacity, const_cast<const uint8_t **>(w.ibuf.data),
                              w.ibuf.count);
    w.ibuf.count = 0;
    if (n < 0)
        return fail(QStringLiteral("swr_convert return %1.").arg(avNum(n)));
    const int bytes = n > 0 ? av_samples_get_buffer_size(nullptr, outChannels, n, AVSampleFormat(outFormat), 1) : 0;
    if (!ring)
        return false;
    if (bytes > 0 && !writeAll(w.obuf.data[0], bytes))
        return false;
    w.obuf.count = 0;
    return true;
}

bool AudioFFMpegDecodeThread::writeAll(const uint8_t *data, int bytes)
{
    int done = 0;
    while (done < bytes) {
        const int n = ring->write(data + done, bytes - done, true);
        if (n < 1)
            return false;
        done += n;
    }
    return true;
}

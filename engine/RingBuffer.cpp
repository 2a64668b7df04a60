#include "engine/RingBuffer.h"

#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <cstring>
#include <new>

// Single-producer, single-consumer ring. Each offset keeps a loop flag in its
// top bit, so a full ring (offsets equal, flags differ) can be told from an
// empty one (offsets and flags equal) and the whole storage is usable.
struct RingBuffer::Ring
{
    static constexpr quint32 loopFlag = 0x80000000u;
    static constexpr quint32 offsetMask = 0x7FFFFFFFu;

    char *data = nullptr;
    quint32 size = 0;
    std::atomic<quint32> readPos{0};
    std::atomic<quint32> writePos{0};

    ~Ring() { delete[] data; }

    // The contiguous readable run from the read offset, at most want bytes.
    quint32 readable(quint32 want, char **span) const
    {
        const quint32 r = readPos.load(std::memory_order_relaxed);
        const quint32 w = writePos.load(std::memory_order_acquire);
        const quint32 ro = r & offsetMask, wo = w & offsetMask;
        const quint32 avail = ((r & loopFlag) == (w & loopFlag)) ? wo - ro : size - ro;
        *span = data + ro;
        return avail < want ? avail : want;
    }

    void commitRead(quint32 n)
    {
        quint32 r = readPos.load(std::memory_order_relaxed);
        quint32 off = (r & offsetMask) + n, flag = r & loopFlag;
        if (off == size) {
            off = 0;
            flag ^= loopFlag;
        }
        readPos.store(off | flag, std::memory_order_release);
    }

    // The contiguous free run from the write offset, at most want bytes.
    quint32 writable(quint32 want, char **span) const
    {
        const quint32 w = writePos.load(std::memory_order_relaxed);
        const quint32 r = readPos.load(std::memory_order_acquire);
        const quint32 ro = r & offsetMask, wo = w & offsetMask;
        const quint32 avail = ((r & loopFlag) == (w & loopFlag)) ? size - wo : ro - wo;
        *span = data + wo;
        return avail < want ? avail : want;
    }

    void commitWrite(quint32 n)
    {
        quint32 w = writePos.load(std::memory_order_relaxed);
        quint32 off = (w & offsetMask) + n, flag = w & loopFlag;
        if (off == size) {
            off = 0;
            flag ^= loopFlag;
        }
        writePos.store(off | flag, std::memory_order_release);
    }
};

struct RingBuffer::WaitPair
{
    QMutex mutex;
    QWaitCondition cond;
};

RingBuffer::RingBuffer() = default;

RingBuffer::~RingBuffer()
{
    delete rb;
    delete dataAvailable;
    delete spaceAvailable;
}

bool RingBuffer::init(unsigned size)
{
    if (inited)
        return true;
    closed.storeRelease(0);
    if (!dataAvailable)
        dataAvailable = new WaitPair;
    if (!spaceAvailable)
        spaceAvailable = new WaitPair;
    if (!rb) {
        if (size == 0 || size > Ring::offsetMask)
            return false;
        auto ring = std::make_unique<Ring>();
        ring->data = new (std::nothrow) char[size];
        if (!ring->data)
            return false;
        ring->size = size;
        rb = ring.release();
    }
    inited = true;
    return true;
}

unsigned RingBuffer::capacity() const
{
    return rb ? rb->size : 0;
}

void RingBuffer::wake(WaitPair *pair)
{
    QMutexLocker lock(&pair->mutex);
    pair->cond.wakeOne();
}

int RingBuffer::read(void *dst, int bytes, bool block)
{
    if (!rb || !dataAvailable || !spaceAvailable || bytes < 0 || (bytes > 0 && !dst))
        return -1;
    // The closed flag before the data: a close seen here came after every
    // byte written before it, so the look at the data sees those bytes too.
    const bool ended = isClosed();
    if (betweenLooks)
        betweenLooks();
    char *span = nullptr;
    quint32 n = rb->readable(quint32(bytes), &span);
    if (n == 0) {
        if (!block || bytes == 0)
            return 0;
        if (ended)
            return -1;
        {
            // Test and sleep under the mutex the writer takes to wake us, so
            // a commit or close between the two cannot be missed.
            QMutexLocker lock(&dataAvailable->mutex);
            // A wake without data or close is spurious: sleep again, or the
            // caller would take it for the end of the stream.
            while (rb->readable(quint32(bytes), &span) == 0 && !isClosed())
                dataAvailable->cond.wait(&dataAvailable->mutex);
        }
        n = rb->readable(quint32(bytes), &span);
        if (n == 0)
            return -1;
    }
    std::memcpy(dst, span, n);
    rb->commitRead(n);
    wake(spaceAvailable);
    return int(n);
}

int RingBuffer::write(const void *src, int bytes, bool block)
{
    if (!rb || !dataAvailable || !spaceAvailable || bytes < 0 || isClosed())
        return -1;
    if (bytes == 0)
        return 0;
    if (!src)
        return -1;
    if (betweenLooks)
        betweenLooks();
    char *span = nullptr;
    quint32 n = rb->writable(quint32(bytes), &span);
    if (n == 0) {
        if (!block)
            return 0;
        {
            QMutexLocker lock(&spaceAvailable->mutex);
            while (rb->writable(quint32(bytes), &span) == 0 && !isClosed())
                spaceAvailable->cond.wait(&spaceAvailable->mutex);
        }
        n = rb->writable(quint32(bytes), &span);
        if (n == 0)
            return -1;
    }
    std::memcpy(span, src, n);
    {
        // Commit and close take one lock, so a write lands before the close,
        // where the reader drains it, or is refused: never after the reader
        // took the ring for ended.
        QMutexLocker lock(&dataAvailable->mutex);
        if (isClosed())
            return -1;
        rb->commitWrite(n);
        dataAvailable->cond.wakeOne();
    }
    return int(n);
}

void RingBuffer::close()
{
    if (dataAvailable) {
        QMutexLocker lock(&dataAvailable->mutex);
        closed.fetchAndStoreOrdered(1);
        dataAvailable->cond.wakeOne();
    } else {
        closed.fetchAndStoreOrdered(1);
    }
    if (spaceAvailable)
        wake(spaceAvailable);
}

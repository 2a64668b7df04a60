#pragma once
// Blocking byte FIFO between one audio producer and the recogniser.

#include <QAtomicInt>

#include <functional>
#include <memory>

class QMutex;
class QWaitCondition;

class RingBuffer
{
public:
    RingBuffer();
    ~RingBuffer();
    RingBuffer(const RingBuffer &) = delete;
    RingBuffer &operator=(const RingBuffer &) = delete;

    // Allocates the storage once; true at once when already inited.
    bool init(unsigned size);
    // Bytes copied, 0 (nothing to do without blocking) or -1 (closed and
    // drained, not inited, or woken without progress).
    int read(void *dst, int bytes, bool block);
    int write(const void *src, int bytes, bool block);
    // Refuses further writes; readers still drain what is left.
    void close();

    bool isClosed() const { return closed.loadAcquire() != 0; }
    unsigned capacity() const;

    // Runs where a preempted caller stands: in read between its look at the
    // closed flag and its look at the data, in write between its look at
    // the closed flag and its commit. A test closes the ring there.
    void setBetweenLooks(std::function<void()> f) { betweenLooks = std::move(f); }

private:
    struct WaitPair;
    struct Ring;

    void wake(WaitPair *pair);

    Ring *rb = nullptr;
    WaitPair *dataAvailable = nullptr;
    WaitPair *spaceAvailable = nullptr;
    bool inited = false;
    QAtomicInt closed;
    std::function<void()> betweenLooks;
};

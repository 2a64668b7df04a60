#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "engine/RingBuffer.h"

namespace {

// A ring call that blocks on its own thread. The thread shares ownership of
// the ring and of the result, so when a wake never comes it can be left
// behind: the test fails instead of hanging.
constexpr int badPattern = -3;

class BlockedCall
{
public:
    BlockedCall(std::shared_ptr<RingBuffer> ring, std::function<int(RingBuffer &)> call)
        : m_result(std::make_shared<std::atomic<int>>(pending))
    {
        auto result = m_result;
        m_thread = std::thread([ring, call, result] { *result = call(*ring); });
    }
    ~BlockedCall()
    {
        if (m_thread.joinable())
            m_thread.detach();
    }
    BlockedCall(const BlockedCall &) = delete;
    BlockedCall &operator=(const BlockedCall &) = delete;

    bool isPending() const { return *m_result == pending; }
    // The call's result once it returned within the watchdog's time, else pending.
    int result()
    {
        QDeadlineTimer watchdog(30000);
        while (isPending() && !watchdog.hasExpired())
            QThread::msleep(5);
        if (isPending())
            return pending;
        m_thread.join();
        return *m_result;
    }

    static constexpr int pending = -2;

private:
    std::shared_ptr<std::atomic<int>> m_result;
    std::thread m_thread;
};

}

class TestRingBuffer : public QObject
{
    Q_OBJECT

private slots:
    void uninitedRefuses();
    void initFailsForImpossibleSizes_data();
    void initFailsForImpossibleSizes();
    void capacity();
    void spansStopAtTheEnd();
    void emptyReads();
    void zeroByteWrites();
    void drainAfterClose();
    void closeWhileACallIsPreempted();
    void secondInitDoesNotReopen();
    void threadedCountingPattern_data();
    void threadedCountingPattern();
    void closeWakesBlockedReader();
    void closeWakesBlockedWriter();
};

void TestRingBuffer::uninitedRefuses()
{
    RingBuffer rb;
    char buf[16] = {};
    QCOMPARE(rb.read(buf, 16, false), -1);
    QCOMPARE(rb.read(buf, 16, true), -1);
    QCOMPARE(rb.write(buf, 16, false), -1);
    QCOMPARE(rb.write(buf, 0, true), -1);
    rb.close(); // harmless without storage
}

void TestRingBuffer::initFailsForImpossibleSizes_data()
{
    QTest::addColumn<unsigned>("size");
    QTest::newRow("zero") << 0u;
    QTest::newRow("beyond offsets") << 0x80000000u;
}

void TestRingBuffer::initFailsForImpossibleSizes()
{
    QFETCH(unsigned, size);
    RingBuffer rb;
    QVERIFY(!rb.init(size));
    char c = 0;
    QCOMPARE(rb.write(&c, 1, false), -1);
    QVERIFY(rb.init(16)); // a later sound init still works
    QCOMPARE(rb.write(&c, 1, false), 1);
}

void TestRingBuffer::capacity()
{
    RingBuffer rb;
    QVERIFY(rb.init(64000));
    QByteArray in(70000, 'x');
    QCOMPARE(rb.write(in.constData(), in.size(), false), 64000);
    QCOMPARE(rb.write(in.constData(), 1, false), 0);
    QByteArray out(70000, '\0');
    QCOMPARE(rb.read(out.data(), out.size(), false), 64000);
    QCOMPARE(rb.read(out.data(), out.size(), false), 0);
}

void TestRingBuffer::spansStopAtTheEnd()
{
    RingBuffer rb;
    QVERIFY(rb.init(64000));
    QByteArray in(40000, '\0');
    for (int i = 0; i < in.size(); ++i)
        in[i] = char(i % 251);
    QByteArray out(64000, '\0');
    QCOMPARE(rb.write(in.constData(), 40000, false), 40000);
    QCOMPARE(rb.read(out.data(), 30000, false), 30000);
    // Only the run up to the end of the storage is free in one piece.
    QCOMPARE(rb.write(in.constData(), 40000, false), 24000);
    QCOMPARE(rb.write(in.constData() + 24000, 16000, false), 16000);
    QCOMPARE(rb.write(in.constData(), 20000, false), 14000);
    QCOMPARE(rb.write(in.constData(), 1, false), 0);
    // Reads split the same way: 34000 up to the end, then the wrapped rest.
    QCOMPARE(rb.read(out.data(), 64000, false), 34000);
    QCOMPARE(out.left(10000), in.mid(30000, 10000));
    QCOMPARE(out.mid(10000, 24000), in.left(24000));
    QCOMPARE(rb.read(out.data(), 64000, false), 30000);
    QCOMPARE(out.left(16000), in.mid(24000, 16000));
    QCOMPARE(out.mid(16000, 14000), in.left(14000));
    QCOMPARE(rb.read(out.data(), 64000, false), 0);
}

void TestRingBuffer::emptyReads()
{
    auto rb = std::make_shared<RingBuffer>();
    QVERIFY(rb->init(1000));
    char buf[100];
    QCOMPARE(rb->read(buf, 100, false), 0);
    QCOMPARE(rb->read(buf, -1, false), -1);

    auto got = std::make_shared<QByteArray>(100, '\0');
    BlockedCall reader(rb, [got](RingBuffer &r) { return r.read(got->data(), 100, true); });
    // The blocked reader is released by a write and gets its bytes.
    QTest::qWait(50);
    QVERIFY(reader.isPending());
    QCOMPARE(rb->write("abc", 3, true), 3);
    QCOMPARE(reader.result(), 3);
    QCOMPARE(got->left(3), QByteArray("abc"));
}

void TestRingBuffer::zeroByteWrites()
{
    RingBuffer rb;
    QVERIFY(rb.init(100));
    QCOMPARE(rb.write("", 0, false), 0);
    QCOMPARE(rb.write("", 0, true), 0);
    QCOMPARE(rb.write(nullptr, 0, true), 0);
    QCOMPARE(rb.write("a", -1, false), -1);
    rb.close();
    QCOMPARE(rb.write("", 0, false), -1);
    QCOMPARE(rb.write("a", 1, true), -1);
}

void TestRingBuffer::drainAfterClose()
{
    RingBuffer rb;
    QVERIFY(rb.init(100));
    QCOMPARE(rb.write("hello world", 11, false), 11);
    rb.close();
    QVERIFY(rb.isClosed());
    char buf[8];
    QCOMPARE(rb.read(buf, 8, true), 8);
    QCOMPARE(QByteArray(buf, 8), QByteArray("hello wo"));
    QCOMPARE(rb.read(buf, 8, true), 3);
    QCOMPARE(rb.read(buf, 8, false), 0);
    QCOMPARE(rb.read(buf, 8, true), -1);
    QCOMPARE(rb.read(buf, 8, true), -1);
}

// The close lands while a call stands between its look at the closed flag
// and its next step, as when it is preempted there: every byte written
// before the close is read, and a write too late for the reader is refused.
void TestRingBuffer::closeWhileACallIsPreempted()
{
    char buf[8];
    RingBuffer tail, late;
    QVERIFY(tail.init(100) && late.init(100));
    int calls = 0;
    tail.setBetweenLooks([&] { if (!calls++) { tail.write("tail", 4, true); tail.close(); } });
    late.setBetweenLooks([&] { if (!calls++) { late.close(); late.read(buf, 8, true); } });
    QCOMPARE(tail.read(buf, 8, true), 4);
    QCOMPARE(tail.read(buf, 8, true), -1);
    calls = 0;
    QCOMPARE(late.write("late", 4, true), -1);
}

void TestRingBuffer::secondInitDoesNotReopen()
{
    RingBuffer rb;
    QVERIFY(rb.init(100));
    rb.close();
    QVERIFY(rb.init(500));
    QCOMPARE(rb.capacity(), 100u);
    QCOMPARE(rb.write("a", 1, false), -1);
}

void TestRingBuffer::threadedCountingPattern_data()
{
    QTest::addColumn<unsigned>("size");
    QTest::addColumn<int>("writeChunk");
    QTest::addColumn<int>("readChunk");
    QTest::newRow("decoder-like") << 64000u << 4096 << 3200;
    QTest::newRow("capture-like") << 160000u << 32000 << 3200;
    QTest::newRow("tiny ring, odd chunks") << 7u << 5 << 3;
}

void TestRingBuffer::threadedCountingPattern()
{
    QFETCH(unsigned, size);
    QFETCH(int, writeChunk);
    QFETCH(int, readChunk);
    const qint64 total = size < 100 ? 200000 : 4000000;

    auto rb = std::make_shared<RingBuffer>();
    QVERIFY(rb->init(size));
    // A bad byte closes the ring, so the other side ends as well.
    BlockedCall writer(rb, [total, writeChunk](RingBuffer &r) {
        QByteArray chunk(writeChunk, '\0');
        qint64 sent = 0;
        while (sent < total) {
            const int want = int(qMin<qint64>(writeChunk, total - sent));
            for (int i = 0; i < want; ++i)
                chunk[i] = char((sent + i) % 253);
            for (int off = 0; off < want;) {
                const int n = r.write(chunk.constData() + off, want - off, true);
                if (n <= 0) {
                    r.close();
                    return badPattern;
                }
                off += n;
            }
            sent += want;
        }
        r.close();
        return 0;
    });
    BlockedCall reader(rb, [readChunk](RingBuffer &r) {
        QByteArray buf(readChunk, '\0');
        int received = 0;
        for (;;) {
            const int n = r.read(buf.data(), readChunk, true);
            if (n < 0)
                return received;
            // A blocking read never comes back empty.
            bool good = n > 0;
            for (int i = 0; good && i < n; ++i)
                good = buf[i] == char((received + i) % 253);
            if (!good) {
                r.close();
                return badPattern;
            }
            received += n;
        }
    });
    QCOMPARE(writer.result(), 0);
    QCOMPARE(reader.result(), int(total));
}

void TestRingBuffer::closeWakesBlockedReader()
{
    auto rb = std::make_shared<RingBuffer>();
    QVERIFY(rb->init(100));
    BlockedCall reader(rb, [](RingBuffer &r) {
        char buf[10];
        return r.read(buf, 10, true);
    });
    QTest::qWait(50);
    rb->close();
    QCOMPARE(reader.result(), -1);
}

void TestRingBuffer::closeWakesBlockedWriter()
{
    auto rb = std::make_shared<RingBuffer>();
    QVERIFY(rb->init(10));
    QCOMPARE(rb->write("0123456789", 10, false), 10);
    BlockedCall writer(rb, [](RingBuffer &r) { return r.write("x", 1, true); });
    QTest::qWait(50);
    rb->close();
    QCOMPARE(writer.result(), -1);
    char buf[10];
    QCOMPARE(rb->read(buf, 10, true), 10); // what was queued still drains
}

QTEST_GUILESS_MAIN(TestRingBuffer)
#include "tst_ring_buffer.moc"

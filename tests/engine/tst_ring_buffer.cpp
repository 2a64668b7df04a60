#include <QtTest>

#include <atomic>
#include <thread>

#include "engine/RingBuffer.h"

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
    RingBuffer rb;
    QVERIFY(rb.init(1000));
    char buf[100];
    QCOMPARE(rb.read(buf, 100, false), 0);
    QCOMPARE(rb.read(buf, -1, false), -1);

    std::atomic<int> got{-2};
    std::thread reader([&] { got = rb.read(buf, 100, true); });
    // The blocked reader is released by a write and gets its bytes.
    QTest::qWait(50);
    QCOMPARE(got.load(), -2);
    QCOMPARE(rb.write("abc", 3, true), 3);
    reader.join();
    QCOMPARE(got.load(), 3);
    QCOMPARE(QByteArray(buf, 3), QByteArray("abc"));
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

    RingBuffer rb;
    QVERIFY(rb.init(size));
    std::atomic<bool> writerOk{true};
    std::thread writer([&] {
        QByteArray chunk(writeChunk, '\0');
        qint64 sent = 0;
        while (sent < total) {
            const int want = int(qMin<qint64>(writeChunk, total - sent));
            for (int i = 0; i < want; ++i)
                chunk[i] = char((sent + i) % 253);
            int off = 0;
            while (off < want) {
                const int n = rb.write(chunk.constData() + off, want - off, true);
                if (n <= 0) {
                    writerOk = false;
                    rb.close();
                    return;
                }
                off += n;
            }
            sent += want;
        }
        rb.close();
    });

    QByteArray buf(readChunk, '\0');
    qint64 received = 0;
    qint64 firstBad = -1;
    for (;;) {
        const int n = rb.read(buf.data(), readChunk, true);
        if (n < 0)
            break;
        QVERIFY(n > 0);
        for (int i = 0; i < n && firstBad < 0; ++i)
            if (buf[i] != char((received + i) % 253))
                firstBad = received + i;
        received += n;
    }
    writer.join();
    QVERIFY(writerOk);
    QCOMPARE(firstBad, qint64(-1));
    QCOMPARE(received, total);
}

void TestRingBuffer::closeWakesBlockedReader()
{
    RingBuffer rb;
    QVERIFY(rb.init(100));
    std::atomic<int> got{-2};
    std::thread reader([&] {
        char buf[10];
        got = rb.read(buf, 10, true);
    });
    QTest::qWait(50);
    rb.close();
    reader.join();
    QCOMPARE(got.load(), -1);
}

void TestRingBuffer::closeWakesBlockedWriter()
{
    RingBuffer rb;
    QVERIFY(rb.init(10));
    QCOMPARE(rb.write("0123456789", 10, false), 10);
    std::atomic<int> got{-2};
    std::thread writer([&] { got = rb.write("x", 1, true); });
    QTest::qWait(50);
    rb.close();
    writer.join();
    QCOMPARE(got.load(), -1);
    char buf[10];
    QCOMPARE(rb.read(buf, 10, true), 10); // what was queued still drains
}

QTEST_GUILESS_MAIN(TestRingBuffer)
#include "tst_ring_buffer.moc"

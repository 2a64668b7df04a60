#include "app/Initable.h"
#include "app/InitablesThread.h"

#include <QAtomicInt>
#include <QMutex>
#include <QSignalSpy>
#include <QStringList>
#include <QThread>
#include <QtTest>

// Records the order of init calls across all fakes.
static QMutex g_logMutex;
static QStringList g_log;

class FakeInitable : public QObject, public Initable
{
    Q_OBJECT
public:
    FakeInitable(const QString &name, bool ok, int workMs = 0)
        : m_name(name), m_ok(ok), m_workMs(workMs) {}

    bool init(QString &err) override
    {
        entered.storeRelease(1);
        if (m_workMs > 0)
            QThread::msleep(m_workMs);
        {
            QMutexLocker lock(&g_logMutex);
            g_log << m_name;
        }
        done.storeRelease(1);
        if (!m_ok)
            err = m_name + QStringLiteral(" failed.");
        return m_ok;
    }

    QAtomicInt entered;
    QAtomicInt done;

private:
    QString m_name;
    bool m_ok;
    int m_workMs;
};

static QVariant v(QObject *o)
{
    return QVariant::fromValue(o);
}

// Receives initFinished queued on the test's thread, as a page does (a
// QSignalSpy would record it on the worker thread).
struct Finished
{
    int count = 0;
    bool res = false;
    QString err;

    void watch(InitablesThread *t, QObject *context)
    {
        QObject::connect(t, &InitablesThread::initFinished, context, [this](bool r, const QString &e) {
            ++count;
            res = r;
            err = e;
        });
    }
};

class TestInitablesThread : public QObject
{
    Q_OBJECT

private slots:
    void init() { g_log.clear(); }

    void runs_data()
    {
        QTest::addColumn<QList<bool>>("results");
        QTest::addColumn<bool>("res");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QStringList>("called");
        QTest::newRow("empty") << QList<bool>() << true << QString() << QStringList();
        QTest::newRow("all succeed") << QList<bool>({ true, true, true }) << true << QString()
                                     << QStringList({ "o0", "o1", "o2" });
        QTest::newRow("second fails") << QList<bool>({ true, false, true }) << false << QString("o1 failed.")
                                      << QStringList({ "o0", "o1" });
        QTest::newRow("first fails") << QList<bool>({ false, true }) << false << QString("o0 failed.")
                                     << QStringList({ "o0" });
    }

    void runs()
    {
        QFETCH(QList<bool>, results);
        QFETCH(bool, res);
        QFETCH(QString, err);
        QFETCH(QStringList, called);

        std::vector<std::unique_ptr<FakeInitable>> objs;
        QVariantList list;
        for (int i = 0; i < results.size(); ++i) {
            objs.emplace_back(new FakeInitable(QStringLiteral("o%1").arg(i), results[i]));
            list << v(objs.back().get());
        }
        InitablesThread t;
        t.setInits(list);
        Finished f;
        f.watch(&t, this);
        t.start();
        QTRY_COMPARE_WITH_TIMEOUT(f.count, 1, 5000);
        QVERIFY(t.wait(5000));
        QCoreApplication::processEvents();
        QCOMPARE(f.count, 1);
        QCOMPARE(f.res, res);
        QCOMPARE(f.err, err);
        QMutexLocker lock(&g_logMutex);
        QCOMPARE(g_log, called);
    }

    void invalidElements_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("plain object") << 0;
        QTest::newRow("no object") << 1;
        QTest::newRow("null object") << 2;
    }

    void invalidElements()
    {
        QFETCH(int, kind);
        FakeInitable first("first", true);
        FakeInitable last("last", true);
        QObject plain;
        QVariant bad = kind == 0 ? v(&plain) : kind == 1 ? QVariant(42) : v(nullptr);
        InitablesThread t;
        t.setInits({ v(&first), bad, v(&last) });
        Finished f;
        f.watch(&t, this);
        t.start();
        QTRY_COMPARE_WITH_TIMEOUT(f.count, 1, 5000);
        QVERIFY(t.wait(5000));
        QCOMPARE(f.res, false);
        QCOMPARE(f.err, QStringLiteral("invalid Initable."));
        QMutexLocker lock(&g_logMutex);
        QCOMPARE(g_log, QStringList({ "first" }));
    }

    void initsChangedOnlyOnChange()
    {
        FakeInitable a("a", true), b("b", true);
        InitablesThread t;
        QSignalSpy spy(&t, &InitablesThread::initsChanged);
        t.setInits({ v(&a) });
        t.setInits({ v(&a) });
        QCOMPARE(spy.count(), 1);
        t.setInits({ v(&b) });
        QCOMPARE(spy.count(), 2);
        t.setInits({ v(&b), v(&a) });
        QCOMPARE(spy.count(), 3);
        QCOMPARE(t.inits().size(), 2);
    }

    // Leaving the page while a project opens: the thread object goes while an
    // init still works. It waits for that init and skips the rest.
    void destroyedDuringSlowInit()
    {
        FakeInitable slow("slow", true, 300);
        FakeInitable later("later", true);
        auto *t = new InitablesThread;
        t->setInits({ v(&slow), v(&later) });
        t->start();
        QTRY_VERIFY_WITH_TIMEOUT(slow.entered.loadAcquire() == 1, 5000);
        delete t;
        QCOMPARE(slow.done.loadAcquire(), 1);
        QCOMPARE(later.entered.loadAcquire(), 0);
    }
};

QTEST_GUILESS_MAIN(TestInitablesThread)
#include "tst_initables_thread.moc"

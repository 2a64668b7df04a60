// The batch model base, the exporter base's view of its cancel flag, and the
// exporters' worker thread.

#include "export/ExportHandlingItemModel.h"
#include "export/IExportHandling.h"
#include "export/TodoInThread.h"
#include "projects/BatchHandlingItemModel.h"
#include "projects/ConvertFilesHandlingItemModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(const QMetaObject *)

namespace {

class Batch : public BatchHandlingItemModel
{
public:
    using BatchHandlingItemModel::BatchHandlingItemModel;
    int rows = 5;
    QStringList log;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : rows; }

protected:
    QString itemName(int row) const override { return QStringLiteral("job %1").arg(row); }
    QString itemErr(int row) const override { return row == 4 ? QStringLiteral("bad") : QString(); }
    int itemStatus(int row) const override { return row == 4 ? -1 : 0; }
    int itemProgress(int row) const override { return row * 10; }
    void cancelJobs() override { log << (isCanceled() ? "jobs after flag" : "jobs before flag"); }
};

class Exporter : public IExportHandling
{
public:
    using IExportHandling::IExportHandling;
    void start() override {}
    void stop() override {}
};

class Receiver : public QObject
{
    Q_OBJECT
public:
    QThread *ranIn = nullptr;
    QVariant got;
    Q_INVOKABLE void take(bool r)
    {
        ranIn = QThread::currentThread();
        got = r;
    }
};

}

class TestBatchBase : public QObject
{
    Q_OBJECT

private slots:
    void data_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("expected");
        const QVariantMap d4 { { "name", "job 4" }, { "err", "bad" }, { "status", -1 }, { "progress", 40 } };
        QTest::newRow("idx") << 4 << 1 << QVariant(4);
        QTest::newRow("d") << 4 << 2 << QVariant(d4);
        QTest::newRow("other role") << 1 << 3 << QVariant();
        QTest::newRow("display role") << 1 << int(Qt::DisplayRole) << QVariant();
        QTest::newRow("past the end") << 5 << 1 << QVariant();
        QTest::newRow("negative") << -1 << 1 << QVariant();
    }

    void data()
    {
        QFETCH(int, row);
        QFETCH(int, role);
        QFETCH(QVariant, expected);
        Batch m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Rows outside the list have no index; data() answers nothing for them.
        const QModelIndex i = row >= 0 && row < m.rows ? m.index(row, 0) : QModelIndex();
        QCOMPARE(m.data(i, role), expected);
        QCOMPARE(m.roleNames(), (QHash<int, QByteArray> { { 1, "idx" }, { 2, "d" } }));
    }

    void settersAndCancel()
    {
        Batch m;
        QSignalSpy fin(&m, &BatchHandlingItemModel::finishedChanged);
        QSignalSpy tot(&m, &BatchHandlingItemModel::totalFinishedChanged);
        m.setFinished(0);
        m.setTotalFinished(false);
        QCOMPARE(fin.count() + tot.count(), 0);
        m.setFinished(3);
        m.setFinished(3);
        m.setTotalFinished(true);
        QCOMPARE(fin.count(), 1);
        QCOMPARE(tot.count(), 1);

        auto *exporter = new Exporter(&m);
        QVERIFY(!exporter->isCanceled());
        connect(&m, &BatchHandlingItemModel::canceled, this, [&] { m.log << "signal"; });
        m.cancel();
        QCOMPARE(m.log, (QStringList { "signal", "jobs after flag" }));
        QVERIFY(exporter->isCanceled());
        QVERIFY(!Exporter(nullptr).isCanceled());

        exporter->setErr("first");
        exporter->setErr("second");
        QVERIFY(exporter->hasErr);
        QCOMPARE(exporter->err, QStringLiteral("second"));
    }

    // QML reaches cancel and isCanceled at their places in the meta-object,
    // and never the hooks: cancelJobs called alone would stop the jobs
    // without the flag that ends the batch.
    void metaObjectOrder_data()
    {
        QTest::addColumn<const QMetaObject *>("mo");
        QTest::newRow("base") << &BatchHandlingItemModel::staticMetaObject;
        QTest::newRow("conversion") << &ConvertFilesHandlingItemModel::staticMetaObject;
        QTest::newRow("export") << &ExportHandlingItemModel::staticMetaObject;
    }

    void metaObjectOrder()
    {
        QFETCH(const QMetaObject *, mo);
        const QMetaObject &base = BatchHandlingItemModel::staticMetaObject;
        QCOMPARE(base.indexOfMethod("cancel()") - base.methodOffset(), 4);
        QCOMPARE(base.indexOfMethod("isCanceled()") - base.methodOffset(), 5);
        for (const char *hook : { "itemName(int)", "itemErr(int)", "itemStatus(int)", "itemProgress(int)", "cancelJobs()" })
            QVERIFY2(mo->indexOfMethod(hook) < 0, hook);
    }

    void workerThread_data()
    {
        QTest::addColumn<bool>("withMethod");
        QTest::newRow("result delivered") << true;
        QTest::newRow("no method") << false;
    }

    void workerThread()
    {
        QFETCH(bool, withMethod);
        Receiver receiver;
        QAtomicInt ranOnWorker;
        auto *t = makeTodoInThread([&] { ranOnWorker = QThread::currentThread() != QCoreApplication::instance()->thread(); return true; },
                                   &receiver, withMethod ? "take" : nullptr, &receiver);
        t->start();
        QVERIFY(t->wait(10000));
        QVERIFY(ranOnWorker.loadRelaxed());
        QCoreApplication::processEvents();
        QCOMPARE(receiver.got, withMethod ? QVariant(true) : QVariant());
        if (withMethod)
            QCOMPARE(receiver.ranIn, QCoreApplication::instance()->thread());
    }
};

QTEST_GUILESS_MAIN(TestBatchBase)
#include "tst_batch_base.moc"

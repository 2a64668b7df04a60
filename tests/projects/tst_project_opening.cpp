// The conversation and comment models opened by an InitablesThread, as the
// project page opens them, while the controller's signals arrive and the
// GUI thread reads both models. Run under ThreadSanitizer as well.

#include "app/InitablesThread.h"
#include "common/ProjectDbAccess.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "projects/CommentItemModel.h"
#include "projects/ConversationsItemModel.h"
#include "projects/ProjectMainController.h"

#include <QtTest>

namespace {

// The rows a view of the model has been told about.
int announced(int before, const QSignalSpy &inserted, const QSignalSpy &removed)
{
    for (const QList<QVariant> &r : inserted)
        before += r.at(2).toInt() - r.at(1).toInt() + 1;
    for (const QList<QVariant> &r : removed)
        before -= r.at(2).toInt() - r.at(1).toInt() + 1;
    return before;
}

}

class TestProjectOpening : public QObject
{
    Q_OBJECT

private slots:
    void controllerSignalsWhileOpening_data();
    void controllerSignalsWhileOpening();
};

enum Arriving { NewHighlight, PartialText, ClearedConversion };

void TestProjectOpening::controllerSignalsWhileOpening_data()
{
    QTest::addColumn<int>("arriving");
    QTest::newRow("new highlight") << int(NewHighlight);
    QTest::newRow("partial text") << int(PartialText);
    QTest::newRow("cleared conversion") << int(ClearedConversion);
}

void TestProjectOpening::controllerSignalsWhileOpening()
{
    QFETCH(int, arriving);
    TestUtil::requireSandboxedHome();
    TestUtil::ProjectFixture fx;
    QString err;
    QVERIFY2(fx.open(err), qPrintable(err));
    // Enough rows that loading them takes a while on the opening thread.
    const int loaded = 2000;
    {
        const auto raw = TestUtil::openRaw(fx.folder() + "/data");
        QVERIFY(raw);
        TestUtil::exec(*raw, QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < %1)"
                                            " insert into vres(start, end, fstart, fend, html, raw_words, spk_id, device, item_id)"
                                            " select i, i + 1, 0, 0, ' segment ' || i, '[]', 1, 2, 0 from n").arg(loaded));
        TestUtil::exec(*raw, QStringLiteral("insert into citem(vres_id, text, type, dt) select id, 'item', 2, 0 from vres"));
        TestUtil::exec(*raw, QStringLiteral("insert into comment(citem_id, text, dt) select id, 'reply', 0 from citem"));
    }

    ConversationsItemModel conv;
    CommentItemModel comments;
    QSignalSpy convInserted(&conv, &QAbstractItemModel::rowsInserted);
    QSignalSpy convRemoved(&conv, &QAbstractItemModel::rowsRemoved);
    QSignalSpy commentsInserted(&comments, &QAbstractItemModel::rowsInserted);
    QSignalSpy commentsRemoved(&comments, &QAbstractItemModel::rowsRemoved);

    InitablesThread opener;
    opener.setInits({ QVariant::fromValue<QObject *>(&conv), QVariant::fromValue<QObject *>(&comments) });
    bool finished = false;
    bool res = false;
    connect(&opener, &InitablesThread::initFinished, this, [&](bool r, const QString &e) {
        finished = true;
        res = r;
        err = e;
    });
    opener.start();
    // Meanwhile the controller's signals come and the views read the models.
    for (int i = 0; !finished; ++i) {
        ProjectMainController *cp = fx.controller();
        switch (arriving) {
        case NewHighlight: emit cp->newHighlight(QVariantMap { { "id", 100000 + i }, { "type", 1 } }); break;
        case PartialText: emit cp->partialResult(1 + i % 2, QStringLiteral(" partial %1").arg(i)); break;
        case ClearedConversion: emit cp->afterClearConvertTmp(1000 + i); break;
        }
        QVERIFY(conv.rowCount() >= 1);
        QVERIFY(comments.rowCount() >= 0);
        QCoreApplication::processEvents();
    }
    QVERIFY(opener.wait(10000));
    QVERIFY2(res, qPrintable(err));

    QCOMPARE(conv.rowCount(), loaded + 1);
    int withReplies = 0;
    for (int i = 0; i < comments.rowCount(); ++i) {
        const QVariantMap m = comments.data(comments.index(i, 0), CommentItemModel::DRole).toMap();
        if (m.value("id").toLongLong() < 100000) {
            QCOMPARE(m.value("replies").toList().size(), 1);
            ++withReplies;
        }
    }
    QCOMPARE(withReplies, loaded);
    QCOMPARE(announced(1, convInserted, convRemoved), conv.rowCount());
    QCOMPARE(announced(0, commentsInserted, commentsRemoved), comments.rowCount());
}

QTEST_MAIN(TestProjectOpening)
#include "tst_project_opening.moc"

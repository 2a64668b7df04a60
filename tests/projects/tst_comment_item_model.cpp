// The highlight and comment model on a real project database, driven through
// the current project's controller as the project page drives it.

#include "app/InitablesThread.h"
#include "common/ProjectDbAccess.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "projects/CommentItemModel.h"
#include "projects/ConversationsItemModel.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <sched.h>

using TestUtil::ProjectFixture;

namespace {

QVariantMap itemAt(const QAbstractItemModel &m, int row)
{
    return m.data(m.index(row, 0), 258).toMap();
}

QList<qlonglong> ids(const QVariantList &maps)
{
    QList<qlonglong> out;
    for (const QVariant &v : maps)
        out << v.toMap().value("id").toLongLong();
    return out;
}

// The rows that a view of the model has been told about.
int announced(int rows, const QSignalSpy &inserted, const QSignalSpy &removed)
{
    for (const QList<QVariant> &r : inserted)
        rows += r.at(2).toInt() - r.at(1).toInt() + 1;
    for (const QList<QVariant> &r : removed)
        rows -= r.at(2).toInt() - r.at(1).toInt() + 1;
    return rows;
}

QList<qlonglong> rowIds(const QAbstractItemModel &m)
{
    QList<qlonglong> out;
    for (int i = 0; i < m.rowCount(); ++i)
        out << itemAt(m, i).value("id").toLongLong();
    return out;
}

}

class TestCommentItemModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void initWithoutControllerFails();
    void loadsNewestFirstWithRepliesOldestFirst();
    void rolesAndRanges();
    void addItem();
    void addItem_data();
    void commentFocusSignalFollowsAfterDelay();
    void destroyingModelBeforeFocusSignalIsSafe();
    void repliesOfControllerHighlight();
    void removeReplyReloads();
    void removeCItemAnnouncesOnlyHighlights();
    void removeCItemAnnouncesOnlyHighlights_data();
    void removalOfSegmentOrConversionDropsItsItems();
    void removalOfSegmentOrConversionDropsItsItems_data();
    void controllerSignalsWhileOpening();
    void controllerSignalsWhileOpening_data();
    void openingHandsTheRowsOver();

private:
    void openModel();

    std::unique_ptr<ProjectFixture> fx;
    std::unique_ptr<CommentItemModel> model;
    qint64 seg1 = 0;
    qint64 seg2 = 0;
};

void TestCommentItemModel::init()
{
    TestUtil::requireSandboxedHome();
    fx = std::make_unique<ProjectFixture>();
    QString err;
    QVERIFY2(fx->open(err), qPrintable(err));
    seg1 = fx->addSeg(QStringLiteral(" one"), 0, 1, 0);
    seg2 = fx->addSeg(QStringLiteral(" two"), 1, 1, 4);
    model = std::make_unique<CommentItemModel>();
}

void TestCommentItemModel::cleanup()
{
    model.reset();
    fx.reset();
}

void TestCommentItemModel::openModel()
{
    QString err;
    QVERIFY2(model->init(err), qPrintable(err));
}

void TestCommentItemModel::initWithoutControllerFails()
{
    ProjectsMgr::instance()->existProject();
    QSignalSpy errSpy(model.get(), &CommentItemModel::lastErrChanged);
    QString err;
    QVERIFY(!model->init(err));
    QCOMPARE(err, QString("invalid controller."));
    QCOMPARE(model->lastErr(), err);
    QCOMPARE(errSpy.count(), 1);
    QCOMPARE(model->addHighlight(seg1, "x"), 0LL);
    model->addReply(0, "x");
    QCOMPARE(model->rowCount(), 0);
}

void TestCommentItemModel::loadsNewestFirstWithRepliesOldestFirst()
{
    VoskProDb &db = fx->db();
    const qint64 a = db.addCItem(seg1, "first", 1).value("id").toLongLong();
    const qint64 b = db.addCItem(seg2, "second", 2).value("id").toLongLong();
    const qint64 gone = fx->addSeg(" gone", 2, 1);
    db.addCItem(gone, "of a deleted segment", 2);
    QVERIFY(db.deleteSeg(gone));
    db.addComment(a, "r1");
    db.addComment(a, "r2");
    db.addComment(a, "r3");
    openModel();

    QCOMPARE(rowIds(*model), (QList<qlonglong> { b, a }));
    const QVariantList replies = itemAt(*model, 1).value("replies").toList();
    QCOMPARE(replies.size(), 3);
    QCOMPARE(replies.at(0).toMap().value("text").toString(), QString("r1"));
    QCOMPARE(replies.at(2).toMap().value("text").toString(), QString("r3"));
    QCOMPARE(replies.at(0).toMap().value("cid").toLongLong(), a);
    QVERIFY(itemAt(*model, 0).contains("replies"));
    QVERIFY(itemAt(*model, 0).value("replies").toList().isEmpty());
}

void TestCommentItemModel::rolesAndRanges()
{
    fx->db().addCItem(seg1, "hl", 1);
    openModel();
    QCOMPARE(model->roleNames().value(257), QByteArray("idx"));
    QCOMPARE(model->roleNames().value(258), QByteArray("d"));
    QCOMPARE(model->data(model->index(0, 0), 257), QVariant(0));
    QVERIFY(!model->data(model->index(1, 0), 258).isValid());
    QVERIFY(!model->data(model->index(-1, 0), 257).isValid());
    QVERIFY(!model->data(model->index(0, 0), 259).isValid());
    QCOMPARE(model->idxFromCItemId(12345), -1);
}

void TestCommentItemModel::addItem_data()
{
    QTest::addColumn<bool>("comment");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("made");

    QTest::newRow("highlight") << false << "some words" << true;
    QTest::newRow("comment") << true << "a note" << true;
    QTest::newRow("empty highlight") << false << "" << false;
    QTest::newRow("empty comment") << true << "" << false;
}

void TestCommentItemModel::addItem()
{
    QFETCH(bool, comment);
    QFETCH(QString, text);
    QFETCH(bool, made);

    const qint64 old = fx->db().addCItem(seg1, "older", 2).value("id").toLongLong();
    openModel();
    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted);
    const qlonglong id = comment ? model->addComment(seg2, text) : model->addHighlight(seg2, text);
    if (!made) {
        QCOMPARE(id, 0LL);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(model->rowCount(), 1);
        return;
    }
    QVERIFY(id > old);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(rowIds(*model), (QList<qlonglong> { id, old }));
    const QVariantMap m = itemAt(*model, 0);
    QCOMPARE(m.value("type").toInt(), comment ? 2 : 1);
    QCOMPARE(m.value("text").toString(), text);
    QCOMPARE(m.value("vres_id").toLongLong(), seg2);
    QCOMPARE(m.value("item_id").toLongLong(), 4LL);
    QVERIFY(!m.contains("replies"));
    QCOMPARE(model->idxFromCItemId(id), 0);
    QCOMPARE(ids(fx->db().loadCItems()).first(), id);
}

void TestCommentItemModel::commentFocusSignalFollowsAfterDelay()
{
    openModel();
    QSignalSpy focus(model.get(), &CommentItemModel::focusInputCItemIdChanged);
    QElapsedTimer clock;
    clock.start();
    const qlonglong id = model->addComment(seg1, "note");
    QVERIFY(id > 0);
    QCOMPARE(model->focusInputCItemId(), id);
    QCOMPARE(focus.count(), 0);
    QVERIFY(focus.wait(2000));
    QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(focus.count(), 1);

    // The page takes the focus and clears the request through the property.
    model->setFocusInputCItemId(-1);
    QCOMPARE(focus.count(), 2);
    model->setFocusInputCItemId(-1);
    QCOMPARE(focus.count(), 2);
}

void TestCommentItemModel::destroyingModelBeforeFocusSignalIsSafe()
{
    openModel();
    QPointer<CommentItemModel> p(model.get());
    QVERIFY(model->addComment(seg1, "note") > 0);
    model.reset();
    QVERIFY(p.isNull());
    // Run the event loop past the delay: a pending call must not reach the
    // freed model (the address sanitizer build catches it when it does).
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 400)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    model = std::make_unique<CommentItemModel>();
}

void TestCommentItemModel::repliesOfControllerHighlight()
{
    openModel();
    const QVariantMap hl = fx->db().addCItem(seg2, "from the run", 1);
    emit fx->controller()->newHighlight(hl);
    QCOMPARE(model->rowCount(), 1);
    QVERIFY(!itemAt(*model, 0).contains("replies"));
    fx->db().addComment(hl.value("id").toLongLong(), "made elsewhere");

    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    model->addReply(0, "  mine  ");
    QCOMPARE(changed.count(), 1);
    const QVariantList replies = itemAt(*model, 0).value("replies").toList();
    QCOMPARE(replies.size(), 2);
    QCOMPARE(replies.at(0).toMap().value("text").toString(), QString("made elsewhere"));
    QCOMPARE(replies.at(1).toMap().value("text").toString(), QString("mine"));

    model->addReply(0, "   ");
    model->addReply(1, "out of range");
    model->addReply(-1, "out of range");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(fx->db().loadComments(hl.value("id").toLongLong()).size(), 2);
}

void TestCommentItemModel::removeReplyReloads()
{
    const qint64 c = fx->db().addCItem(seg1, "c", 2).value("id").toLongLong();
    fx->db().addComment(c, "r1");
    fx->db().addComment(c, "r2");
    openModel();
    const QVariantList before = itemAt(*model, 0).value("replies").toList();
    QCOMPARE(before.size(), 2);
    model->removeReply(0, before.at(0).toMap().value("id").toLongLong());
    const QVariantList after = itemAt(*model, 0).value("replies").toList();
    QCOMPARE(after.size(), 1);
    QCOMPARE(after.at(0).toMap().value("text").toString(), QString("r2"));
}

void TestCommentItemModel::removeCItemAnnouncesOnlyHighlights_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("highlight") << 1;
    QTest::newRow("comment") << 2;
}

void TestCommentItemModel::removeCItemAnnouncesOnlyHighlights()
{
    QFETCH(int, type);
    const qint64 keep = fx->db().addCItem(seg1, "keep", 2).value("id").toLongLong();
    const qint64 cid = fx->db().addCItem(seg2, "item", type).value("id").toLongLong();
    fx->db().addComment(cid, "reply");
    openModel();

    QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy deleted(model.get(), &CommentItemModel::highlightDeleted);
    model->removeCItem(777, cid);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 0);
    QCOMPARE(rowIds(*model), QList<qlonglong> { keep });
    QCOMPARE(ids(fx->db().loadCItems()), QList<qlonglong> { keep });
    QVERIFY(fx->db().loadComments(cid).isEmpty());
    if (type == 1) {
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.at(0).at(0).toLongLong(), 777LL); // the caller's segment id
        QCOMPARE(deleted.at(0).at(1).toLongLong(), cid);
    } else {
        QCOMPARE(deleted.count(), 0);
    }
}

void TestCommentItemModel::removalOfSegmentOrConversionDropsItsItems_data()
{
    QTest::addColumn<bool>("byConversion");
    QTest::newRow("deleted segment") << false;
    QTest::newRow("cleared conversion") << true;
}

void TestCommentItemModel::removalOfSegmentOrConversionDropsItsItems()
{
    QFETCH(bool, byConversion);
    VoskProDb &db = fx->db();
    const qint64 k1 = db.addCItem(seg1, "k1", 1).value("id").toLongLong();
    db.addCItem(seg2, "g1", 1);
    db.addCItem(seg2, "g2", 2);
    const qint64 k2 = db.addCItem(seg1, "k2", 2).value("id").toLongLong();
    db.addCItem(seg2, "g3", 2);
    openModel();
    QCOMPARE(model->rowCount(), 5);

    QSignalSpy removed(model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    if (byConversion)
        emit fx->controller()->afterClearConvertTmp(4);
    else
        model->onAfterDeleteSeg(seg2);
    QCOMPARE(removed.count(), 3);
    for (const QList<QVariant> &r : removed)
        QCOMPARE(r.at(1).toInt(), r.at(2).toInt());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(rowIds(*model), (QList<qlonglong> { k2, k1 }));
}

void TestCommentItemModel::controllerSignalsWhileOpening_data()
{
    QTest::addColumn<int>("arriving");
    QTest::newRow("new highlight") << 0;
    QTest::newRow("partial text") << 1;
    QTest::newRow("cleared conversion") << 2;
}

// Both models opened as the project page opens them, while the controller's
// signals come and the views read the models on this thread.
void TestCommentItemModel::controllerSignalsWhileOpening()
{
    QFETCH(int, arriving);
    // Enough items that loading them takes a while on the opening thread.
    const int loaded = 2000;
    {
        const auto raw = TestUtil::openRaw(fx->folder() + "/data");
        QVERIFY(raw);
        TestUtil::exec(*raw, QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < %1)"
                                            " insert into citem(vres_id, text, type, dt) select %2, 'item ' || i, 2, 0 from n")
                                 .arg(loaded).arg(seg1));
        TestUtil::exec(*raw, QStringLiteral("insert into comment(citem_id, text, dt) select id, 'reply', 0 from citem"));
    }
    ConversationsItemModel conv;
    QSignalSpy convInserted(&conv, &QAbstractItemModel::rowsInserted), convRemoved(&conv, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(model.get(), &QAbstractItemModel::rowsInserted), removed(model.get(), &QAbstractItemModel::rowsRemoved);
    InitablesThread opener;
    opener.setInits({ QVariant::fromValue<QObject *>(&conv), QVariant::fromValue<QObject *>(model.get()) });
    QList<QVariant> finished;
    connect(&opener, &InitablesThread::initFinished, this, [&](bool res, const QString &err) { finished = { res, err }; });
    opener.start();
    for (int i = 0; finished.isEmpty(); ++i) {
        ProjectMainController *cp = fx->controller();
        if (arriving == 0)
            emit cp->newHighlight(QVariantMap { { "id", 100000 + i }, { "vres_id", seg1 }, { "type", 1 } });
        else if (arriving == 1)
            emit cp->partialResult(1 + i % 2, QStringLiteral(" partial"));
        else
            emit cp->afterClearConvertTmp(1000 + i);
        // The views read both models meanwhile; the live row stays last.
        QVERIFY(conv.data(conv.index(conv.rowCount() - 1, 0), ConversationsItemModel::PartialRole).toBool());
        model->data(model->index(0, 0), CommentItemModel::DRole);
        QCoreApplication::processEvents();
    }
    QVERIFY(opener.wait(10000));
    QCOMPARE(finished, (QList<QVariant> { true, QString() }));

    QCOMPARE(conv.rowCount(), 3);
    int withReplies = 0;
    for (int i = 0; i < model->rowCount(); ++i)
        withReplies += itemAt(*model, i).value("replies").toList().size();
    QCOMPARE(withReplies, loaded);
    QCOMPARE(announced(1, convInserted, convRemoved), conv.rowCount());
    QCOMPARE(announced(0, inserted, removed), model->rowCount());
}

// Both models opened as the project page opens them, over and over. The
// opening thread runs at idle priority on this thread's processor, so this
// thread takes the rows over before the opening thread lets go of its call:
// the thread checker must see the rows change hands in that order too.
void TestCommentItemModel::openingHandsTheRowsOver()
{
    cpu_set_t all, one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    QVERIFY(sched_getaffinity(0, sizeof all, &all) == 0 && sched_setaffinity(0, sizeof one, &one) == 0);
    const auto restore = qScopeGuard([&all] { sched_setaffinity(0, sizeof all, &all); });
    for (int i = 0; i < 20; ++i) {
        ConversationsItemModel conv;
        CommentItemModel comments;
        InitablesThread opener;
        opener.setInits({ QVariant::fromValue<QObject *>(&conv), QVariant::fromValue<QObject *>(&comments) });
        QEventLoop loop;
        connect(&opener, &InitablesThread::initFinished, &loop, &QEventLoop::quit);
        opener.start(QThread::IdlePriority);
        loop.exec();
        QVERIFY(opener.wait(10000));
        QCOMPARE(conv.rowCount(), 3);
    }
}

QTEST_MAIN(TestCommentItemModel)
#include "tst_comment_item_model.moc"

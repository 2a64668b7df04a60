// The conversation model on a real project database, driven through the
// current project's controller as the project page drives it.

#include "app/AppShell.h"
#include "common/ProjectDbAccess.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "projects/CommentItemModel.h"
#include "projects/ConversationsItemModel.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "storage/Sqlite3DB.h"
#include "util/BaseUtil.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using TestUtil::ProjectFixture;

namespace {

enum Role { Idx = 257, Id, Send, Time, Message, Speaker, SpeakerColor, Partial, Fstart, Fend };

QVariant roleOf(const QAbstractItemModel &m, int row, int role)
{
    return m.data(m.index(row, 0), role);
}

// Views parent their delegates as items only.
QQuickItem *findItem(QQuickItem *in, const QString &name)
{
    for (QQuickItem *child : in->childItems()) {
        QQuickItem *found = child->objectName() == name ? child : findItem(child, name);
        if (found)
            return found;
    }
    return nullptr;
}

// Names the model's notifications in the order they arrive.
class NotifyLog
{
public:
    explicit NotifyLog(ConversationsItemModel *m)
    {
        QObject::connect(m, &ConversationsItemModel::newPartial, [this] { log << "newPartial"; });
        QObject::connect(m, &ConversationsItemModel::afterDeleteSeg,
                         [this](qlonglong id) { log << QStringLiteral("afterDeleteSeg %1").arg(id); });
        QObject::connect(m, &QAbstractItemModel::rowsAboutToBeRemoved,
                         [this](const QModelIndex &, int a, int b) { log << QStringLiteral("removing %1-%2").arg(a).arg(b); });
        QObject::connect(m, &QAbstractItemModel::rowsRemoved,
                         [this](const QModelIndex &, int a, int b) { log << QStringLiteral("removed %1-%2").arg(a).arg(b); });
        QObject::connect(m, &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex &, int a, int b) { log << QStringLiteral("inserted %1-%2").arg(a).arg(b); });
        QObject::connect(m, &QAbstractItemModel::dataChanged, [this](const QModelIndex &a, const QModelIndex &b) {
            log << QStringLiteral("changed %1-%2").arg(a.row()).arg(b.row());
        });
    }
    QStringList log;
};

}

class TestConversationsItemModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void initWithoutControllerFails();
    void newProjectShowsOnlyTheLiveRow();
    void rolesOfStoredSegments();
    void rolesOfStoredSegments_data();
    void outOfRangeRowsGiveNothing();
    void partialResultKeepsOrMovesTheLiveRow();
    void partialResultKeepsOrMovesTheLiveRow_data();
    void newResultAddsRowBeforeLiveRow();
    void segmentEditIsStoredAsTheRowShowsIt();
    void segmentEditFailureKeepsRow();
    void deleteSegNotifiesInOrder();
    void deleteSegNotifiesInOrder_data();
    void deleteSegRefusesTheLiveRowAndStrangers();
    void removeHighLightUnwrapsTheAnchor();
    void removeHighLightUnwrapsTheAnchor_data();
    void removeHighLightOfUnknownSegmentDoesNothing();
    void clearedConversionRemovesExactlyItsRows();
    void renamingSpeakerRefreshesAllItsRows();
    void playHandsTheByteRangeToTheController();
    void textFromElsewhereShowsInThePage_data();
    void textFromElsewhereShowsInThePage();
    void rowsSharingAnIdAreCleaned_data();
    void rowsSharingAnIdAreCleaned();

private:
    bool openModel(QString *err = nullptr);

    std::unique_ptr<ProjectFixture> fx;
    std::unique_ptr<ConversationsItemModel> model;
};

void TestConversationsItemModel::initTestCase()
{
    AppShell::registerQmlTypes();
}

void TestConversationsItemModel::init()
{
    TestUtil::requireSandboxedHome();
    fx = std::make_unique<ProjectFixture>();
    QString err;
    QVERIFY2(fx->open(err), qPrintable(err));
    model = std::make_unique<ConversationsItemModel>();
}

void TestConversationsItemModel::cleanup()
{
    model.reset();
    fx.reset();
}

bool TestConversationsItemModel::openModel(QString *err)
{
    QString e;
    const bool ok = model->init(e);
    if (err)
        *err = e;
    return ok;
}

void TestConversationsItemModel::initWithoutControllerFails()
{
    ProjectsMgr::instance()->existProject();
    QSignalSpy errSpy(model.get(), &ConversationsItemModel::lastErrChanged);
    QString err;
    QVERIFY(!model->init(err));
    QCOMPARE(err, QString("invalid controller."));
    QCOMPARE(model->lastErr(), err);
    QCOMPARE(errSpy.count(), 1);
    QCOMPARE(model->rowCount(), 1);
    QVERIFY(!model->play(0));
    QVERIFY(!model->deleteSeg(0));
}

void TestConversationsItemModel::newProjectShowsOnlyTheLiveRow()
{
    QVERIFY(openModel());
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->partialIdx(), 0);
    QCOMPARE(roleOf(*model, 0, Idx), QVariant(0));
    QCOMPARE(roleOf(*model, 0, Id), QVariant(0));
    QCOMPARE(roleOf(*model, 0, Partial), QVariant(true));
    QCOMPARE(roleOf(*model, 0, Message), QVariant(QString()));
    QCOMPARE(roleOf(*model, 0, Time), QVariant(QString()));
    QCOMPARE(roleOf(*model, 0, Send), QVariant(false));
    QVERIFY(!roleOf(*model, 0, Fstart).isValid());
    QVERIFY(!roleOf(*model, 0, Fend).isValid());

    const QHash<int, QByteArray> names = model->roleNames();
    const QList<QByteArray> expected { "idx", "id", "send", "time", "message", "speaker", "speakerColor",
                                       "partial", "fstart", "fend" };
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(names.value(257 + i), expected.at(i));
}

void TestConversationsItemModel::rolesOfStoredSegments_data()
{
    QTest::addColumn<float>("start");
    QTest::addColumn<int>("device");
    QTest::addColumn<bool>("knownSpeaker");
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("send");

    QTest::newRow("1.5 s from a file") << 1.5f << 2 << true << BaseUtil::formatMSecs(1500) << false;
    QTest::newRow("microphone") << 0.0f << 1 << true << BaseUtil::formatMSecs(0) << true;
    QTest::newRow("over an hour") << 3725.25f << 2 << true << BaseUtil::formatMSecs(3725250) << false;
    QTest::newRow("unknown speaker") << 2.0f << 2 << false << BaseUtil::formatMSecs(2000) << false;
}

void TestConversationsItemModel::rolesOfStoredSegments()
{
    QFETCH(float, start);
    QFETCH(int, device);
    QFETCH(bool, knownSpeaker);
    QFETCH(QString, time);
    QFETCH(bool, send);

    const VoskSpeakerInfo spk = fx->db().matchSpeaker({ 1, 0, 0, 0 }, 800, 0);
    const qint64 spkId = knownSpeaker ? spk.id : 999;
    fx->addSeg(QStringLiteral(" first"), 0, spk.id);
    const qint64 id = fx->addSeg(QStringLiteral(" hello <b>world</b>"), start, spkId, 0, device, 3200, 6400);
    QVERIFY(openModel());

    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->partialIdx(), 2);
    QCOMPARE(roleOf(*model, 1, Idx), QVariant(1));
    QCOMPARE(roleOf(*model, 1, Id).toLongLong(), id);
    QCOMPARE(roleOf(*model, 1, Time).toString(), time);
    QCOMPARE(roleOf(*model, 1, Send).toBool(), send);
    QCOMPARE(roleOf(*model, 1, Message).toString(), QString(" hello <b>world</b>"));
    QCOMPARE(roleOf(*model, 1, Partial), QVariant(false));
    QCOMPARE(roleOf(*model, 1, Fstart), QVariant(3200.0));
    QCOMPARE(roleOf(*model, 1, Fend), QVariant(6400.0));
    QCOMPARE(roleOf(*model, 1, Speaker).toString(), knownSpeaker ? spk.name : QString());
    QCOMPARE(roleOf(*model, 1, SpeakerColor).toString(), knownSpeaker ? spk.color : QString("red"));
    QCOMPARE(roleOf(*model, 2, Idx), QVariant(2));
    QCOMPARE(roleOf(*model, 2, Partial), QVariant(true));
}

void TestConversationsItemModel::outOfRangeRowsGiveNothing()
{
    fx->addSeg(QStringLiteral(" a"), 0, 1);
    QVERIFY(openModel());
    for (int row : { -1, 2, 100 }) {
        QVERIFY(!roleOf(*model, row, Idx).isValid());
        QVERIFY(!roleOf(*model, row, Message).isValid());
    }
    QVERIFY(!roleOf(*model, 0, Qt::DisplayRole).isValid());
    QVERIFY(!roleOf(*model, 0, 267).isValid());
    QCOMPARE(model->idxFromSegId(12345), -1);
}

void TestConversationsItemModel::partialResultKeepsOrMovesTheLiveRow_data()
{
    QTest::addColumn<int>("firstDev");
    QTest::addColumn<int>("secondDev");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("same device") << 2 << 2 << QStringList { "newPartial", "changed 1-1" };
    QTest::newRow("switched to microphone")
        << 2 << 1 << QStringList { "newPartial", "removing 1-1", "removed 1-1", "inserted 1-1", "changed 1-1" };
    QTest::newRow("switched back")
        << 1 << 2 << QStringList { "newPartial", "removing 1-1", "removed 1-1", "inserted 1-1", "changed 1-1" };
}

void TestConversationsItemModel::partialResultKeepsOrMovesTheLiveRow()
{
    QFETCH(int, firstDev);
    QFETCH(int, secondDev);
    QFETCH(QStringList, expected);

    fx->addSeg(QStringLiteral(" a"), 0, 1);
    QVERIFY(openModel());
    ProjectMainController *cp = fx->controller();
    emit cp->partialResult(firstDev, QStringLiteral(" one"));

    NotifyLog n(model.get());
    QSignalSpy partialSpy(model.get(), &ConversationsItemModel::newPartial);
    emit cp->partialResult(secondDev, QStringLiteral(" one two"));
    QCOMPARE(partialSpy.count(), 1);
    QCOMPARE(n.log, expected);
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(roleOf(*model, 1, Message).toString(), QString(" one two"));
    QCOMPARE(roleOf(*model, 1, Send).toBool(), secondDev == 1);
}

void TestConversationsItemModel::newResultAddsRowBeforeLiveRow()
{
    fx->addSeg(QStringLiteral(" a"), 0, 1);
    QVERIFY(openModel());
    ProjectMainController *cp = fx->controller();
    emit cp->partialResult(1, QStringLiteral(" live words"));

    VoskSpeakerInfo spk { 7, QStringLiteral("Anna"), QStringLiteral("#123456") };
    VoskProSeg seg;
    seg.id = 42;
    seg.device = 1;
    seg.html = QStringLiteral(" live words");
    seg.start = 2.5f;
    seg.spkId = 7;
    NotifyLog n(model.get());
    emit cp->newResult(spk, seg);

    QCOMPARE(n.log, (QStringList { "inserted 1-1", "newPartial", "changed 1-2" }));
    QCOMPARE(model->partialIdx(), 2);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(roleOf(*model, 1, Id).toLongLong(), 42);
    QCOMPARE(roleOf(*model, 1, Speaker).toString(), QString("Anna"));
    QCOMPARE(roleOf(*model, 1, SpeakerColor).toString(), QString("#123456"));
    QCOMPARE(roleOf(*model, 2, Message).toString(), QString());
    QCOMPARE(roleOf(*model, 2, Send).toBool(), true); // the live row keeps its device
    QCOMPARE(model->idxFromSegId(42), 1);
}

void TestConversationsItemModel::segmentEditIsStoredAsTheRowShowsIt()
{
    const qint64 id = fx->addSeg(QStringLiteral(" old"), 0, 1);
    QVERIFY(openModel());
    // What a rich-text editor hands over: a whole document with head and style.
    const QString edited = QStringLiteral(
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" \"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
        "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">p { margin: 0; }</style></head>"
        "<body><p>new <b>bold</b> &amp; <img src=\"images/0123456789abcdef0123456789abcdef.jpg\" width=\"20\" height=\"10\" /></p></body></html>");
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    QVERIFY(model->updateSegHtml(0, edited));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 0);

    const QString row = roleOf(*model, 0, Message).toString();
    QCOMPARE(row, BaseUtil::htmlBody(edited));
    QVERIFY(!row.contains("<head", Qt::CaseInsensitive));
    QVERIFY(!row.contains("<style", Qt::CaseInsensitive));
    QVERIFY(row.contains("new <b>bold</b> &amp; <img"));
    QVERIFY(row.contains("images/0123456789abcdef0123456789abcdef.jpg"));

    const QList<VoskProSeg> stored = fx->db().loadSegs(-1);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.at(0).id, id);
    QCOMPARE(stored.at(0).html, row);

    QVERIFY(!model->updateSegHtml(1, QStringLiteral("x"))); // the live row
    QVERIFY(!model->updateSegHtml(-1, QStringLiteral("x")));
}

void TestConversationsItemModel::segmentEditFailureKeepsRow()
{
    fx->addSeg(QStringLiteral(" old"), 0, 1);
    QVERIFY(openModel());
    fx->db().close();
    QSignalSpy errSpy(model.get(), &ConversationsItemModel::lastErrChanged);
    QVERIFY(!model->updateSegHtml(0, QStringLiteral("new")));
    QCOMPARE(errSpy.count(), 1);
    QVERIFY(!model->lastErr().isEmpty());
    QCOMPARE(model->lastErr(), fx->db().lastErr);
    QCOMPARE(roleOf(*model, 0, Message).toString(), QString(" old"));
    QVERIFY(!model->updateSpeakerName(0, QStringLiteral("Bob")));
    QVERIFY(!model->deleteSeg(0));
    QCOMPARE(model->rowCount(), 2);
}

void TestConversationsItemModel::deleteSegNotifiesInOrder_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("changed");
    QTest::newRow("first") << 0 << "changed 0-2";
    QTest::newRow("middle") << 1 << "changed 1-2";
    QTest::newRow("last: no row moved") << 3 << "";
}

void TestConversationsItemModel::deleteSegNotifiesInOrder()
{
    QFETCH(int, row);
    QFETCH(QString, changed);
    QList<qint64> ids;
    for (int i = 0; i < 4; ++i)
        ids << fx->addSeg(QStringLiteral(" s%1").arg(i), i, 1);
    QVERIFY(openModel());

    NotifyLog n(model.get());
    QVERIFY(model->deleteSeg(row));
    QStringList expected { QStringLiteral("afterDeleteSeg %1").arg(ids[row]), QStringLiteral("removing %1-%1").arg(row),
                           QStringLiteral("removed %1-%1").arg(row) };
    if (!changed.isEmpty())
        expected << changed;
    QCOMPARE(n.log, expected);
    QCOMPARE(model->rowCount(), 4);
    ids.removeAt(row);
    for (int i = 0; i < ids.size(); ++i) {
        QCOMPARE(roleOf(*model, i, Id).toLongLong(), ids[i]);
        QCOMPARE(roleOf(*model, i, Idx), QVariant(i));
    }
    QCOMPARE(fx->db().loadSegs(-1).size(), 3);
}

void TestConversationsItemModel::deleteSegRefusesTheLiveRowAndStrangers()
{
    fx->addSeg(QStringLiteral(" a"), 0, 1);
    QVERIFY(openModel());
    QSignalSpy deleted(model.get(), &ConversationsItemModel::afterDeleteSeg);
    QVERIFY(!model->deleteSeg(model->partialIdx()));
    QVERIFY(!model->deleteSeg(-1));
    QCOMPARE(deleted.count(), 0);
    QCOMPARE(fx->db().loadSegs(-1).size(), 1);
}

void TestConversationsItemModel::removeHighLightUnwrapsTheAnchor_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<qlonglong>("hlId");
    QTest::addColumn<QString>("expected");

    const QString style = QStringLiteral(" style=\"background-color:#A7E4FB;color:#333333;\"");
    QTest::newRow("whole segment")
        << QStringLiteral("<a href=\"#hl3\"%1> hello world</a>").arg(style) << 3LL << QStringLiteral(" hello world");
    QTest::newRow("two lines and text around")
        << QStringLiteral(" before <a href=\"#hl3\"%1> one<br/> two</a> after").arg(style) << 3LL
        << QStringLiteral("<span style=\"white-space:pre-wrap;\"> before  one</span><br/> two after");
    const QString pic = QStringLiteral("images/fedcba9876543210fedcba9876543210.jpg");
    QTest::newRow("bold and picture kept")
        << QStringLiteral("<a href=\"#hl12\"%1> x <b>bold</b><a href=\"%2\"><img src=\"%2\"/></a> y</a>").arg(style, pic)
        << 12LL << QStringLiteral(" x <b>bold</b><a href=\"%1\"><img src=\"%1\"></img></a> y").arg(pic);
    QTest::newRow("editor's colouring dropped, bold kept")
        << QStringLiteral("<p>he<a href=\"#hl7\"><span style=\" font-weight:600; color:#333333; background-color:#a7e4fb;\">llo</span></a>"
                          " there<a href=\"#hl7\"><span style=\" color:#333333; background-color:#a7e4fb;\"> you</span></a></p>")
        << 7LL << QStringLiteral("<p>he<span style=\" font-weight:600;\">llo</span> there you</p>");
    QTest::newRow("split anchor of one highlight")
        << QStringLiteral("<a href=\"#hl5\"> a</a><b><a href=\"#hl5\"> b</a></b>") << 5LL
        << QStringLiteral(" a<b> b</b>");
    QTest::newRow("other highlight untouched")
        << QStringLiteral("<a href=\"#hl1\"> a</a><a href=\"#hl10\"> b</a>") << 1LL
        << QStringLiteral(" a<a href=\"#hl10\"> b</a>");
    QTest::newRow("upper-case tag")
        << QStringLiteral("<A HREF=\"#hl4\"> a</A> b") << 4LL << QStringLiteral(" a b");
    QTest::newRow("no such highlight")
        << QStringLiteral(" plain <b>text</b>") << 9LL << QStringLiteral(" plain <b>text</b>");
}

void TestConversationsItemModel::removeHighLightUnwrapsTheAnchor()
{
    QFETCH(QString, html);
    QFETCH(qlonglong, hlId);
    QFETCH(QString, expected);

    fx->addSeg(QStringLiteral(" first"), 0, 1);
    const qint64 id = fx->addSeg(html, 1, 1);
    QVERIFY(openModel());
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    model->removeHighLight(id, hlId);
    QCOMPARE(roleOf(*model, 1, Message).toString(), expected);
    QCOMPARE(fx->db().loadSegs(-1).at(1).html, expected);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
    QCOMPARE(changed.at(0).at(1).toModelIndex().row(), 1);
}

void TestConversationsItemModel::removeHighLightOfUnknownSegmentDoesNothing()
{
    fx->addSeg(QStringLiteral("<a href=\"#hl1\"> a</a>"), 0, 1);
    QVERIFY(openModel());
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    model->removeHighLight(999, 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(roleOf(*model, 0, Message).toString(), QString("<a href=\"#hl1\"> a</a>"));
}

void TestConversationsItemModel::clearedConversionRemovesExactlyItsRows()
{
    const QList<qint64> items { 0, 5, 5, 7, 5, 0 };
    QList<qint64> kept;
    for (int i = 0; i < items.size(); ++i) {
        const qint64 id = fx->addSeg(QStringLiteral(" s%1").arg(i), i, 1, items[i]);
        if (items[i] != 5)
            kept << id;
    }
    QVERIFY(openModel());
    NotifyLog n(model.get());
    emit fx->controller()->afterClearConvertTmp(5);

    QCOMPARE(n.log, (QStringList { "removing 1-1", "removed 1-1", "removing 1-1", "removed 1-1", "removing 2-2",
                                   "removed 2-2", "changed 0-2" }));
    QCOMPARE(model->rowCount(), kept.size() + 1);
    for (int i = 0; i < kept.size(); ++i)
        QCOMPARE(roleOf(*model, i, Id).toLongLong(), kept[i]);
    QCOMPARE(roleOf(*model, kept.size(), Partial), QVariant(true));
}

void TestConversationsItemModel::renamingSpeakerRefreshesAllItsRows()
{
    const qint64 anna = fx->db().matchSpeaker({ 1, 0, 0, 0 }, 800, 0).id;
    const qint64 bob = fx->db().matchSpeaker({ 0, 1, 0, 0 }, 800, 0).id;
    QVERIFY(anna != bob);
    for (int i = 0; i < 100; ++i)
        fx->addSeg(QStringLiteral(" s%1").arg(i), i, (i == 2 || i == 30 || i == 95) ? anna : bob);
    QVERIFY(openModel());

    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    QVERIFY(model->updateSpeakerName(30, QStringLiteral("Anna")));
    QCOMPARE(changed.count(), 1);
    QVERIFY(changed.at(0).at(0).toModelIndex().row() <= 2);
    QVERIFY(changed.at(0).at(1).toModelIndex().row() >= 95);
    for (int row : { 2, 30, 95 })
        QCOMPARE(roleOf(*model, row, Speaker).toString(), QString("Anna"));
    QCOMPARE(roleOf(*model, 50, Speaker).toString(), QString("Speaker %1").arg(bob));

    const QList<VoskSpeakerInfo> stored = fx->db().loadSpeakers();
    bool found = false;
    for (const VoskSpeakerInfo &s : stored)
        found |= (s.id == anna && s.name == "Anna");
    QVERIFY(found);
    QVERIFY(!model->updateSpeakerName(100, QStringLiteral("x")));
}

void TestConversationsItemModel::playHandsTheByteRangeToTheController()
{
    fx->addSeg(QStringLiteral(" a"), 0, 1, 0, 2, 0, 3200);
    QVERIFY(openModel());
    ProjectMainController *cp = fx->controller();
    QVERIFY(!model->play(1));
    QVERIFY(!model->play(-1));
    QCOMPARE(cp->property("playIdx").toInt(), -1);
    QVERIFY(model->play(0));
    QCOMPARE(cp->property("playIdx").toInt(), 0);
    cp->playStop();
}

void TestConversationsItemModel::textFromElsewhereShowsInThePage_data()
{
    QTest::addColumn<QString>("html");
    QTest::newRow("line height") << "<p style=\"line-height:99999999%\">shown<br/>text</p>";
    QTest::newRow("letter spacing") << "<span style=\"letter-spacing:99999999px\">shown text</span>";
    QTest::newRow("cell width") << "<table width=\"99999999\"><tr><td width=\"99999999\">shown</td><td>text</td></tr></table>";
    QTest::newRow("nested tables") << QString("<table><tr><td>").repeated(30) + "shown text";
}

// A project made elsewhere, its text stored as it came: the page shows what
// the editor would store, and laying it out takes no time to speak of.
void TestConversationsItemModel::textFromElsewhereShowsInThePage()
{
    QFETCH(QString, html);
    fx->addSeg(html, 0, 1);
    QVERIFY(openModel());
    QCOMPARE(roleOf(*model, 0, Message).toString(), BaseUtil::htmlBody(html));

    const TestUtil::Watchdog watchdog(30, "Showing the segment");
    QQmlEngine engine;
    AppShell::setRootContextProperties(&engine, QCoreApplication::instance());
    CommentItemModel comments;
    QQuickWindow win;
    win.resize(900, 700);
    QQmlComponent comp(&engine, QUrl("qrc:/Conversations.qml"));
    std::unique_ptr<QQuickItem> page(qobject_cast<QQuickItem *>(comp.beginCreate(engine.rootContext())));
    QVERIFY2(page, qPrintable(comp.errorString()));
    page->setProperty("cp", QVariant::fromValue<QObject *>(fx->controller()));
    page->setProperty("convModel", QVariant::fromValue<QObject *>(model.get()));
    page->setProperty("commentModel", QVariant::fromValue<QObject *>(&comments));
    page->setParentItem(win.contentItem());
    page->setSize(win.size());
    comp.completeCreate();
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    QQuickItem *edit = nullptr;
    QTRY_VERIFY((edit = findItem(page.get(), "messageEdit")) != nullptr);
    QVERIFY(!win.grabWindow().isNull());
    QString shown;
    QMetaObject::invokeMethod(edit, "getText", Q_RETURN_ARG(QString, shown), Q_ARG(int, 0),
                              Q_ARG(int, edit->property("length").toInt()));
    // Table cells stand between frame marks.
    QCOMPARE(shown.replace(QRegularExpression("[\\x{fdd0}\\x{fdd1}]"), " ").simplified(), QString("shown text"));
}

void TestConversationsItemModel::rowsSharingAnIdAreCleaned_data()
{
    QTest::addColumn<QString>("html");
    QTest::newRow("script link") << "<a href=\"javascript:alert(1)\">said</a>";
    QTest::newRow("picture outside the project") << "<img src=\"file:///etc/hostname\"/>said";
    QTest::newRow("line height") << "<p style=\"line-height:99999999%\">said</p>";
}

// A segment table made elsewhere, without its primary key, may repeat an id:
// each of those rows is cleaned before the page shows it all the same.
void TestConversationsItemModel::rowsSharingAnIdAreCleaned()
{
    QFETCH(QString, html);
    QVERIFY(BaseUtil::htmlBody(html) != html);
    for (int i = 0; i < 6; ++i)
        fx->addSeg(html, i, 1);
    TestUtil::exec(*TestUtil::openRaw(fx->folder() + "/data"),
                   "create table copy as select * from vres; drop table vres; alter table copy rename to vres;"
                   " update vres set id = 1");
    QVERIFY(openModel());
    QCOMPARE(model->rowCount(), 7);
    for (int row = 0; row < 6; ++row)
        QCOMPARE(roleOf(*model, row, Message).toString(), BaseUtil::htmlBody(html));
}

QTEST_MAIN(TestConversationsItemModel)
#include "tst_conversations_item_model.moc"

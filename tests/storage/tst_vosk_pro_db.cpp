#include "common/ProjectDbAccess.h"
#include "common/TestUtil.h"
#include "storage/VoskProDb.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>
#include <QtTest>

using TestUtil::openRaw;
using TestUtil::scalar;

namespace {

// The stored CREATE statements, as sqlite_master keeps them (SQLite writes
// the leading keywords of an index in upper case).
const QMap<QString, QString> &expectedSchema()
{
    static const QMap<QString, QString> m = {
        {"table:item", "CREATE TABLE item (\n    id INTEGER PRIMARY KEY AUTOINCREMENT,\n    name VARCHAR,\n"
                       "    handled BIGINT,\n    total BIGINT,\n    total_msecs BIGINT,\n    status INTEGER\n)"},
        {"table:vres", "CREATE TABLE vres (\n    id INTEGER PRIMARY KEY AUTOINCREMENT,\n    start FLOAT,\n    end FLOAT,\n"
                       "    fstart INTEGER,\n    fend INTEGER,\n    html text,\n    raw_words text,\n    spk_id INTEGER,\n"
                       "    item_id INTEGER,\n    device INTEGER\n)"},
        {"table:speaker", "CREATE TABLE speaker (\n    id INTEGER PRIMARY KEY AUTOINCREMENT,\n    name VARCHAR,\n"
                          "    vp VARCHAR,\n    frames INTEGER,\n    item_id INTEGER\n)"},
        {"table:citem", "CREATE TABLE citem (\n    id INTEGER PRIMARY KEY AUTOINCREMENT,\n    vres_id INTEGER,\n"
                        "    text TEXT,\n    type INTEGER,\n    img BLOB,\n    dt INTEGER\n)"},
        {"index:idx_citem_vres_id", "CREATE INDEX idx_citem_vres_id on citem(vres_id)"},
        {"table:comment", "CREATE TABLE comment (\n    id INTEGER PRIMARY KEY AUTOINCREMENT,\n    citem_id INTEGER,\n"
                          "    text TEXT,\n    dt INTEGER\n)"},
        {"index:idx_comment_citem_id", "CREATE INDEX idx_comment_citem_id on comment(citem_id)"},
        {"table:settings", "CREATE TABLE settings (\n    name VARCHAR PRIMARY KEY,\n    val VARCHAR\n)"},
    };
    return m;
}

void compareSchema(const QMap<QString, QString> &actual)
{
    QCOMPARE(actual.keys(), expectedSchema().keys());
    for (const QString &k : actual.keys())
        QCOMPARE(actual.value(k), expectedSchema().value(k));
}

QMap<QString, QString> schemaOf(Sqlite3DB &db)
{
    QMap<QString, QString> m;
    Sqlite3Cursor c = db.select("select type, name, sql from sqlite_master");
    while (c.next()) {
        const QString name = c.getText("name");
        // SQLite's own bookkeeping (AUTOINCREMENT, primary-key indexes).
        if (name.startsWith("sqlite_"))
            continue;
        m.insert(c.getText("type") + ':' + name, c.getText("sql"));
    }
    c.throwIfFailed();
    return m;
}

VoskProSeg seg(float start, float end, qint64 fstart, qint64 fend, qint64 spkId, const QString &html, int device = 2)
{
    VoskProSeg s;
    s.start = start;
    s.end = end;
    s.fstart = fstart;
    s.fend = fend;
    s.spkId = spkId;
    s.html = html;
    s.device = device;
    return s;
}

QList<qint64> segIds(const QList<VoskProSeg> &segs)
{
    QList<qint64> ids;
    for (const VoskProSeg &s : segs)
        ids << s.id;
    return ids;
}

QList<qint64> citemIds(const QVariantList &items)
{
    QList<qint64> ids;
    for (const QVariant &v : items)
        ids << v.toMap().value("id").toLongLong();
    return ids;
}

}

class TestVoskProDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void newDatabaseHasSchemaAndWal();
    void reopensWithKey();
    void refusesUnreadableFile_data();
    void refusesUnreadableFile();
    void openTwiceKeepsFirstConnection();
    void openInMissingFolderFails();
    void failedSchemaLeavesNoFile();
    void emptyFileGetsSchema();
    void closedObjectFails_data();
    void closedObjectFails();

    void beginItemResumesOrStartsAnew_data();
    void beginItemResumesOrStartsAnew();
    void finishedItemIsNotResumed();
    void deleteItemRemovesOnlyItsSegments();

    void segmentRoundTrip();
    void loadSegsFiltersByItem();
    void maxSegEnd();
    void updateSegHtmlStoresBody();
    void userTextKeptWhole_data();
    void userTextKeptWhole();

    void commentItems();
    void commentItemsOfDeletedSegmentsAreHidden();
    void deleteCItemRemovesItsReplies();
    void addCommentRefusesInvalidItem();

private:
    QString dataPath() const { return m_dir->filePath("data"); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestVoskProDb::initTestCase()
{
    TestUtil::requireSandboxedHome();
}

void TestVoskProDb::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestVoskProDb::newDatabaseHasSchemaAndWal()
{
    VoskProDb db;
    QVERIFY2(db.open(dataPath()), qPrintable(db.lastErr));
    QVERIFY(db.isOpen());
    QVERIFY(QFile::exists(dataPath()));

    // The file is encrypted: no plain SQLite header.
    QVERIFY(!TestUtil::readFile(dataPath()).startsWith("SQLite format 3"));

    auto raw = openRaw(dataPath());
    QVERIFY(raw);
    compareSchema(schemaOf(*raw));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(scalar(*raw, "PRAGMA journal_mode").toString(), QString("wal"));
}

void TestVoskProDb::reopensWithKey()
{
    qint64 segId = 0;
    {
        VoskProDb db;
        QVERIFY(db.open(dataPath()));
        segId = db.addSeg(seg(1, 2, 0, 32000, 3, "kept"), "[]", 0);
        QVERIFY(segId > 0);
    } // the destructor checkpoints and closes

    QVERIFY(!QFile::exists(dataPath() + "-wal") || QFileInfo(dataPath() + "-wal").size() == 0);

    VoskProDb db;
    QVERIFY2(db.open(dataPath()), qPrintable(db.lastErr));
    const QList<VoskProSeg> segs = db.loadSegs(-1);
    QCOMPARE(segs.size(), 1);
    QCOMPARE(segs[0].id, segId);
    QCOMPARE(segs[0].html, QString("kept"));

    // close() and a later open() on the same object open anew.
    db.close();
    QVERIFY(!db.isOpen());
    QVERIFY(db.open(dataPath()));
    QCOMPARE(db.loadSegs(-1).size(), 1);
}

void TestVoskProDb::refusesUnreadableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("wrong key") << "wrongkey";
    QTest::newRow("plain SQLite") << "plain";
    QTest::newRow("not a database") << "garbage";
}

void TestVoskProDb::refusesUnreadableFile()
{
    QFETCH(QString, kind);
    if (kind == "garbage") {
        QVERIFY(TestUtil::writeFile(dataPath(), QByteArray(8192, 'x')));
    } else {
        const QByteArray key = kind == "wrongkey" ? QByteArray(32, 'k') : QByteArray();
        auto raw = openRaw(dataPath(), key, 6);
        QVERIFY(raw);
        TestUtil::exec(*raw, "create table vres (id integer primary key, html text); insert into vres(html) values('x');");
    }
    const QByteArray before = TestUtil::readFile(dataPath());

    VoskProDb db;
    QVERIFY(!db.open(dataPath()));
    QVERIFY(!db.isOpen());
    QVERIFY2(db.lastErr.contains("not a database"), qPrintable(db.lastErr));
    // The file is left as it was, and nothing is written through the object.
    QCOMPARE(TestUtil::readFile(dataPath()), before);
    QCOMPARE(db.addSeg(seg(0, 1, 0, 10, 1, "lost"), "[]", 0), qint64(0));
    QCOMPARE(TestUtil::readFile(dataPath()), before);
}

void TestVoskProDb::openTwiceKeepsFirstConnection()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const QString other = m_dir->filePath("other");
    QVERIFY(db.open(other));
    QVERIFY(!QFile::exists(other));
    QVERIFY(db.addSeg(seg(0, 1, 0, 10, 1, "first"), "[]", 0) > 0);
    db.close();

    auto raw = openRaw(dataPath());
    QVERIFY(raw);
    QCOMPARE(scalar(*raw, "select count(*) from vres").toLongLong(), 1);
}

void TestVoskProDb::openInMissingFolderFails()
{
    VoskProDb db;
    const QString path = m_dir->filePath("missing/data");
    QVERIFY(!db.open(path));
    QVERIFY(!db.isOpen());
    QVERIFY(!db.lastErr.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void TestVoskProDb::failedSchemaLeavesNoFile()
{
    // A folder where SQLite wants its rollback journal makes the schema fail
    // after the database file itself was created.
    QVERIFY(QDir(m_dir->path()).mkdir("data-journal"));
    {
        VoskProDb db;
        QVERIFY(!db.open(dataPath()));
        QVERIFY(!db.lastErr.isEmpty());
        QVERIFY(!db.isOpen());
    }
    QVERIFY(!QFile::exists(dataPath()));
    QVERIFY(!QFile::exists(dataPath() + "-wal"));

    QVERIFY(QDir(m_dir->path()).rmdir("data-journal"));
    VoskProDb db;
    QVERIFY2(db.open(dataPath()), qPrintable(db.lastErr));
    auto raw = openRaw(dataPath());
    QVERIFY(raw);
    compareSchema(schemaOf(*raw));
    if (QTest::currentTestFailed())
        return;
}

void TestVoskProDb::emptyFileGetsSchema()
{
    // What a process that ended while creating the file leaves behind.
    QVERIFY(TestUtil::writeFile(dataPath(), QByteArray()));
    VoskProDb db;
    QVERIFY2(db.open(dataPath()), qPrintable(db.lastErr));
    QVERIFY(db.beginItem("a.mp3") > 0);
    auto raw = openRaw(dataPath());
    QVERIFY(raw);
    compareSchema(schemaOf(*raw));
    if (QTest::currentTestFailed())
        return;
}

void TestVoskProDb::closedObjectFails_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("never opened") << "new";
    QTest::newRow("closed") << "closed";
    QTest::newRow("failed open") << "failed";
}

void TestVoskProDb::closedObjectFails()
{
    QFETCH(QString, state);
    VoskProDb db;
    if (state == "closed") {
        QVERIFY(db.open(dataPath()));
        db.close();
        db.close(); // twice is harmless
    } else if (state == "failed") {
        QVERIFY(!db.open(m_dir->filePath("missing/data")));
    }
    const QStringList before = QDir(m_dir->path()).entryList(QDir::Files);

    QString html = "<p>x</p>";
    const QList<QPair<const char *, std::function<bool()>>> calls = {
        {"beginItem", [&] { return db.beginItem("a.mp3") == 0; }},
        {"finishItem", [&] { return !db.finishItem(1); }},
        {"deleteItem", [&] { return !db.deleteItem(1); }},
        {"addSeg", [&] { return db.addSeg(seg(0, 1, 0, 10, 1, "x"), "[]", 0) == 0; }},
        {"loadSegs", [&] { return db.loadSegs(-1).isEmpty(); }},
        {"deleteSeg", [&] { return !db.deleteSeg(1); }},
        {"updateSegHtml", [&] { return !db.updateSegHtml(1, html); }},
        {"maxSegEnd", [&] { return db.maxSegEnd() == 0.0f; }},
        {"addCItem", [&] { return db.addCItem(1, "note", 2).isEmpty(); }},
        {"loadCItems", [&] { return db.loadCItems().isEmpty(); }},
        {"deleteCItem", [&] { return !db.deleteCItem(1); }},
        {"addComment", [&] { return !db.addComment(1, "reply"); }},
        {"loadComments", [&] { return db.loadComments(1).isEmpty(); }},
        {"deleteComment", [&] { return !db.deleteComment(1); }},
        {"matchSpeaker", [&] {
             const VoskSpeakerInfo s = db.matchSpeaker({1, 2}, 600, 0);
             return s.id == 0 && s.name.isEmpty() && s.color.isEmpty();
         }},
        {"loadSpeakers", [&] { return db.loadSpeakers().isEmpty(); }},
        {"updateSpeakerName", [&] { return !db.updateSpeakerName(1, "Ann"); }},
    };
    for (const auto &call : calls) {
        db.lastErr.clear();
        QVERIFY2(call.second(), call.first);
        QVERIFY2(db.lastErr.contains("not open"), call.first);
    }

    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), before);
}

void TestVoskProDb::beginItemResumesOrStartsAnew_data()
{
    QTest::addColumn<QString>("storedStatus"); // SQL literal of the stored row's status
    QTest::addColumn<bool>("resumed");
    QTest::newRow("status NULL") << "NULL" << true;
    QTest::newRow("status 0") << "0" << true;
    QTest::newRow("status 1") << "1" << false;
}

void TestVoskProDb::beginItemResumesOrStartsAnew()
{
    QFETCH(QString, storedStatus);
    QFETCH(bool, resumed);
    {
        VoskProDb db;
        QVERIFY(db.open(dataPath()));
    }
    {
        auto raw = openRaw(dataPath());
        QVERIFY(raw);
        TestUtil::exec(*raw, QString("insert into item(name, status) values('/m/a b.mp3', %1);").arg(storedStatus));
        TestUtil::exec(*raw, "insert into item(name, status) values('/m/other.mp3', 0);");
    }

    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const qint64 id = db.beginItem("/m/a b.mp3");
    QCOMPARE(id, resumed ? qint64(1) : qint64(3));
    // Asking again gives the same open item.
    QCOMPARE(db.beginItem("/m/a b.mp3"), id);

    auto raw = openRaw(dataPath());
    QCOMPARE(scalar(*raw, "select count(*) from item").toLongLong(), resumed ? 2 : 3);
    if (!resumed)
        QCOMPARE(scalar(*raw, "select status from item where id=3").toLongLong(), 0);

    // An empty name neither runs SQL nor touches lastErr.
    db.lastErr = "earlier";
    QCOMPARE(db.beginItem(QString()), qint64(0));
    QCOMPARE(db.lastErr, QString("earlier"));
}

void TestVoskProDb::finishedItemIsNotResumed()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const qint64 first = db.beginItem("talk.wav");
    QVERIFY(first > 0);
    QVERIFY(db.finishItem(first));
    const qint64 second = db.beginItem("talk.wav");
    QVERIFY(second > first);
}

void TestVoskProDb::deleteItemRemovesOnlyItsSegments()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const qint64 a = db.beginItem("a.mp3");
    const qint64 b = db.beginItem("b.mp3");
    const VoskSpeakerInfo spk = db.matchSpeaker({1, 0}, 100, a);
    const qint64 a1 = db.addSeg(seg(0, 1, 0, 10, spk.id, "a1"), "[]", a);
    const qint64 live = db.addSeg(seg(1, 2, 10, 20, spk.id, "live"), "[]", 0);
    const qint64 b1 = db.addSeg(seg(2, 3, 20, 30, spk.id, "b1"), "[]", b);
    const qint64 a2 = db.addSeg(seg(3, 4, 30, 40, spk.id, "a2"), "[]", a);
    const QVariantMap note = db.addCItem(a1, "on a1", 1);
    QVERIFY(!note.isEmpty());

    QVERIFY(db.deleteItem(a));
    QCOMPARE(segIds(db.loadSegs(-1)), (QList<qint64>{live, b1}));
    Q_UNUSED(a2);

    auto raw = openRaw(dataPath());
    QCOMPARE(scalar(*raw, "select count(*) from item").toLongLong(), 1);
    QCOMPARE(scalar(*raw, "select id from item").toLongLong(), b);
    // Speakers and the comment items of its segments stay in their tables.
    QCOMPARE(scalar(*raw, "select count(*) from speaker").toLongLong(), 1);
    QCOMPARE(scalar(*raw, "select count(*) from citem").toLongLong(), 1);
}

void TestVoskProDb::segmentRoundTrip()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const VoskSpeakerInfo named = db.matchSpeaker({1, 0}, 100, 0);
    QVERIFY(db.updateSpeakerName(named.id, "Ann & Bob"));
    const qint64 item = db.beginItem("x.mp4");

    // Offsets past 4 GiB, as a long recording has them.
    const qint64 big = Q_INT64_C(5000000000);
    const VoskProSeg s1 = seg(12.5f, 3600.25f, big, big + 64000, named.id, "<p>one</p>", 1);
    const VoskProSeg s2 = seg(1.0f / 3, 2.0f / 3, 0, 3200, 7, "two");
    const VoskProSeg s3 = seg(4, 5, 3200, 6400, 0, "three");
    const QList<qint64> ids{db.addSeg(s1, "[{\"word\":\"one\"}]", item), db.addSeg(s2, "[]", 0), db.addSeg(s3, "[]", item)};
    for (qint64 id : ids)
        QVERIFY(id > 0);

    const QList<VoskProSeg> segs = db.loadSegs(-1);
    QCOMPARE(segIds(segs), ids);

    QCOMPARE(segs[0].device, 1);
    QCOMPARE(segs[0].html, s1.html);
    QCOMPARE(segs[0].start, s1.start);
    QCOMPARE(segs[0].end, s1.end);
    QCOMPARE(segs[0].fstart, big);
    QCOMPARE(segs[0].fend, big + 64000);
    QCOMPARE(segs[0].spkId, named.id);
    QCOMPARE(segs[0].spkName, QString("Ann & Bob"));
    QCOMPARE(segs[0].itemId, item);

    QCOMPARE(segs[1].start, s2.start); // floats survive the double column exactly
    QCOMPARE(segs[1].end, s2.end);
    QCOMPARE(segs[1].device, 2);
    QCOMPARE(segs[1].spkName, QString("Speaker 7")); // no such speaker row
    QCOMPARE(segs[1].itemId, qint64(0));
    QCOMPARE(segs[2].spkName, QString("Speaker 0"));

    // An emptied name falls back as well.
    QVERIFY(db.updateSpeakerName(named.id, ""));
    QCOMPARE(db.loadSegs(-1).at(0).spkName, QString("Speaker %1").arg(named.id));

    auto raw = openRaw(dataPath());
    QCOMPARE(scalar(*raw, QString("select raw_words from vres where id=%1").arg(ids[0])).toString(),
             QString("[{\"word\":\"one\"}]"));

    QVERIFY(db.deleteSeg(ids[1]));
    QCOMPARE(segIds(db.loadSegs(-1)), (QList<qint64>{ids[0], ids[2]}));
}

void TestVoskProDb::loadSegsFiltersByItem()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const qint64 item = db.beginItem("x.mp4");
    const qint64 a = db.addSeg(seg(0, 1, 0, 10, 1, "a"), "[]", item);
    const qint64 live = db.addSeg(seg(1, 2, 10, 20, 1, "live"), "[]", 0);
    QCOMPARE(segIds(db.loadSegs(item)), QList<qint64>{a});
    QCOMPARE(segIds(db.loadSegs(0)), QList<qint64>{live});
    QCOMPARE(segIds(db.loadSegs(-1)), (QList<qint64>{a, live}));
}

void TestVoskProDb::maxSegEnd()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    db.lastErr.clear();
    QCOMPARE(db.maxSegEnd(), 0.0f);
    QVERIFY(db.lastErr.isEmpty());
    db.addSeg(seg(0, 9.75f, 0, 10, 1, "a"), "[]", 0);
    db.addSeg(seg(10, 12.5f, 10, 20, 1, "b"), "[]", 0);
    db.addSeg(seg(1, 2, 20, 30, 1, "c"), "[]", 0);
    QCOMPARE(db.maxSegEnd(), 12.5f);
}

void TestVoskProDb::updateSegHtmlStoresBody()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const qint64 id = db.addSeg(seg(0, 1, 0, 10, 1, "old"), "[]", 0);

    QString html = "<!DOCTYPE HTML><html><head><style>p {}</style></head>"
                   "<body style=\"font-size:9pt\"><p>a &lt;c&gt; R&amp;D</p></body></html>";
    QVERIFY(db.updateSegHtml(id, html));
    QCOMPARE(html, QString("<p>a &lt;c&gt; R&amp;D</p>"));
    QCOMPARE(db.loadSegs(-1).at(0).html, html);

    // Saving the stored text again changes nothing and loses nothing.
    QString again = html;
    QVERIFY(db.updateSegHtml(id, again));
    QCOMPARE(again, html);
}

void TestVoskProDb::userTextKeptWhole_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    const QString nul = QString::fromUtf8("before\0after", 12);
    QTest::newRow("segment: control in a word") << "segment" << "ab\x01" "cd more" << "abcd more";
    QTest::newRow("segment: escape sequence") << "segment" << "\x1b[1mbold text" << "[1mbold text";
    QTest::newRow("segment: vertical tab between words") << "segment" << "one\x0btwo three" << "one two three";
    QTest::newRow("segment: unit separator") << "segment" << "a\x1f" "b c" << "a b c";
    QTest::newRow("segment: noncharacters") << "segment" << QString("x\uFFFEy\uFFFFz end") << "xyz end";
    QTest::newRow("segment: lone high surrogate") << "segment" << "left" + QString(QChar(0xD800)) + "right end"
                                                  << "leftright end";
    QTest::newRow("segment: lone low surrogate, emoji kept")
        << "segment" << QString(QChar(0xDC00)) + QString::fromUtf8("\U0001F600 end") << QString::fromUtf8("\U0001F600 end");
    QTest::newRow("segment: NUL") << "segment" << nul << "beforeafter";
    QTest::newRow("comment: NUL") << "comment" << nul << nul;
    QTest::newRow("reply: NUL") << "reply" << nul << nul;
    QTest::newRow("speaker name: NUL") << "speaker" << nul << nul;
}

// What the user typed or pasted is stored up to its last character, read
// back as the file holds it (its bytes, in hexadecimal, from a raw query).
void TestVoskProDb::userTextKeptWhole()
{
    QFETCH(QString, where);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    auto raw = openRaw(dataPath());
    QVERIFY(raw);
    TestUtil::exec(*raw, "insert into speaker(id, name) values(1, 'x')");
    const qint64 segId = db.addSeg(seg(0, 1, 0, 10, 1, "old"), "[]", 0);
    const qint64 cid = db.addCItem(segId, "item", 2).value("id").toLongLong();
    const auto stored = [&](const char *sql) {
        const QByteArray bytes = QByteArray::fromHex(scalar(*raw, sql).toByteArray());
        return QString::fromUtf8(bytes.constData(), bytes.size());
    };

    if (where == "segment") {
        // The conversation editor's save path: its document as HTML.
        QTextDocument editor;
        QTextCursor(&editor).insertText(typed);
        QString html = editor.toHtml();
        QVERIFY(db.updateSegHtml(segId, html));
        const QString body = stored("select hex(html) from vres");
        QCOMPARE(db.loadSegs(-1).at(0).html, body);
        QTextDocument reader;
        reader.setHtml(body);
        QCOMPARE(reader.toPlainText(), kept);
    } else if (where == "comment") {
        QVERIFY(db.addCItem(segId, typed, 2).value("id").toLongLong() > 0);
        QCOMPARE(stored("select hex(text) from citem order by id desc limit 1"), kept);
        QCOMPARE(db.loadCItems().at(0).toMap().value("text").toString(), kept);
    } else if (where == "reply") {
        QVERIFY(db.addComment(cid, typed));
        QCOMPARE(stored("select hex(text) from comment"), kept);
        QCOMPARE(db.loadComments(cid).at(0).toMap().value("text").toString(), kept);
    } else {
        QVERIFY(db.updateSpeakerName(1, typed));
        QCOMPARE(stored("select hex(name) from speaker"), kept);
        QCOMPARE(db.loadSpeakers().at(0).name, kept);
        QCOMPARE(db.loadSegs(-1).at(0).spkName, kept);
    }
}

void TestVoskProDb::commentItems()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const qint64 item = db.beginItem("x.mp4");
    const qint64 s1 = db.addSeg(seg(0, 1, 0, 10, 1, "a"), "[]", item);
    const qint64 s2 = db.addSeg(seg(1, 2, 10, 20, 1, "b"), "[]", 0);

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const QVariantMap h = db.addCItem(s1, "a", 1);
    const QVariantMap c = db.addCItem(s2, "looks wrong", 2);
    QCOMPARE(h.value("vres_id").toLongLong(), s1);
    QCOMPARE(h.value("type").toInt(), 1);
    QCOMPARE(h.value("text").toString(), QString("a"));
    QCOMPARE(h.value("item_id").toLongLong(), item);
    QCOMPARE(c.value("item_id").toLongLong(), qint64(0));
    QVERIFY(c.value("id").toLongLong() > h.value("id").toLongLong());
    QVERIFY(h.value("dt").toLongLong() >= before && h.value("dt").toLongLong() <= QDateTime::currentSecsSinceEpoch());

    // Newest first, with the same values the add returned.
    const QVariantList items = db.loadCItems();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0].toMap(), c);
    QCOMPARE(items[1].toMap(), h);

    // Replies: oldest first, "cid" is the item asked for.
    const qint64 cid = c.value("id").toLongLong();
    QVERIFY(db.loadComments(cid).isEmpty());
    QVERIFY(db.addComment(cid, "first"));
    QVERIFY(db.addComment(cid, "second"));
    const QVariantList replies = db.loadComments(cid);
    QCOMPARE(replies.size(), 2);
    QCOMPARE(replies[0].toMap().value("text").toString(), QString("first"));
    QCOMPARE(replies[1].toMap().value("text").toString(), QString("second"));
    QCOMPARE(replies[1].toMap().value("cid").toLongLong(), cid);
    QVERIFY(replies[0].toMap().value("dt").toInt() >= before);

    // Times after 2038 need all 64 bits.
    auto raw = openRaw(dataPath());
    QVERIFY(raw);
    const qint64 late = qint64(1) << 33;
    raw->run(QStringLiteral("update comment set dt=%1 where id=%2").arg(late).arg(replies[1].toMap().value("id").toLongLong()));
    QCOMPARE(db.loadComments(cid).at(1).toMap().value("dt").toLongLong(), late);

    QVERIFY(db.deleteComment(replies[0].toMap().value("id").toLongLong()));
    QCOMPARE(db.loadComments(cid).size(), 1);

    // An empty text runs no SQL and leaves lastErr alone.
    db.lastErr = "earlier";
    QVERIFY(db.addCItem(s1, QString(), 1).isEmpty());
    QCOMPARE(db.lastErr, QString("earlier"));
    QCOMPARE(db.loadCItems().size(), 2);
}

void TestVoskProDb::commentItemsOfDeletedSegmentsAreHidden()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const qint64 s1 = db.addSeg(seg(0, 1, 0, 10, 1, "a"), "[]", 0);
    const qint64 s2 = db.addSeg(seg(1, 2, 10, 20, 1, "b"), "[]", 0);
    const qint64 onS1 = db.addCItem(s1, "x", 1).value("id").toLongLong();
    const qint64 onS2 = db.addCItem(s2, "y", 2).value("id").toLongLong();

    // A segment that never existed: the item is stored but never listed.
    const QVariantMap orphan = db.addCItem(999, "z", 2);
    QVERIFY(orphan.value("id").toLongLong() > onS2);
    QCOMPARE(orphan.value("item_id").toLongLong(), qint64(0));
    QCOMPARE(citemIds(db.loadCItems()), (QList<qint64>{onS2, onS1}));

    QVERIFY(db.deleteSeg(s1));
    QCOMPARE(citemIds(db.loadCItems()), QList<qint64>{onS2});
    auto raw = openRaw(dataPath());
    QCOMPARE(scalar(*raw, "select count(*) from citem").toLongLong(), 3);
}

void TestVoskProDb::deleteCItemRemovesItsReplies()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    const qint64 s = db.addSeg(seg(0, 1, 0, 10, 1, "a"), "[]", 0);
    const qint64 c1 = db.addCItem(s, "one", 2).value("id").toLongLong();
    const qint64 c2 = db.addCItem(s, "two", 2).value("id").toLongLong();
    QVERIFY(db.addComment(c1, "r1"));
    QVERIFY(db.addComment(c1, "r2"));
    QVERIFY(db.addComment(c2, "r3"));

    QVERIFY(db.deleteCItem(c1));
    QCOMPARE(citemIds(db.loadCItems()), QList<qint64>{c2});
    QVERIFY(db.loadComments(c1).isEmpty());
    QCOMPARE(db.loadComments(c2).size(), 1);
    auto raw = openRaw(dataPath());
    QCOMPARE(scalar(*raw, "select count(*) from comment").toLongLong(), 1);
}

void TestVoskProDb::addCommentRefusesInvalidItem()
{
    VoskProDb db;
    QVERIFY(db.open(dataPath()));
    db.lastErr = "earlier";
    QVERIFY(!db.addComment(0, "reply"));
    QVERIFY(!db.addComment(-5, "reply"));
    QCOMPARE(db.lastErr, QString("earlier"));
    auto raw = openRaw(dataPath());
    QCOMPARE(scalar(*raw, "select count(*) from comment").toLongLong(), 0);
}

QTEST_GUILESS_MAIN(TestVoskProDb)
#include "tst_vosk_pro_db.moc"

#include "storage/Sqlite3DB.h"

#include "common/TestUtil.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sqlcipher/sqlite3.h>

#include <limits>

class TestSqlite3DB : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString dbPath(const QString &name) const { return m_dir.filePath(name); }

    // An open in-memory database with one table of every value kind.
    static void openScratch(Sqlite3DB &db)
    {
        db.open(QStringLiteral(":memory:"), QByteArray(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        QString err;
        QCOMPARE(db.exec(QStringLiteral("create table t(i integer, r real, s text, b blob);"), err), SQLITE_OK);
    }

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QVERIFY(m_dir.isValid());
    }

    void encryptedDatabaseNeedsItsKey()
    {
        const QString path = dbPath(QStringLiteral("enc.db"));
        {
            Sqlite3DB db;
            db.open(path, QByteArrayLiteral("right key"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            QString err;
            QCOMPARE(db.exec(QStringLiteral("create table t(v text); insert into t values('secret words');"), err), SQLITE_OK);
        }
        // The file on disk does not show the stored text.
        QVERIFY(!TestUtil::readFile(path).contains("secret words"));

        {
            Sqlite3DB db;
            db.open(path, QByteArrayLiteral("right key"), SQLITE_OPEN_READWRITE);
            Sqlite3Cursor c = db.select("select v from t");
            QVERIFY(c.next());
            QCOMPARE(c.getText(0), QStringLiteral("secret words"));
        }
        {
            Sqlite3DB db;
            db.open(path, QByteArrayLiteral("wrong key"), SQLITE_OPEN_READWRITE);
            try {
                db.run("select count(*) from sqlite_master");
                QFAIL("a wrong key must not read the database");
            } catch (const Sqlite3Exception &e) {
                QCOMPARE(e.code(), SQLITE_NOTADB);
                QCOMPARE(QByteArray(e.what()), QByteArrayLiteral("file is encrypted or is not a database"));
            }
            QVERIFY_EXCEPTION_THROWN(db.select("select name from sqlite_master"), Sqlite3Exception);
        }
        {
            Sqlite3DB db; // no key at all
            db.open(path, QByteArray(), SQLITE_OPEN_READWRITE);
            QVERIFY_EXCEPTION_THROWN(db.run("select count(*) from sqlite_master"), Sqlite3Exception);
        }
    }

    void openFailures()
    {
        Sqlite3DB db;
        try {
            db.open(dbPath(QStringLiteral("missing.db")), QByteArray(), SQLITE_OPEN_READWRITE);
            QFAIL("opening a missing file without the create flag must throw");
        } catch (const Sqlite3Exception &e) {
            QCOMPARE(e.code(), SQLITE_CANTOPEN);
        }
        QVERIFY(!db.isOpen());
        QVERIFY(!QFile::exists(dbPath(QStringLiteral("missing.db"))));

        // A closed connection throws a clear error rather than crashing.
        try {
            db.run("select 1");
            QFAIL("run on a closed database must throw");
        } catch (const Sqlite3Exception &e) {
            QCOMPARE(QByteArray(e.what()), QByteArrayLiteral("database is not open"));
        }
        QString err;
        QVERIFY(db.exec(QStringLiteral("select 1"), err) != SQLITE_OK);
        QVERIFY(!err.isEmpty());
    }

    void noFollow_data()
    {
        QTest::addColumn<QString>("linked");
        QTest::newRow("database") << QString();
        QTest::newRow("write-ahead log") << QStringLiteral("-wal");
    }

    // With NoFollow no file of a database is opened through a link, whatever
    // its owner checked before.
    void noFollow()
    {
        QFETCH(QString, linked);
        const QString path = dbPath("nofollow" + linked + ".db");
        const QString target = dbPath("target" + linked);
        {
            Sqlite3DB db;
            db.open(linked.isEmpty() ? target : path, QByteArray(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            QString err;
            QCOMPARE(db.exec("pragma journal_mode=WAL; create table t(x); insert into t values(1);", err), SQLITE_OK);
        }
        QVERIFY(linked.isEmpty() || TestUtil::writeFile(target, "private"));
        QVERIFY(QFile::link(target, path + linked));
        const QByteArray before = TestUtil::readFile(target);
        bool refused = false;
        try {
            Sqlite3DB db;
            db.open(path, QByteArray(), SQLITE_OPEN_READWRITE | Sqlite3DB::NoFollow);
            QString err;
            refused = db.exec("select * from t;", err) != SQLITE_OK;
        } catch (const Sqlite3Exception &) {
            refused = true;
        }
        QVERIFY(refused);
        QCOMPARE(TestUtil::readFile(target), before);
    }

    void runAndExec()
    {
        Sqlite3DB db;
        openScratch(db);

        // run() wants a statement that ends without rows.
        QVERIFY_EXCEPTION_THROWN(db.run("select 1"), Sqlite3Exception);

        // run() and select() compile only the first statement; exec() runs all.
        db.run("insert into t(i) values(1); insert into t(i) values(2)");
        QCOMPARE(db.select("select count(*) from t").next(), true);
        Sqlite3Cursor count = db.select("select count(*) from t");
        QVERIFY(count.next());
        QCOMPARE(count.getInt64(0), qint64(1));

        QString err = QStringLiteral("untouched");
        QCOMPARE(db.exec(QStringLiteral("insert into t(i) values(3); insert into t(i) values(4);"), err), SQLITE_OK);
        QCOMPARE(err, QStringLiteral("untouched"));
        QVERIFY(db.exec(QStringLiteral("insert into nowhere values(1)"), err) != SQLITE_OK);
        QVERIFY(err.contains(QStringLiteral("no such table")));

        try {
            db.run("insert into nowhere values(1)");
            QFAIL("prepare of a missing table must throw");
        } catch (const Sqlite3Exception &e) {
            QVERIFY(QByteArray(e.what()).contains("no such table"));
        }

        // More parameters than "?" fail at bind time.
        Sqlite3Query q("insert into t(i) values(?)");
        q.bindInt(1);
        q.bindInt(2);
        QVERIFY_EXCEPTION_THROWN(db.run(q), Sqlite3Exception);
    }

    void valuesRoundTrip()
    {
        Sqlite3DB db;
        openScratch(db);

        Sqlite3Query q("insert into t(i, r, s, b) values(?, ?, ?, ?)");
        q.bindInt64(std::numeric_limits<qint64>::max());
        q.bindDouble(-2.5);
        q.bindText(QStringLiteral("Grüße 你好"));
        q.bindBlob(QByteArray("\x00\x01\xff", 3));
        db.run(q);
        QCOMPARE(db.lastInsertRowId(), qint64(1));

        Sqlite3Cursor c = db.select("select * from t");
        QVERIFY(c.next());
        QCOMPARE(c.getInt64(QStringLiteral("I")), std::numeric_limits<qint64>::max());
        QCOMPARE(c.getDouble(QStringLiteral("r")), -2.5);
        QCOMPARE(c.getText(QStringLiteral("S")), QStringLiteral("Grüße 你好"));
        QCOMPARE(c.getBlob(QStringLiteral("b")), QByteArray("\x00\x01\xff", 3));
        // Names the result does not have read as NULL.
        QCOMPARE(c.columnIndex(QStringLiteral("nope")), -1);
        QCOMPARE(c.getInt64(QStringLiteral("nope")), qint64(0));
        QCOMPARE(c.getText(QStringLiteral("nope")), QString());
        QVERIFY(!c.next());
        QVERIFY(!c.failed());
    }

    void textKeepsZeroAndEmptyIsNotNull()
    {
        Sqlite3DB db;
        openScratch(db);

        Sqlite3Query q("insert into t(s, b) values(?, ?)");
        q.bindTextBytes(QByteArray("ab\0cd", 5));
        q.bindBlob(QByteArray());
        db.run(q);
        Sqlite3Query q2("insert into t(s, b) values(?, ?)");
        q2.bindText(QString(""));
        q2.bindNull();
        db.run(q2);

        Sqlite3Cursor c = db.select("select s, typeof(s) ts, b, typeof(b) tb from t order by rowid");
        QVERIFY(c.next());
        QCOMPARE(c.getText(QStringLiteral("s")), QString::fromUtf8("ab\0cd", 5));
        QCOMPARE(c.toRow().value(QStringLiteral("s")).toString(), QString::fromUtf8("ab\0cd", 5));
        QCOMPARE(c.getText(QStringLiteral("tb")), QStringLiteral("blob"));
        QVERIFY(c.next());
        QCOMPARE(c.getText(QStringLiteral("ts")), QStringLiteral("text"));
        QCOMPARE(c.getText(QStringLiteral("tb")), QStringLiteral("null"));
    }

    void cursorOutlivesQueryAndDatabase()
    {
        // Text bound without a copy must stay alive with the cursor, not the
        // caller's query object (ASan catches a dangling read here).
        auto db = std::make_unique<Sqlite3DB>();
        openScratch(*db);
        db->run("insert into t(s) values('needle'), ('hay')");

        std::unique_ptr<Sqlite3Cursor> c;
        {
            Sqlite3Query q("select s from t where s = ?");
            q.bindText(QString(QStringLiteral("need")) + QStringLiteral("le"));
            c.reset(new Sqlite3Cursor(db->select(q)));
        }
        db.reset(); // the connection closes once the cursor is gone
        QVERIFY(c->next());
        QCOMPARE(c->getText(0), QStringLiteral("needle"));
        QVERIFY(!c->next());
        QVERIFY(!c->failed());
    }

    void failedStepIsNotAShortResult()
    {
        Sqlite3DB db;
        openScratch(db);
        db.run("insert into t(i) values(1), (-9223372036854775807 - 1), (3)");
        // abs() of the smallest integer fails while stepping, on the second row.
        Sqlite3Cursor c = db.select("select abs(i) from t order by rowid");
        QVERIFY(c.next());
        QVERIFY(!c.failed());
        QVERIFY(!c.next());
        QVERIFY(c.failed());
        QCOMPARE(c.errorMessage(), QStringLiteral("integer overflow"));
        QVERIFY_EXCEPTION_THROWN(c.throwIfFailed(), Sqlite3Exception);
        QVERIFY(!c.next()); // stays failed
    }

    void queryCopiesShareParameters()
    {
        Sqlite3Query a("select ?");
        Sqlite3Query b = a;
        b.bindInt(7);
        b.append(QStringLiteral(" + 1"));
        QCOMPARE(a.paramCount(), 1);
        QCOMPARE(a.sql(), QByteArrayLiteral("select ? + 1"));
    }

    void toRowTypesAndLowerCaseNames()
    {
        Sqlite3DB db;
        openScratch(db);
        db.run("insert into t values(5, 1.5, 'x', x'')");
        Sqlite3Cursor c = db.select("select i as ID, r, s, b, null as Nothing, i as r from t");
        QVERIFY(c.next());
        const Sqlite3Row row = c.toRow();
        QCOMPARE(row.value(QStringLiteral("id")).userType(), int(QMetaType::LongLong));
        QCOMPARE(row.value(QStringLiteral("ID")).toLongLong(), 5);
        // The later of two same-named columns wins.
        QCOMPARE(row.value(QStringLiteral("r")).userType(), int(QMetaType::LongLong));
        QCOMPARE(row.value(QStringLiteral("s")).toString(), QStringLiteral("x"));
        QCOMPARE(row.value(QStringLiteral("b")).userType(), int(QMetaType::QByteArray));
        QVERIFY(row.value(QStringLiteral("b")).toByteArray().isEmpty());
        QVERIFY(row.contains(QStringLiteral("nothing")));
        QVERIFY(!row.value(QStringLiteral("nothing")).isValid());
        QCOMPARE(row.values().keys().contains(QStringLiteral("ID")), false);
    }

    void insertQuery_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");

        QTest::newRow("int64 max") << QVariant(std::numeric_limits<qint64>::max()) << "integer" << "9223372036854775807";
        QTest::newRow("int64 min") << QVariant(std::numeric_limits<qint64>::min()) << "integer" << "-9223372036854775808";
        QTest::newRow("int") << QVariant(-42) << "integer" << "-42";
        QTest::newRow("bool") << QVariant(true) << "integer" << "1";
        QTest::newRow("double") << QVariant(0.25) << "real" << "0.25";
        QTest::newRow("empty text") << QVariant(QString("")) << "text" << "";
        QTest::newRow("null text") << QVariant(QString()) << "text" << "";
        QTest::newRow("empty blob") << QVariant(QByteArray()) << "blob" << "";
        QTest::newRow("latin-1 char") << QVariant(QChar(0xe9)) << "integer" << "-23";
        QTest::newRow("wide char") << QVariant(QChar(0x4f60)) << "integer" << "0";
        QTest::newRow("text bytes") << QVariant::fromValue(Sqlite3Row::TypeTextBytes{QByteArray("raw")}) << "text" << "raw";
        QTest::newRow("float") << QVariant(1.5f) << "null" << "";
        QTest::newRow("invalid") << QVariant() << "null" << "";
        QTest::newRow("list") << QVariant(QVariantList{1, 2}) << "null" << "";
    }

    void insertQuery()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, type);
        QFETCH(QString, text);

        Sqlite3DB db;
        db.open(QStringLiteral(":memory:"), QByteArray(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        QString err;
        QCOMPARE(db.exec(QStringLiteral("create table v(id integer primary key, val, tag text)"), err), SQLITE_OK);

        Sqlite3Row row;
        row[QStringLiteral("VAL")] = value;
        row[QStringLiteral("tag")] = QStringLiteral("t");
        row[QStringLiteral("skipped")] = 1;
        db.run(row.toInsertQuery(QStringLiteral("v"), {QStringLiteral("Skipped")}, QStringLiteral("insert into")));

        Sqlite3Cursor c = db.select("select typeof(val) ty, cast(val as text) tx, tag from v");
        QVERIFY(c.next());
        QCOMPARE(c.getText(QStringLiteral("ty")), type);
        QCOMPARE(c.getText(QStringLiteral("tx")), text);
        QCOMPARE(c.getText(QStringLiteral("tag")), QStringLiteral("t"));
        if (value.userType() == QMetaType::LongLong) {
            Sqlite3Cursor back = db.select("select val from v");
            QVERIFY(back.next());
            QCOMPARE(back.toRow().value(QStringLiteral("val")), value);
        }
    }

    void insertQueryText()
    {
        Sqlite3Row row;
        row[QStringLiteral("Path")] = QStringLiteral("p");
        row[QStringLiteral("dt")] = 1;
        const QByteArray sql = row.toInsertQuery(QStringLiteral("projects"), {}, QStringLiteral("insert into")).sql();
        QVERIFY2(sql == "insert into projects([path],[dt]) VALUES(?,?)" || sql == "insert into projects([dt],[path]) VALUES(?,?)",
                 sql.constData());

        // Nothing left to insert gives SQL that cannot be prepared.
        Sqlite3Row empty;
        Sqlite3DB db;
        openScratch(db);
        QVERIFY_EXCEPTION_THROWN(db.run(empty.toInsertQuery(QStringLiteral("t"), {}, QStringLiteral("insert into"))),
                                 Sqlite3Exception);
    }

    void exceptionsCopyTheirMessage()
    {
        std::unique_ptr<Sqlite3Exception> kept;
        {
            Sqlite3DB db;
            openScratch(db);
            try {
                db.run("bogus sql");
            } catch (const Sqlite3Exception &e) {
                kept.reset(new Sqlite3Exception(e));
            }
        }
        QVERIFY(kept);
        QCOMPARE(kept->code(), SQLITE_ERROR);
        QVERIFY(QByteArray(kept->what()).contains("syntax error"));
    }
};

QTEST_GUILESS_MAIN(TestSqlite3DB)
#include "tst_sqlite3db.moc"

#include "common/TestUtil.h"
#include "storage/LangDb.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <sys/stat.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

QString langDbPath()
{
    return userDataDir().absoluteFilePath(QStringLiteral("lang.db"));
}

// Every row's columns, in list order, for before/after comparisons.
QList<QHash<QString, QVariant>> snapshot(LangDb &db)
{
    QList<QHash<QString, QVariant>> out;
    for (const Sqlite3Row &row : db.list(QString()))
        out << row.values();
    return out;
}

QStringList codes(const QList<Sqlite3Row> &rows)
{
    QStringList out;
    for (const Sqlite3Row &row : rows)
        out << row.value(QStringLiteral("fn")).toString();
    return out;
}

}

class TestLangDb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstOpenCopiesSeed();
    void laterOpenKeepsChanges();
    void keys_data();
    void keys();
    void bundledFolderWins();
    void installedOnlyWhileFolderExists();
    void touchMovesBothSizes();
    void listFilter_data();
    void listFilter();
    void defaultSaveRootUrl();
    void instanceIsSingleAndOpen();
    void failedSeedCopy();
    void errorsFromManyThreads();

private:
    void openFresh(LangDb &db);
    QTemporaryDir m_tmp;
};

void TestLangDb::initTestCase()
{
    TestUtil::requireSandboxedHome();
    QVERIFY(m_tmp.isValid());
}

void TestLangDb::openFresh(LangDb &db)
{
    QVERIFY2(db.open(), qPrintable(db.lastErr()));
}

void TestLangDb::firstOpenCopiesSeed()
{
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    QVERIFY(!QFileInfo::exists(dataHome + QStringLiteral("/kalvinor_audio2text_win")));
    QCOMPARE(userDataDir().absolutePath(), dataHome + QStringLiteral("/kalvinor_audio2text_win"));
    QVERIFY(userDataDir().exists());
    QVERIFY(!QFile::exists(langDbPath()));

    LangDb db;
    openFresh(db);
    QVERIFY(db.isOpen());

    // The resource copy is read-only; the user's catalogue must be writable by
    // its owner and nobody else.
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(langDbPath()).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0600);

    const QList<Sqlite3Row> rows = db.list(QString());
    QCOMPARE(rows.size(), 24);
    int standard = 0, large = 0;
    QList<QByteArray> natives;
    for (const Sqlite3Row &row : rows) {
        QCOMPARE(row.size(), 13);
        standard += !row.value(QStringLiteral("file1")).toString().isEmpty();
        large += !row.value(QStringLiteral("file2")).toString().isEmpty();
        for (const char *col : {"desc1", "desc2", "dt", "local1", "local2"})
            QVERIFY2(row.value(QString::fromLatin1(col)).isNull(), col);
        QCOMPARE(row.value(QStringLiteral("invalid1")).toInt(), 0);
        QCOMPARE(row.value(QStringLiteral("invalid2")).toInt(), 0);
        natives << row.value(QStringLiteral("native")).toString().toUtf8();
    }
    QCOMPARE(standard, 22);
    QCOMPARE(large, 17);
    // Never touched: ordered by native name in byte order.
    QVERIFY(std::is_sorted(natives.cbegin(), natives.cend()));

    Sqlite3Cursor c = db.select("select eng, native, file1, file2 from lang where id=1");
    QVERIFY(c.next());
    QCOMPARE(c.getText(0), QStringLiteral("English"));
    QCOMPARE(c.getText(1), QStringLiteral("English"));
    QCOMPARE(c.getText(2), QStringLiteral("vosk-model-small-en-us-0.15.zip"));
    QCOMPARE(c.getText(3), QStringLiteral("vosk-model-en-us-0.22.zip"));
    Sqlite3Cursor seq = db.select("select seq from sqlite_sequence where name='lang'");
    QVERIFY(seq.next());
    QCOMPARE(seq.getInt(0), 24);
}

void TestLangDb::laterOpenKeepsChanges()
{
    const QString folder = m_tmp.filePath(QStringLiteral("de-h"));
    {
        LangDb first;
        openFresh(first);
        first.touch(QStringLiteral("de-s"));
        first.setLocalPath(QStringLiteral("de-h"), folder);
    }
    LangDb second;
    openFresh(second);
    QCOMPARE(codes(second.list(QString())).first(), QStringLiteral("de"));
    QCOMPARE(second.modelPath(QStringLiteral("de-h")), folder);
    QCOMPARE(second.list(QString()).size(), 24);
}

void TestLangDb::keys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("isHigh");
    QTest::addColumn<QString>("display");

    QTest::newRow("capitals") << "EN-S" << true << "en" << false << "English(Standard Accuracy)";
    QTest::newRow("large") << "ja-h" << true << "ja" << true << QString::fromUtf8("日本語(Higher Accuracy)");
    QTest::newRow("mixed case large") << "Fr-H" << true << "fr" << true << "français(Higher Accuracy)";
    // Greek has no standard model, yet its standard key has a screen name.
    QTest::newRow("greek standard") << "gr-s" << true << "gr" << false
                                    << QString::fromUtf8("ελληνικά (ellēniká)(Standard Accuracy)");
    QTest::newRow("unknown code") << "zz-s" << true << "zz" << false << "";
    QTest::newRow("no size") << "en" << false << "" << false << "";
    QTest::newRow("other size") << "en-x" << false << "" << false << "";
    QTest::newRow("three letters") << "eng-s" << false << "" << false << "";
    QTest::newRow("trailing blank") << "en-s " << false << "" << false << "";
    QTest::newRow("leading blank") << " en-s" << false << "" << false << "";
    QTest::newRow("bar as size") << "en-|" << false << "" << false << "";
    QTest::newRow("empty") << "" << false << "" << false << "";
    QTest::newRow("parent folder") << "../x" << false << "" << false << "";
    QTest::newRow("line break") << "en-s\n" << false << "" << false << "";
}

void TestLangDb::keys()
{
    QFETCH(QString, key);
    QFETCH(bool, valid);
    QFETCH(QString, code);
    QFETCH(bool, isHigh);
    QFETCH(QString, display);

    LangDb db;
    openFresh(db);
    LangDb::setModelEndpoint(QStringLiteral("http://127.0.0.1:9/base"));

    QString gotCode = QStringLiteral("unset");
    bool gotHigh = !isHigh;
    QCOMPARE(LangDb::parseLang(key, gotCode, gotHigh), valid);
    if (valid) {
        QCOMPARE(gotCode, code);
        QCOMPARE(gotHigh, isHigh);
    }

    QCOMPARE(db.display(key), display);
    QCOMPARE(db.downloadUrl(key),
             valid ? QStringLiteral("http://127.0.0.1:9/base/vdata.php?fn=") + key : QString());

    // Touches earlier in the same second would tie with this one.
    db.run("update lang set dt=null");
    const auto before = snapshot(db);
    const QString folder = m_tmp.filePath(QStringLiteral("model-") + QString::number(qHash(key)));
    QVERIFY(QDir().mkpath(folder));
    db.setLocalPath(key, folder);
    db.touch(key);
    const bool known = valid && !display.isEmpty();
    if (known) {
        QCOMPARE(db.modelPath(key), folder);
        QVERIFY(db.isInstalled(key));
        QCOMPARE(codes(db.list(QString())).first(), code);
        // The other size of the same language is untouched.
        const QString other = code + (isHigh ? QStringLiteral("-s") : QStringLiteral("-h"));
        QVERIFY(db.modelPath(other) != folder);
    } else {
        QCOMPARE(db.modelPath(key), QString());
        QVERIFY(!db.isInstalled(key));
        QCOMPARE(snapshot(db), before);
    }
    QCOMPARE(db.lastErr(), QString());
}

void TestLangDb::bundledFolderWins()
{
    const QDir appDir(QCoreApplication::applicationDirPath());
    const QString models = QDir::cleanPath(appDir.absoluteFilePath(QStringLiteral("../models")));
    const bool hadModels = QFileInfo::exists(models);
    const QString bundled = models + QStringLiteral("/cn-h");
    QVERIFY(!QFileInfo::exists(bundled));
    QVERIFY(QDir().mkpath(bundled));
    auto cleanup = qScopeGuard([&] {
        if (hadModels)
            QDir(bundled).removeRecursively();
        else
            QDir(models).removeRecursively();
    });

    LangDb db;
    openFresh(db);
    db.setLocalPath(QStringLiteral("cn-h"), m_tmp.path());
    QCOMPARE(db.modelPath(QStringLiteral("cn-h")), bundled);
    QCOMPARE(db.modelPath(QStringLiteral("CN-H")), bundled);
    QVERIFY(db.isInstalled(QStringLiteral("cn-h")));
    // Malformed keys never name the model folder itself or anything near it.
    for (const char *key : {"", "..", "../models", "cn", "cn-|", "/cn-h"})
        QCOMPARE(db.modelPath(QString::fromLatin1(key)), QString());
    QCOMPARE(db.modelPath(QStringLiteral("cn-s")), QString());
}

void TestLangDb::installedOnlyWhileFolderExists()
{
    LangDb db;
    openFresh(db);
    const QString folder = m_tmp.filePath(QStringLiteral("it-h"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(!db.isInstalled(QStringLiteral("it-h")));
    db.setLocalPath(QStringLiteral("it-h"), folder);
    QVERIFY(db.isInstalled(QStringLiteral("it-h")));
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!db.isInstalled(QStringLiteral("it-h")));
    // The stored folder is handed out without a check that it exists.
    QCOMPARE(db.modelPath(QStringLiteral("it-h")), folder);

    // A stored folder flagged as not in use is ignored; a new installation
    // clears the flag.
    QVERIFY(QDir().mkpath(folder));
    db.run("update lang set invalid2=1 where fn='it'");
    QCOMPARE(db.modelPath(QStringLiteral("it-h")), QString());
    db.setLocalPath(QStringLiteral("it-h"), folder);
    QCOMPARE(db.modelPath(QStringLiteral("it-h")), folder);
}

void TestLangDb::touchMovesBothSizes()
{
    LangDb db;
    openFresh(db);
    db.run("update lang set dt=null");
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    db.touch(QStringLiteral("pt-h"));
    const QList<Sqlite3Row> rows = db.list(QString());
    QCOMPARE(codes(rows).first(), QStringLiteral("pt"));
    const qint64 dt = rows.first().value(QStringLiteral("dt")).toLongLong();
    QVERIFY(dt >= before && dt <= QDateTime::currentSecsSinceEpoch());
    QCOMPARE(db.display(QStringLiteral("pt-s")), QString::fromUtf8("português(Standard Accuracy)"));
}

void TestLangDb::listFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("inside eng") << "nglis" << QStringList{"en"};
    QTest::newRow("ascii case ignored") << "ENGL" << QStringList{"en"};
    QTest::newRow("native") << QString::fromUtf8("中文") << QStringList{"cn"};
    QTest::newRow("both columns, one row") << "Filipino" << QStringList{"ph"};
    QTest::newRow("cyrillic exact case") << QString::fromUtf8("Русский") << QStringList{"ru"};
    QTest::newRow("cyrillic other case") << QString::fromUtf8("русский") << QStringList{};
    QTest::newRow("nothing") << "klingon" << QStringList{};
}

void TestLangDb::listFilter()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    LangDb db;
    openFresh(db);
    QCOMPARE(codes(db.list(filter)), expected);
    // The filter is a LIKE pattern: its wildcards stay wildcards.
    QCOMPARE(db.list(QStringLiteral("%")).size(), 24);
}

void TestLangDb::defaultSaveRootUrl()
{
    LangDb db;
    const QString models = userDataDir().absoluteFilePath(QStringLiteral("models"));
    QDir(models).removeRecursively();
    QCOMPARE(db.defaultSaveRootUrl(), QUrl::fromLocalFile(models).toString());
    QVERIFY(QFileInfo(models).isDir());
}

void TestLangDb::instanceIsSingleAndOpen()
{
    LangDb *db = LangDb::instance();
    QVERIFY(db);
    QCOMPARE(LangDb::instance(), db);
    QVERIFY(db->isOpen());
    QCOMPARE(db->filePath(), langDbPath());
}

void TestLangDb::failedSeedCopy()
{
    // A file where the data folder belongs: the seed cannot be copied there.
    QTemporaryDir home;
    QVERIFY(TestUtil::writeFile(home.filePath(QStringLiteral("kalvinor_audio2text_win")), "not a folder"));
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    auto restore = qScopeGuard([&] { qputenv("XDG_DATA_HOME", saved); });

    LangDb db;
    QVERIFY(!db.open());
    QVERIFY(!db.isOpen());
    const QString err = db.lastErr();
    QVERIFY(!err.isEmpty());
    QVERIFY(db.list(QString()).isEmpty());
    QCOMPARE(db.display(QStringLiteral("en-s")), QString());
    QVERIFY(!db.isInstalled(QStringLiteral("en-s")));
    QCOMPARE(db.lastErr(), QStringLiteral("database is not open"));
}

void TestLangDb::errorsFromManyThreads()
{
    // Installer threads and the GUI thread report failures at the same time.
    LangDb db;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&db] {
            for (int i = 0; i < 200; ++i)
                db.setLocalPath(QStringLiteral("en-s"), QStringLiteral("/nowhere"));
        });
    }
    const QString message = QStringLiteral("database is not open");
    int torn = 0;
    for (int i = 0; i < 200; ++i) {
        const QString err = db.lastErr();
        torn += !err.isEmpty() && err != message;
    }
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(torn, 0);
    QCOMPARE(db.lastErr(), QStringLiteral("database is not open"));
}

QTEST_GUILESS_MAIN(TestLangDb)
#include "tst_lang_db.moc"

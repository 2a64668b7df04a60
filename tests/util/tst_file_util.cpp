#include "util/FileUtil.h"

#include "common/TestUtil.h"

#include <QTemporaryDir>
#include <QtTest>

class TestFileUtil : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestUtil::requireSandboxedHome(); }

    void escapeFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("escaped");

        QTest::newRow("plain") << "Meeting notes 2024" << "Meeting notes 2024";
        QTest::newRow("unicode") << "会议 Grüße" << "会议 Grüße";
        QTest::newRow("CON") << "CON" << "%43%4f%4e";
        QTest::newRow("con") << "con" << "%63%6f%6e";
        QTest::newRow("CLOCK$") << "CLOCK$" << "%43%4c%4f%43%4b%24";
        QTest::newRow("lpt1") << "lpt1" << "%6c%70%74%31";
        QTest::newRow("COM10 is free") << "COM10" << "COM10";
        QTest::newRow("LPT2 is free") << "LPT2" << "LPT2";
        QTest::newRow("con.txt is free") << "con.txt" << "con.txt";
        QTest::newRow("slash and colon") << "a/b:c" << "a%2fb%3ac";
        QTest::newRow("backslash") << "a\\b" << "a%5cb";
        QTest::newRow("percent") << "100%" << "100%25";
        QTest::newRow("wildcards") << "*?" << "%2a%3f";
        QTest::newRow("quotes and brackets") << "\"<x>|" << "%22%3cx%3e%7c";
        QTest::newRow("control") << "a\nb\rc\td" << "a%0ab%0dc%09d";
        QTest::newRow("NUL and other controls") << QStringLiteral("a\u0000b\u0001c\u001fd") << "a%00b%01c%1fd";
        QTest::newRow("dot dot") << ".." << "..";
    }

    void escapeFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, escaped);
        QCOMPARE(FileUtil::escapeFileName(name), escaped);
    }

    void regexReplaceWith()
    {
        const QString out = FileUtil::regexReplaceWith(QStringLiteral("a1b22c"), QRegExp(QStringLiteral("(\\d+)")),
                                                       [](const QRegExp &rx) { return QStringLiteral("<%1>").arg(rx.cap(1)); });
        QCOMPARE(out, QStringLiteral("a<1>b<22>c"));
        QCOMPARE(FileUtil::percentByte(0x3a), QStringLiteral("%3a"));
        QCOMPARE(FileUtil::percentByte(0x05), QStringLiteral("%05"));
    }

    void copyWithoutOverwrite()
    {
        QTemporaryDir tmp;
        const QString src = tmp.filePath(QStringLiteral("images"));
        QVERIFY(TestUtil::writeFile(src + "/a.jpg", "new a"));
        QVERIFY(TestUtil::writeFile(src + "/sub/b.png", "new b"));
        QVERIFY(QDir().mkpath(src + "/empty"));
        const QDir target(tmp.filePath(QStringLiteral("export/deep")));
        QVERIFY(TestUtil::writeFile(target.filePath("images/a.jpg"), "old a"));

        QString err;
        QVERIFY(FileUtil::copyPath(src, target, &err));
        QCOMPARE(TestUtil::readFile(target.filePath("images/a.jpg")), QByteArray("old a"));
        QCOMPARE(TestUtil::readFile(target.filePath("images/sub/b.png")), QByteArray("new b"));
        // An empty source folder leaves nothing behind.
        QVERIFY(!QFileInfo::exists(target.filePath("images/empty")));

        // A missing source is no failure and leaves the target folder.
        const QDir other(tmp.filePath(QStringLiteral("other")));
        QVERIFY(FileUtil::copyPath(tmp.filePath(QStringLiteral("missing")), other, &err));
        QVERIFY(other.exists());
    }

    void copyReportsFailure()
    {
        QTemporaryDir tmp;
        QVERIFY(TestUtil::writeFile(tmp.filePath("src/x.txt"), "x"));
        // A file where the target folder should be makes the copy fail.
        QVERIFY(TestUtil::writeFile(tmp.filePath("dst/src"), "blocker"));
        QString err;
        QVERIFY(!FileUtil::copyPath(tmp.filePath("src"), QDir(tmp.filePath("dst")), &err));
        QVERIFY(!err.isEmpty());
    }

    void copySkipsLinks()
    {
        QTemporaryDir tmp;
        QVERIFY(TestUtil::writeFile(tmp.filePath("outside/secret.txt"), "secret"));
        QVERIFY(TestUtil::writeFile(tmp.filePath("src/keep.txt"), "keep"));
        QVERIFY(QFile::link(tmp.filePath("outside"), tmp.filePath("src/link")));
        QVERIFY(QFile::link(tmp.filePath("outside/secret.txt"), tmp.filePath("src/file-link")));

        QVERIFY(FileUtil::copyPath(tmp.filePath("src"), QDir(tmp.filePath("dst")), nullptr));
        QVERIFY(QFileInfo::exists(tmp.filePath("dst/src/keep.txt")));
        QVERIFY(!QFileInfo::exists(tmp.filePath("dst/src/link")));
        QVERIFY(!QFileInfo::exists(tmp.filePath("dst/src/file-link")));
    }

    void copyStops()
    {
        QTemporaryDir tmp;
        for (const char *f : { "src/a", "src/b", "src/c" })
            QVERIFY(TestUtil::writeFile(tmp.filePath(f), "x"));
        int files = 0;
        QVERIFY(!FileUtil::copyPath(tmp.filePath("src"), QDir(tmp.filePath("dst")), nullptr, [&] { return ++files > 1; }));
        QCOMPARE(TestUtil::fileTree(tmp.filePath("dst/src")).size(), 1);
    }

    // An export made inside the very folder it copies.
    void copyIntoItself()
    {
        QTemporaryDir tmp;
        QVERIFY(TestUtil::writeFile(tmp.filePath("images/p.png"), "png"));
        const QDir target(tmp.filePath("images/Export/P"));
        QVERIFY(FileUtil::copyPath(tmp.filePath("images"), target, nullptr));
        QCOMPARE(TestUtil::fileTree(tmp.filePath("images")),
                 QStringList({ "Export", "Export/P", "Export/P/images", "Export/P/images/p.png", "p.png" }));
    }

    void removeLeavesLinkTargetsAlone()
    {
        QTemporaryDir tmp;
        QVERIFY(TestUtil::writeFile(tmp.filePath("outside/secret.txt"), "secret"));
        QVERIFY(TestUtil::writeFile(tmp.filePath("project/data.wav"), "wav"));
        QVERIFY(TestUtil::writeFile(tmp.filePath("project/images/p.jpg"), "jpg"));
        QVERIFY(QFile::link(tmp.filePath("outside"), tmp.filePath("project/images/link")));
        QVERIFY(QFile::link(tmp.filePath("outside/secret.txt"), tmp.filePath("project/file-link")));
        QVERIFY(QFile::link(tmp.filePath("nowhere"), tmp.filePath("project/dangling")));
        // Hidden entries go too: a file manager's notes must not keep the folder.
        QVERIFY(TestUtil::writeFile(tmp.filePath("project/.directory"), "notes"));
        QVERIFY(TestUtil::writeFile(tmp.filePath("project/images/.cache/x"), "x"));

        FileUtil::removeDirRecursively(tmp.filePath("project"));
        QVERIFY(!QFileInfo::exists(tmp.filePath("project")));
        QCOMPARE(TestUtil::readFile(tmp.filePath("outside/secret.txt")), QByteArray("secret"));

        // A link given as the folder itself goes as a link.
        QVERIFY(QFile::link(tmp.filePath("outside"), tmp.filePath("alias")));
        FileUtil::removeDirRecursively(tmp.filePath("alias"));
        QVERIFY(!QFileInfo(tmp.filePath("alias")).isSymLink());
        QVERIFY(QFileInfo::exists(tmp.filePath("outside/secret.txt")));

        FileUtil::removeDirRecursively(tmp.filePath("does-not-exist"));
    }

    void uniqueFilePath()
    {
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        QCOMPARE(FileUtil::uniqueFilePath(dir, QStringLiteral("Notes")), dir.absoluteFilePath("Notes"));
        QVERIFY(dir.mkdir("Notes"));
        QVERIFY(TestUtil::writeFile(dir.absoluteFilePath("Notes(1)"), "file"));
        QCOMPARE(FileUtil::uniqueFilePath(dir, QStringLiteral("Notes")), dir.absoluteFilePath("Notes(2)"));
        QVERIFY(TestUtil::writeFile(dir.absoluteFilePath("a%3ab"), ""));
        QCOMPARE(FileUtil::uniqueFilePath(dir, QStringLiteral("a:b")), dir.absoluteFilePath("a%3ab(1)"));
        // A dangling link still occupies its name.
        QVERIFY(QFile::link(dir.absoluteFilePath("gone"), dir.absoluteFilePath("L")));
        QCOMPARE(FileUtil::uniqueFilePath(dir, QStringLiteral("L")), dir.absoluteFilePath("L(1)"));

        // Too long for a file system once numbered and given an extension:
        // cut between whole characters.
        const QString longName = QString(66, QChar(0x957f)) + QString::fromUtf8("\U0001F4CE") + QString(20, QLatin1Char('x'));
        const QString cut = QFileInfo(FileUtil::uniqueFilePath(dir, longName)).fileName();
        QVERIFY(cut.toUtf8().size() <= 200);
        QVERIFY(longName.startsWith(cut));
        QVERIFY(dir.mkdir(cut));
        const QString second = QFileInfo(FileUtil::uniqueFilePath(dir, longName)).fileName();
        QCOMPARE(second, cut + "(1)");
        QVERIFY(TestUtil::writeFile(dir.absoluteFilePath(second + "/" + second + ".docx"), "doc"));
    }

    void uniqueFilePathLongName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fitted");
        QTest::newRow("letters") << QString(3000000, 'a') << QString(200, 'a');
        QTest::newRow("escaped") << QString(3000000, ':') << QStringLiteral("%3a").repeated(66);
        QTest::newRow("three bytes each") << QString(3000000, QChar(0x4f1a)) << QString(66, QChar(0x4f1a));
        QTest::newRow("pairs") << QString::fromUtf8("\U0001F4CE").repeated(1500000) << QString::fromUtf8("\U0001F4CE").repeated(50);
    }

    // Names of millions of characters: fitting them to the file system took
    // hours when each cut measured the whole name again.
    void uniqueFilePathLongName()
    {
        QFETCH(QString, name);
        QFETCH(QString, fitted);
        QTemporaryDir tmp;
        QCOMPARE(FileUtil::uniqueFilePath(QDir(tmp.path()), name), QDir(tmp.path()).absoluteFilePath(fitted));
    }

    void appDataDirFollowsXdg()
    {
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "/srv/data");
        QCOMPARE(FileUtil::appDataDir().absolutePath(), QStringLiteral("/srv/data"));
        qputenv("XDG_DATA_HOME", "relative/ignored");
        QCOMPARE(FileUtil::appDataDir().absolutePath(), QDir::home().absoluteFilePath(".local/share"));
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(FileUtil::appDataDir().absolutePath(), QDir::home().absoluteFilePath(".local/share"));
        qputenv("XDG_DATA_HOME", saved);
    }
};

QTEST_GUILESS_MAIN(TestFileUtil)
#include "tst_file_util.moc"

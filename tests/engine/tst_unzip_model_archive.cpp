#include "common/ArchiveWriter.h"
#include "common/TestUtil.h"
#include "engine/LangModelInstallThread.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <mutex>
#include <stdexcept>

using ArchiveWriter::Entry;

Q_DECLARE_METATYPE(QList<ArchiveWriter::Entry>)

namespace {

Entry dir(const QString &name) { return {name, Entry::Dir, {}, {}}; }
Entry file(const QString &name, const QByteArray &data = "x") { return {name, Entry::File, data, {}}; }
Entry symlink(const QString &name, const QString &target) { return {name, Entry::Symlink, {}, target}; }

}

class TestUnzipModelArchive : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    int m_n = 0;

    // A fresh folder holding an archive "a.<format>" of entries, and its
    // destination "dest" beside a sibling "outside" that nothing may touch.
    QString makeArchive(const QString &format, const QList<Entry> &entries, QString &dest)
    {
        const QString base = m_tmp.filePath(QString::number(++m_n));
        QDir().mkpath(base + QStringLiteral("/dest"));
        QDir().mkpath(base + QStringLiteral("/outside"));
        dest = base + QStringLiteral("/dest");
        const QString path = base + QStringLiteral("/a.") + format;
        QString err;
        if (!ArchiveWriter::write(path, format, entries, &err))
            qWarning() << "archive:" << err;
        return path;
    }

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QVERIFY(m_tmp.isValid());
    }

    void modelUnpacksWhole_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("zip") << "zip";
        QTest::newRow("tar.gz") << "tar.gz";
    }
    void modelUnpacksWhole()
    {
        QFETCH(QString, format);
        QString dest;
        const QString path = makeArchive(
            format, ArchiveWriter::folderEntries(ArchiveWriter::testModelDir(), QStringLiteral("vosk-model-test")), dest);
        const QString result = unzipModelArchive(path, QDir(dest), nullptr, nullptr);
        QCOMPARE(result, dest + QStringLiteral("/vosk-model-test"));

        const QStringList expected = TestUtil::fileTree(ArchiveWriter::testModelDir());
        QCOMPARE(TestUtil::fileTree(result), expected);
        for (const QString &rel : expected) {
            const QString src = ArchiveWriter::testModelDir() + QLatin1Char('/') + rel;
            if (QFileInfo(src).isFile())
                QCOMPARE(TestUtil::readFile(result + QLatin1Char('/') + rel), TestUtil::readFile(src));
        }
        QVERIFY(QFile::exists(path));
    }

    // What lands where, and which first entry becomes the result.
    void entries_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QList<Entry>>("entries");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("written");

        for (const QString format : {QStringLiteral("zip"), QStringLiteral("tar.gz")}) {
            auto row = [&](const char *name) { return &QTest::newRow(qPrintable(format + QLatin1Char(' ') + QLatin1String(name))); };
            *row("dot-slash prefix") << format << QList<Entry>{dir("./m/"), file("./m/README", "hi")} << "m"
                                     << QStringList{"m", "m/README"};
            *row("colon and asterisk dropped") << format << QList<Entry>{dir("m/"), file("m/a:b*c"), file("m/q?\"<>|")} << "m"
                                               << QStringList{"m", "m/abc", "m/q"};
            // Nothing lands beside the model's own folder in the folder the
            // user chose (the home folder, say).
            *row("only the first entry's folder") << format
                                                  << QList<Entry>{dir("first/"), dir("second/"), file("second/f"),
                                                                  file(".bashrc"), file(".ssh/authorized_keys"),
                                                                  file("first/ok")}
                                                  << "first" << QStringList{"first", "first/ok"};
            *row("first entry a file") << format << QList<Entry>{file("README"), dir("m/")} << "README"
                                       << QStringList{"README"};
            *row("file before its folder") << format << QList<Entry>{file("m/sub/f")} << "m/sub/f"
                                           << QStringList{"m", "m/sub", "m/sub/f"};
            *row("empty names skipped") << format << QList<Entry>{file("*?"), dir("m/")} << "m" << QStringList{"m"};
            *row("no entries") << format << QList<Entry>{} << "" << QStringList{};
        }
    }
    void entries()
    {
        QFETCH(QString, format);
        QFETCH(QList<Entry>, entries);
        QFETCH(QString, result);
        QFETCH(QStringList, written);

        QString dest;
        const QString path = makeArchive(format, entries, dest);
        QCOMPARE(unzipModelArchive(path, QDir(dest), nullptr, nullptr),
                 result.isEmpty() ? QString() : dest + QLatin1Char('/') + result);
        QCOMPARE(TestUtil::fileTree(dest), written);
    }

    // Nothing may be written outside the destination, and no link created.
    void hostileEntries_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QList<Entry>>("entries");
        QTest::addColumn<QStringList>("written");

        for (const QString format : {QStringLiteral("zip"), QStringLiteral("tar.gz")}) {
            auto row = [&](const char *name) { return &QTest::newRow(qPrintable(format + QLatin1Char(' ') + QLatin1String(name))); };
            *row("parent steps") << format
                                 << QList<Entry>{dir("m/"), file("../outside/evil"), file("m/../../outside/evil2"),
                                                 dir("../outside/d/"), file("m/ok")}
                                 << QStringList{"m", "m/ok"};
            *row("absolute names") << format
                                   << QList<Entry>{dir("m/"), file(m_tmp.filePath("abs-evil")),
                                                   file(QStringLiteral("C:\\evil")), file(QStringLiteral("\\evil"))}
                                   << QStringList{"m"};
            *row("steps made by cleaning") << format
                                           << QList<Entry>{dir("m/"), file("..:/outside/evil"), file(".:./outside/evil"),
                                                           file(":/evil")}
                                           << QStringList{"m"};
            *row("symbolic links") << format
                                   << QList<Entry>{dir("m/"), symlink("m/link", "../../outside"), file("m/link/evil"),
                                                   symlink("m/etc", "/etc")}
                                   << QStringList{"m", "m/link", "m/link/evil"};
            *row("dot entry") << format << QList<Entry>{dir("."), dir("m/")} << QStringList{"m"};
        }
    }
    void hostileEntries()
    {
        QFETCH(QString, format);
        QFETCH(QList<Entry>, entries);
        QFETCH(QStringList, written);

        QString dest;
        const QString path = makeArchive(format, entries, dest);
        const QString outside = QFileInfo(dest).path() + QStringLiteral("/outside");
        QCOMPARE(unzipModelArchive(path, QDir(dest), nullptr, nullptr), dest + QStringLiteral("/m"));
        QCOMPARE(TestUtil::fileTree(dest), written);
        QCOMPARE(TestUtil::fileTree(outside), QStringList());
        QVERIFY(!QFile::exists(m_tmp.filePath("abs-evil")));
        // A link entry never becomes a link, and a later file under its name
        // lands in a real folder inside.
        for (const QString &rel : written)
            QVERIFY2(!QFileInfo(dest + QLatin1Char('/') + rel).isSymLink(), qPrintable(rel));
    }

    // A hard link is a copy of a file unpacked before it; any other fails
    // the whole archive, which leaves nothing behind.
    void hardLinks_data()
    {
        QTest::addColumn<QList<Entry>>("entries");
        QTest::addColumn<QStringList>("written");
        auto link = [](const QString &name, const QString &target) { return Entry{name, Entry::Hardlink, {}, target}; };
        QTest::newRow("to an earlier file") << QList<Entry>{dir("m/"), file("m/a", "data"), link("m/b", "m/a")}
                                            << QStringList{"m", "m/a", "m/b"};
        QTest::newRow("to a later file") << QList<Entry>{dir("m/"), link("m/b", "m/a"), file("m/a")} << QStringList();
        QTest::newRow("to itself") << QList<Entry>{dir("m/"), file("m/a"), link("m/a", "m/a")} << QStringList();
        QTest::newRow("to a folder") << QList<Entry>{dir("m/"), dir("m/d/"), link("m/b", "m/d")} << QStringList();
        QTest::newRow("outside") << QList<Entry>{dir("m/"), link("m/b", "../outside/x")} << QStringList();
        QTest::newRow("to a skipped entry") << QList<Entry>{dir("m/"), file("other/x"), link("m/b", "other/x")}
                                            << QStringList();
    }
    void hardLinks()
    {
        QFETCH(QList<Entry>, entries);
        QFETCH(QStringList, written);
        QString dest;
        const QString path = makeArchive(QStringLiteral("tar"), entries, dest);
        QCOMPARE(unzipModelArchive(path, QDir(dest), nullptr, nullptr),
                 written.isEmpty() ? QString() : dest + QStringLiteral("/m"));
        QCOMPARE(TestUtil::fileTree(dest), written);
        if (!written.isEmpty()) {
            QCOMPARE(TestUtil::readFile(dest + QStringLiteral("/m/b")), QByteArray("data"));
            QVERIFY(QFileInfo(dest + QStringLiteral("/m/b")).isFile());
        }
    }

    void linkAlreadyInDestinationIsNotFollowed()
    {
        QString dest;
        const QString path = makeArchive(QStringLiteral("tar.gz"), {dir("m/"), file("m/evil"), file("out/evil")}, dest);
        const QString outside = QFileInfo(dest).path() + QStringLiteral("/outside");
        QVERIFY(QFile::link(outside, dest + QStringLiteral("/m")));
        QVERIFY(QFile::link(outside + QStringLiteral("/target"), dest + QStringLiteral("/out")));
        unzipModelArchive(path, QDir(dest), nullptr, nullptr);
        QCOMPARE(TestUtil::fileTree(outside), QStringList());
    }

    // A damaged archive must not pass for a complete model.
    void damagedArchives_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("cut");
        QTest::newRow("garbage") << "" << 0;
        QTest::newRow("empty file") << "" << -1;
        QTest::newRow("zip cut short") << "zip" << 300;
        QTest::newRow("tar.gz cut short") << "tar.gz" << 300;
    }
    void damagedArchives()
    {
        QFETCH(QString, format);
        QFETCH(int, cut);

        QString dest;
        QByteArray big(200000, '\0');
        for (int i = 0; i < big.size(); ++i)
            big[i] = char((i * 7919) >> 3);
        const QString path = makeArchive(format.isEmpty() ? QStringLiteral("zip") : format,
                                         {dir("m/"), file("m/big", big), file("m/z", "z")}, dest);
        QByteArray bytes = TestUtil::readFile(path);
        if (format.isEmpty())
            bytes = cut < 0 ? QByteArray() : QByteArray("this is no archive at all, just some text\n").repeated(50);
        else
            bytes.truncate(bytes.size() - cut);
        QVERIFY(TestUtil::writeFile(path, bytes));

        QCOMPARE(unzipModelArchive(path, QDir(dest), nullptr, nullptr), QString());
        // What had been unpacked before the damage is gone again.
        QCOMPARE(TestUtil::fileTree(dest), QStringList());
    }

    void archiveInDestinationIsNotWrittenOver()
    {
        QString dest;
        const QString made = makeArchive(QStringLiteral("zip"), {file("a.zip", "over")}, dest);
        const QString inside = dest + QStringLiteral("/a.zip");
        QVERIFY(QFile::rename(made, inside));
        const QByteArray before = TestUtil::readFile(inside);
        QCOMPARE(unzipModelArchive(inside, QDir(dest), nullptr, nullptr), QString());
        QCOMPARE(TestUtil::readFile(inside), before);
    }

    void missingArchiveHasNoEntries()
    {
        QCOMPARE(unzipModelArchive(m_tmp.filePath("nothing.zip"), QDir(m_tmp.path()), nullptr, nullptr), QString());
    }

    void unwritableEntryThrows()
    {
        QString dest;
        const QString path = makeArchive(QStringLiteral("zip"), {dir("m/"), file("m/f")}, dest);
        // A folder where the file should go cannot be opened for writing.
        QVERIFY(QDir().mkpath(dest + QStringLiteral("/m/f")));
        QString err;
        try {
            unzipModelArchive(path, QDir(dest), nullptr, nullptr);
        } catch (const std::runtime_error &e) {
            err = QString::fromUtf8(e.what());
        }
        QVERIFY2(err.startsWith(QStringLiteral("create %1/m/f error. ").arg(dest)), qPrintable(err));
    }

    void stopRequestEndsExtraction()
    {
        QString dest;
        const QString path = makeArchive(QStringLiteral("zip"), {dir("m/"), file("m/a"), file("m/b")}, dest);
        // Handed over under a lock that race checkers can see.
        std::mutex m;
        QString err;
        QThread *t = QThread::create([&] {
            QThread::currentThread()->requestInterruption();
            try {
                unzipModelArchive(path, QDir(dest), nullptr, nullptr);
            } catch (const std::runtime_error &e) {
                std::lock_guard<std::mutex> lock(m);
                err = QString::fromUtf8(e.what());
            }
        });
        t->start();
        QVERIFY(t->wait(10000));
        delete t;
        std::lock_guard<std::mutex> lock(m);
        QCOMPARE(err, QStringLiteral("canceled."));
        QVERIFY(!QFile::exists(dest + QStringLiteral("/m/b")));
    }
};

QTEST_GUILESS_MAIN(TestUnzipModelArchive)
#include "tst_unzip_model_archive.moc"

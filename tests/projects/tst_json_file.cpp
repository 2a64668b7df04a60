#include "common/TestUtil.h"
#include "projects/JsonFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

// A child started with this variable rewrites the file at its path for ever,
// alternating two contents, until it is killed.
static const char *kWriterEnv = "KALVINOR_JSON_WRITER";

static QVariantMap smallMap()
{
    return { { "name", "old" }, { "convert_cur", 1 } };
}

static QVariantMap largeMap()
{
    QVariantMap m;
    for (int i = 0; i < 2000; ++i)
        m.insert(QStringLiteral("key%1").arg(i, 4, 10, QLatin1Char('0')), QString(64, QLatin1Char('x')));
    return m;
}

static QByteArray bytesOf(const QVariantMap &m)
{
    return QJsonDocument(QJsonObject::fromVariantMap(m)).toJson(QJsonDocument::Indented);
}

class TestJsonFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestUtil::requireSandboxedHome(); }

    void roundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest");
        QVariantMap m { { "name", "Café/1" }, { "lang", "en-s" }, { "srate", 0.25 },
                        { "created", qint64(1700000000123) }, { "convert", "" } };
        QVERIFY(writeJsonFile(path, m));
        const QVariantMap back = readJsonFile(path);
        QCOMPARE(back.keys(), m.keys());
        QCOMPARE(back.value("name").toString(), QStringLiteral("Café/1"));
        QCOMPARE(back.value("srate").toDouble(), 0.25);
        QCOMPARE(back.value("created").toLongLong(), qint64(1700000000123));
        QCOMPARE(back.value("convert").toString(), QString());
    }

    void writesIndentedJson()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest");
        QVERIFY(writeJsonFile(path, { { "b", 2 }, { "a", "x" } }));
        QCOMPARE(TestUtil::readFile(path), QByteArray("{\n    \"a\": \"x\",\n    \"b\": 2\n}\n"));
        // Rewriting replaces the whole content, never leaves a longer tail.
        QVERIFY(writeJsonFile(path, { { "a", 1 } }));
        QCOMPARE(TestUtil::readFile(path), QByteArray("{\n    \"a\": 1\n}\n"));
    }

    void unreadableGivesEmpty_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("array") << QByteArray("[1, 2]") << true;
        QTest::newRow("garbage") << QByteArray("name: x") << true;
        QTest::newRow("truncated") << QByteArray("{\"name\": \"x\"") << true;
    }

    void unreadableGivesEmpty()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest");
        if (exists)
            QVERIFY(TestUtil::writeFile(path, content));
        QVERIFY(readJsonFile(path).isEmpty());
    }

    void writeFailsWithoutFolder()
    {
        QTemporaryDir dir;
        QVERIFY(!writeJsonFile(dir.filePath("missing/manifest"), smallMap()));
        QVERIFY(!QFile::exists(dir.filePath("missing/manifest")));
    }

    // A folder that takes no new file still lets a writable manifest be
    // rewritten in place; a manifest that cannot be written is reported.
    void lockedFolder_data()
    {
        QTest::addColumn<bool>("fileWritable");
        QTest::newRow("file writable") << true;
        QTest::newRow("file read-only") << false;
    }
    void lockedFolder()
    {
        QFETCH(bool, fileWritable);
        QTemporaryDir dir;
        const QString folder = dir.filePath("project");
        const QString path = folder + "/manifest";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeJsonFile(path, smallMap()));
        const auto rx = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
        QVERIFY(QFile::setPermissions(folder, rx));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner
                                                 | (fileWritable ? QFileDevice::WriteOwner : QFileDevice::Permissions())));
        bool written;
        {
            const TestUtil::WithoutRootRights ordinary;
            written = writeJsonFile(path, largeMap());
        }
        QFile::setPermissions(folder, rx | QFileDevice::WriteOwner);
        QCOMPARE(written, fileWritable);
        QCOMPARE(TestUtil::readFile(path), bytesOf(fileWritable ? largeMap() : smallMap()));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"manifest"});
    }

    // A process killed while it writes leaves either the old or the new
    // content, never an empty or half-written file.
    void killedWriterLeavesWholeFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("manifest");
        const QByteArray a = bytesOf(smallMap());
        const QByteArray b = bytesOf(largeMap());
        QVERIFY(writeJsonFile(path, smallMap()));

        for (int round = 0; round < 25; ++round) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(kWriterEnv, path);
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), QStringList());
            QVERIFY(child.waitForReadyRead(10000)); // the child prints once it writes
            // A random moment inside the write loop.
            QThread::usleep(QRandomGenerator::global()->bounded(200, 20000));
            child.kill();
            QVERIFY(child.waitForFinished(10000));

            const QByteArray now = TestUtil::readFile(path);
            QVERIFY2(now == a || now == b, qPrintable(QStringLiteral("round %1: %2 bytes").arg(round).arg(now.size())));
        }
    }
};

static int writerLoop(const QString &path)
{
    const QVariantMap maps[2] = { smallMap(), largeMap() };
    for (unsigned i = 0;; ++i) {
        if (!writeJsonFile(path, maps[i % 2]))
            return 1;
        if (i == 0) {
            std::fputs("writing\n", stdout);
            std::fflush(stdout);
        }
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kWriterEnv))
        return writerLoop(qEnvironmentVariable(kWriterEnv));
    TestJsonFile t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_json_file.moc"

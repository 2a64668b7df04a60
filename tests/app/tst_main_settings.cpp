#include "app/MainSettings.h"
#include "common/TestUtil.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

// Settings are read once per process, so every case runs in a fresh child:
// the child gets the operation through this variable and prints what get
// returned.
static const char *kChildEnv = "KALVINOR_SETTINGS_CHILD";

class TestMainSettings : public QObject
{
    Q_OBJECT

    // Runs ops ("put:k=v" or "get:k", separated by ";") in a child process and
    // returns its output lines.
    static QStringList runChild(const QString &ops)
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildEnv, ops);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        if (!child.waitForFinished(20000) || child.exitCode() != 0)
            return { QStringLiteral("child failed") };
        return QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() { TestUtil::requireSandboxedHome(); }
    void init() { QFile::remove(MainSettings::filePath()); }

    void putKeepsOtherKeys()
    {
        QVERIFY(TestUtil::writeFile(MainSettings::filePath(), "{\"lang\": \"de-s\", \"other\": 3}"));
        QCOMPARE(runChild("put:lang=fr-h;get:other"), QStringList({ "3" }));
        const QJsonObject o = QJsonDocument::fromJson(TestUtil::readFile(MainSettings::filePath())).object();
        QCOMPARE(o.keys(), QStringList({ "lang", "other" }));
        QCOMPARE(o.value("lang").toString(), QStringLiteral("fr-h"));
        QCOMPARE(o.value("other").toInt(), 3);
        // Indented, as Qt writes it.
        QVERIFY(TestUtil::readFile(MainSettings::filePath()).contains("\n    \"lang\": \"fr-h\""));
    }

    void unusableFileIsEmpty_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("array") << QByteArray("[\"lang\", \"de-s\"]") << true;
        QTest::newRow("garbage") << QByteArray("lang=de-s") << true;
    }

    void unusableFileIsEmpty()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        if (exists)
            QVERIFY(TestUtil::writeFile(MainSettings::filePath(), content));
        QCOMPARE(runChild("get:lang;put:x=1;get:x"), QStringList({ "<invalid>", "1" }));
        const QJsonObject o = QJsonDocument::fromJson(TestUtil::readFile(MainSettings::filePath())).object();
        QCOMPARE(o.keys(), QStringList({ "x" }));
    }

    // Read once: a change on disk after the first read is not seen, and the
    // next put writes the memory's view back.
    void readOncePerProcess()
    {
        QVERIFY(TestUtil::writeFile(MainSettings::filePath(), "{\"a\": \"1\"}"));
        QCOMPARE(runChild("get:a;rewrite;get:a;get:b"), QStringList({ "1", "1", "<invalid>" }));
    }
};

static int child(const QString &ops)
{
    MainSettings s;
    for (const QString &op : ops.split(';')) {
        if (op.startsWith("put:")) {
            const QStringList kv = op.mid(4).split('=');
            s.put(kv[0], kv[1]);
        } else if (op.startsWith("get:")) {
            const QVariant v = s.get(op.mid(4));
            std::printf("%s\n", v.isValid() ? qPrintable(v.toString()) : "<invalid>");
        } else if (op == "rewrite") {
            TestUtil::writeFile(MainSettings::filePath(), "{\"a\": \"2\", \"b\": \"3\"}");
        }
    }
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kChildEnv))
        return child(qEnvironmentVariable(kChildEnv));
    TestMainSettings t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_main_settings.moc"

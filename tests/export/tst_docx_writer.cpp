// The Word package writer: the package's parts and their order, paragraphs
// and their runs, saving over and failing to save.

#include "common/DocxReader.h"
#include "common/TestUtil.h"
#include "export/DocxWriter.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList kEntries {
    "docProps/core.xml", "_rels/.rels", "docProps/app.xml", "word/_rels/document.xml.rels", "word/theme/theme1.xml",
    "word/fontTable.xml", "word/settings.xml", "word/styles.xml", "word/webSettings.xml", "[Content_Types].xml",
    "word/document.xml",
};

}

class TestDocxWriter : public QObject
{
    Q_OBJECT

private slots:
    void paragraphs_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<QStringList>>("runs");
        using R = QList<QStringList>;
        QTest::newRow("none") << QStringList() << R();
        QTest::newRow("crlf") << QStringList { "one\r\ntwo" } << R { { "t:one", "cr", "t:two" } };
        QTest::newRow("lone cr stays in the text") << QStringList { "one\rtwo" } << R { { "t:one\ntwo" } };
        QTest::newRow("trailing lf") << QStringList { "one\n" } << R { { "t:one", "cr", "t:" } };
        QTest::newRow("empty line") << QStringList { "a\n\nb" } << R { { "t:a", "cr", "t:", "cr", "t:b" } };
        QTest::newRow("markup is text") << QStringList { "<b>&amp; \"x\" 'y'</b>" }
                                        << R { { "t:<b>&amp; \"x\" 'y'</b>" } };
        QTest::newRow("controls dropped") << QStringList { QString("a\x01" "b\x1f" "c\td") } << R { { "t:ab c\td" } };
        QTest::newRow("several, non-ASCII") << QStringList { "Grüße", "", "会议 \u263a" }
                                            << R { { "t:Grüße" }, { "t:" }, { "t:会议 \u263a" } };
    }

    void paragraphs()
    {
        QFETCH(QStringList, texts);
        QFETCH(QList<QStringList>, runs);
        QTemporaryDir dir;
        const QString path = dir.filePath("out.docx");
        const QString before = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        {
            DocxWriter w;
            for (const QString &t : texts)
                w.appendParagraph(t);
            w.appendSectPr();
            QVERIFY(w.save(path));
        }
        const TestUtil::DocxPackage pkg = TestUtil::readDocx(path);
        QVERIFY2(pkg.err.isEmpty(), qPrintable(pkg.err));
        QCOMPARE(pkg.entries, kEntries);
        QCOMPARE(pkg.dates, QVector<QString>(kEntries.size(), "19800101.000000").toList());
        for (const QString &name : kEntries)
            QVERIFY2(TestUtil::xmlError(pkg.parts.value(name)).isEmpty(),
                     qPrintable(name + ": " + TestUtil::xmlError(pkg.parts.value(name))));

        QCOMPARE(pkg.paragraphs, runs);
        QCOMPARE(pkg.bodyChildren.size(), runs.size() + 1);
        QCOMPARE(pkg.bodyChildren.last(), QString("sectPr"));

        const QString core = QString::fromUtf8(pkg.parts.value("docProps/core.xml"));
        const QRegularExpression stamp("<dcterms:(created|modified) xsi:type=\"dcterms:W3CDTF\">([^<]*)<");
        QRegularExpressionMatchIterator it = stamp.globalMatch(core);
        QStringList stamps;
        while (it.hasNext())
            stamps << it.next().captured(2);
        QCOMPARE(stamps.size(), 2);
        QCOMPARE(stamps.at(0), stamps.at(1));
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(stamps.at(0)).hasMatch());
        QVERIFY2(stamps.at(0) >= before && stamps.at(0) <= QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                 qPrintable(stamps.at(0)));
    }

    // Every part the package names is in it, and every part has a content type.
    void templateConsistent()
    {
        QTemporaryDir dir;
        DocxWriter w;
        w.appendSectPr();
        QVERIFY(w.save(dir.filePath("t.docx")));
        const TestUtil::DocxPackage pkg = TestUtil::readDocx(dir.filePath("t.docx"));
        QVERIFY2(pkg.err.isEmpty(), qPrintable(pkg.err));
        const QString types = QString::fromUtf8(pkg.parts.value("[Content_Types].xml"));
        const QString rels = QString::fromUtf8(pkg.parts.value("_rels/.rels"));
        const QString docRels = QString::fromUtf8(pkg.parts.value("word/_rels/document.xml.rels"));
        for (const QString &name : kEntries) {
            if (name.endsWith(".rels") || name == "[Content_Types].xml")
                continue;
            QVERIFY2(types.contains(QString("PartName=\"/%1\"").arg(name)), qPrintable(name));
            const QString target = QString("Target=\"%1\"");
            QVERIFY2(rels.contains(target.arg(name)) || docRels.contains(target.arg(name.mid(5))), qPrintable(name));
        }
        // The section's revision id is one the settings list.
        QVERIFY(pkg.parts.value("word/settings.xml").contains("<w:rsid w:val=\"00B50790\"/>"));
        QVERIFY(pkg.parts.value("word/document.xml").contains("w:rsidR=\"00B50790\""));
    }

    void save_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("ok");
        QTest::newRow("over an existing file") << "a.docx" << "existing" << true;
        QTest::newRow("non-ASCII name") << "Gespräch 会议.docx" << "" << true;
        QTest::newRow("folder missing") << "missing/a.docx" << "" << false;
        // Root ignores permission bits; a regular file where the folder
        // should be makes the path unwritable for anyone.
        QTest::newRow("under a regular file") << "file/a.docx" << "blocker" << false;
        QTest::newRow("disk full at the central directory") << "a.docx" << "full" << false;
        QTest::newRow("disk full in an entry") << "a.docx" << "full early" << false;
    }

    void save()
    {
        QFETCH(QString, name);
        QFETCH(QString, setup);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        const auto fill = [](DocxWriter &w) {
            for (int i = 0; i < 200; ++i)
                w.appendParagraph(QStringLiteral("Paragraph %1 with some words that vary %2").arg(i).arg(i * 7919));
            w.appendSectPr();
        };
        DocxWriter w;
        fill(w);

        bool saved = false;
        if (setup == "existing") {
            QVERIFY(TestUtil::writeFile(path, QByteArray(100000, 'x')));
        } else if (setup == "blocker") {
            QVERIFY(TestUtil::writeFile(dir.filePath("file"), "x"));
        } else if (setup.startsWith("full")) {
            DocxWriter probe;
            fill(probe);
            QVERIFY(probe.save(dir.filePath("probe.docx")));
            const qint64 size = QFileInfo(dir.filePath("probe.docx")).size();
            // The central directory of eleven entries takes several hundred
            // bytes at the end; half of the size cuts into the entries.
            const TestUtil::FileSizeLimit limit(setup == "full" ? size - 40 : size / 2);
            saved = w.save(path);
        }
        if (!setup.startsWith("full"))
            saved = w.save(path);

        QCOMPARE(saved, ok);
        QCOMPARE(QFileInfo::exists(path), ok);
        if (ok) {
            QVERIFY(QDir(dir.path()).entryList(QDir::Files).contains(name));
            const TestUtil::DocxPackage pkg = TestUtil::readDocx(path);
            QVERIFY2(pkg.err.isEmpty(), qPrintable(pkg.err));
            QCOMPARE(pkg.paragraphs.size(), 200);
        }
    }
};

QTEST_GUILESS_MAIN(TestDocxWriter)
#include "tst_docx_writer.moc"

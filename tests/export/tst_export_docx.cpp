// The Word exporter: the paragraphs of both documents for each choice of
// options, progress, cancel, its failures, and its place in the export batch.

#include "common/DocxReader.h"
#include "common/ExportSample.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "export/ExportDocx.h"
#include "export/ExportHandlingItemModel.h"
#include "projects/JsonFile.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

using TestUtil::ProjectFixture;

class TestExportDocx : public QObject
{
    Q_OBJECT

    std::unique_ptr<ProjectFixture> fx;
    TestUtil::ExportSample sample;
    QTemporaryDir out;

    // Runs one exporter to its end; false unless finished() comes once. The
    // signals come from the worker and are taken here queued, as the batch does.
    bool run(ExportDocx &ex, QList<int> *progress = nullptr)
    {
        QObject context;
        QEventLoop loop;
        int finished = 0;
        connect(&ex, &IExportHandling::progress, &context, [progress](int v) {
            if (progress)
                *progress << v;
        });
        connect(&ex, &IExportHandling::finished, &context, [&] {
            ++finished;
            loop.quit();
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        ex.start();
        loop.exec();
        ex.stop();
        QCoreApplication::processEvents();
        return finished == 1;
    }

    // Each segment and each comment item as the text export lays it out.
    QStringList mainParagraphs(bool withTime, bool withSpeaker) const
    {
        QStringList p;
        for (int i = 0; i < sample.texts.size(); ++i) {
            if (withTime)
                p << sample.times.at(i);
            if (withSpeaker)
                p << sample.speakers.at(i) + ":";
            p << sample.texts.at(i) + "\n";
        }
        return p;
    }
    QStringList highlightParagraphs() const
    {
        QStringList p;
        for (int i = 0; i < sample.items.size(); ++i) {
            p << QString("[%1]").arg(i + 1) << sample.items.at(i);
            if (!sample.replies.at(i).isEmpty())
                p << "[Replies]" << sample.replies.at(i);
            p << "";
        }
        return p;
    }

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        fx = std::make_unique<ProjectFixture>();
        QString err;
        QVERIFY2(fx->open(err), qPrintable(err));
        QVERIFY2(TestUtil::storeExportSample(*fx, sample, err), qPrintable(err));
    }

    void documents_data()
    {
        QTest::addColumn<bool>("withTime");
        QTest::addColumn<bool>("withSpeaker");
        QTest::addColumn<bool>("withHLCMMT");
        QTest::addColumn<bool>("canceled");
        QTest::addColumn<QList<int>>("progress");
        QTest::newRow("text only") << false << false << false << false << QList<int> { 50, 100 };
        QTest::newRow("time and speaker") << true << true << false << false << QList<int> { 50, 100 };
        QTest::newRow("highlights") << true << false << true << false << QList<int> { 25, 50, 75, 100 };
        QTest::newRow("canceled first") << true << true << true << true << QList<int>();
    }

    void documents()
    {
        QFETCH(bool, withTime);
        QFETCH(bool, withSpeaker);
        QFETCH(bool, withHLCMMT);
        QFETCH(bool, canceled);
        QFETCH(QList<int>, progress);
        ExportHandlingItemModel batch;
        batch.setWithTime(withTime);
        batch.setWithSpeaker(withSpeaker);
        batch.setWithHLCMMT(withHLCMMT);
        if (canceled)
            batch.cancel();
        const QDir dir(out.filePath(QTest::currentDataTag()));
        QVERIFY(dir.mkpath("."));
        auto *ex = new ExportDocx(dir, fx->folder(), &batch);
        QList<int> got;
        QVERIFY(run(*ex, &got));
        QVERIFY2(!ex->hasErr, qPrintable(ex->err));
        QCOMPARE(got, progress);

        const TestUtil::DocxPackage main = TestUtil::readDocx(dir.filePath(dir.dirName() + ".docx"));
        QVERIFY2(main.err.isEmpty(), qPrintable(main.err));
        QCOMPARE(main.texts(), canceled ? QStringList() : mainParagraphs(withTime, withSpeaker));
        QCOMPARE(main.bodyChildren.last(), QString("sectPr"));

        const QString hlPath = dir.filePath("Highlights_and_Comments.docx");
        QCOMPARE(QFileInfo::exists(hlPath), withHLCMMT);
        if (withHLCMMT) {
            const TestUtil::DocxPackage hl = TestUtil::readDocx(hlPath);
            QVERIFY2(hl.err.isEmpty(), qPrintable(hl.err));
            QCOMPARE(hl.texts(), canceled ? QStringList() : highlightParagraphs());
        }
    }

    void failures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("outSub");
        QTest::addColumn<QString>("err");
        QTest::addColumn<bool>("mainWritten");
        QTest::newRow("no database") << "no data" << "p" << "{project}/data not exists." << false;
        // Root ignores permission bits: a regular file where a folder should be.
        QTest::newRow("folder unwritable") << "blocker" << "blocker/p" << "Write {tmp}/blocker/p/p.docx failed." << false;
        QTest::newRow("highlights unwritable") << "highlights taken" << "p" << "Write {tmp}/p/Highlights_and_Comments.docx failed."
                                               << true;
    }

    void failures()
    {
        QFETCH(QString, setup);
        QFETCH(QString, outSub);
        QFETCH(QString, err);
        QFETCH(bool, mainWritten);
        QTemporaryDir tmp;
        QString projectDir = fx->folder();
        if (setup == "no data") {
            projectDir = tmp.filePath("project");
            QVERIFY(QDir().mkpath(projectDir));
        } else if (setup == "blocker") {
            QVERIFY(TestUtil::writeFile(tmp.filePath("blocker"), "x"));
        } else {
            QVERIFY(QDir().mkpath(tmp.filePath("p/Highlights_and_Comments.docx")));
        }
        QDir().mkpath(tmp.filePath(outSub));

        ExportHandlingItemModel batch;
        batch.setWithHLCMMT(true);
        auto *ex = new ExportDocx(QDir(tmp.filePath(outSub)), projectDir, &batch);
        QVERIFY(run(*ex));
        QVERIFY(ex->hasErr);
        QCOMPARE(ex->err, err.replace("{project}", projectDir).replace("{tmp}", tmp.path()));
        // An export never creates a database in the project.
        QCOMPARE(QFileInfo::exists(QDir(projectDir).filePath("data")), setup != "no data");
        QCOMPARE(QFileInfo::exists(tmp.filePath(outSub + "/p.docx")), mainWritten);
    }

    // Through the batch: the type is offered and chosen, and a project named
    // like the highlights document keeps both documents apart.
    void batch()
    {
        QVERIFY(ExportHandlingItemModel::exportTypes().contains("Doc Files(*.docx)"));
        const QString manifestPath = QDir(fx->folder()).filePath("manifest");
        QVariantMap manifest = readJsonFile(manifestPath);
        manifest["name"] = "Highlights_and_Comments";
        QVERIFY(writeJsonFile(manifestPath, manifest));

        QTemporaryDir root;
        ExportHandlingItemModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.setProjectUrls({ fx->url() });
        m.setSaveRootUrl(QUrl::fromLocalFile(root.path()).toString());
        m.setExportType("DOC FILES(*.DOCX)");
        m.setWithHLCMMT(true);
        m.init();
        QTRY_VERIFY_WITH_TIMEOUT(m.totalFinished(), 30000);
        const QVariantMap row = m.data(m.index(0, 0), BatchHandlingItemModel::DRole).toMap();
        QCOMPARE(row.value("status").toInt(), 1);

        const QDir exportDir(QUrl(m.exportDirUrl()).toLocalFile());
        const QStringList docs = QDir(exportDir.filePath("Highlights_and_Comments(1)")).entryList(QDir::Files, QDir::Name);
        QCOMPARE(docs, QStringList({ "Highlights_and_Comments(1).docx", "Highlights_and_Comments.docx" }));
        const TestUtil::DocxPackage main = TestUtil::readDocx(exportDir.filePath("Highlights_and_Comments(1)/" + docs.at(0)));
        QCOMPARE(main.texts(), mainParagraphs(false, false));
    }
};

QTEST_MAIN(TestExportDocx)
#include "tst_export_docx.moc"

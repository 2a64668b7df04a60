// The PDF export of a real project through the export batch model, read
// back with poppler's pdftotext.

#include "common/ProjectDbAccess.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "export/ExportHandlingItemModel.h"
#include "export/ExportPdf.h"
#include "projects/JsonFile.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

QString pdfText(const QString &pdf)
{
    return TestUtil::run("pdftotext", { pdf, "-" }).simplified();
}

// finished() may come from the loader thread, even before start() returns;
// count it in this one.
bool startAndWait(IExportHandling *e)
{
    int n = 0;
    QEventLoop loop;
    QObject::connect(e, &IExportHandling::finished, &loop, [&] { ++n; loop.quit(); }, Qt::QueuedConnection);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    e->start();
    loop.exec();
    return n == 1;
}

// A project of n segments, outside the list of projects.
bool makeProject(const QString &dir, int n)
{
    return QDir().mkpath(dir) && writeJsonFile(dir + "/manifest", { { "name", "Large" } })
        && TestUtil::addSegments(dir + "/data", n,
                                 "i, i + 1, 'segment number ' || i || ' of the large project', '[]', 1 + i % 3, 0, 2");
}

QVariantMap row(const ExportHandlingItemModel &model, int i)
{
    return model.data(model.index(i, 0), BatchHandlingItemModel::DRole).toMap();
}

}

class TestExportPdf : public QObject
{
    Q_OBJECT

public:
    // Qt's own event dispatcher wakes a busy thread only once for several
    // posted events; what only a later wake-up would have ordered is then
    // seen by the thread checker as it is: unordered.
    static void initMain() { qputenv("QT_NO_GLIB", "1"); }

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QString err;
        QVERIFY2(m_project.open(err), qPrintable(err));
        m_project.addSeg("first words", 1.5f, 1);
        const qint64 seg = m_project.addSeg("second <b>words</b>", 62.25f, 2, 0, 1);
        const QVariantMap hl = m_project.db().addCItem(seg, "quoted words", 1);
        QVERIFY(m_project.db().addComment(hl.value("id").toLongLong(), "a reply to it"));
        m_project.db().addCItem(seg, "a remark", 2);
        QVERIFY(makeProject(m_large.path(), 300));
    }

    void exportProject_data()
    {
        QTest::addColumn<bool>("withTime");
        QTest::addColumn<bool>("withSpeaker");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << false << false << "first words second words 1";
        QTest::newRow("times") << true << false << "00:00:01,500 first words 00:01:02,250 second words 1";
        QTest::newRow("speakers") << false << true << "Speaker 1 first words Speaker 2 second words 1";
    }

    void exportProject()
    {
        QFETCH(bool, withTime);
        QFETCH(bool, withSpeaker);
        QFETCH(QString, expected);
        QTemporaryDir out;
        ExportHandlingItemModel model;
        model.setExportType("PDF Files(*.PDF)");
        model.setSaveRootUrl(QUrl::fromLocalFile(out.path()).toString());
        model.setProjectUrls({ m_project.url() });
        model.setWithTime(withTime);
        model.setWithSpeaker(withSpeaker);
        model.setWithHLCMMT(true);
        QSignalSpy done(&model, &BatchHandlingItemModel::totalFinishedChanged);
        const QSet<QString> temporary = TestUtil::tempFiles(out.path());
        model.init();
        QVERIFY(done.wait(30000));
        const QVariantMap row = model.data(model.index(0, 0), BatchHandlingItemModel::DRole).toMap();
        QCOMPARE(row.value("status").toInt(), 1);
        QCOMPARE(row.value("progress").toInt(), 100);
        // The copy of the database it read is gone, though the page is still up.
        QCOMPARE(TestUtil::tempFiles(out.path()), temporary);

        const QDir item(QDir(QUrl(model.exportDirUrl()).toLocalFile()).absoluteFilePath("Talk"));
        QCOMPARE(pdfText(item.absoluteFilePath("Talk.pdf")), expected);
        // Newest item first, each followed by its replies.
        const QString hl = pdfText(item.absoluteFilePath("Highlights_and_Comments.pdf"));
        QVERIFY2(QRegularExpression("^a remark quoted words \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d a reply to it 1$")
                     .match(hl)
                     .hasMatch(),
                 qPrintable(hl));
    }

    // A row whose document the disk refuses fails, and its folder goes.
    void fullDiskRow()
    {
        QTemporaryDir out;
        ExportHandlingItemModel model;
        model.setExportType("PDF Files(*.pdf)");
        model.setSaveRootUrl(QUrl::fromLocalFile(out.path()).toString());
        model.setProjectUrls({ m_project.url() });
        QSignalSpy done(&model, &BatchHandlingItemModel::totalFinishedChanged);
        model.init();
        // The pages are painted only once the event loop runs.
        const QString item = QDir(QUrl(model.exportDirUrl()).toLocalFile()).absoluteFilePath("Talk");
        QVERIFY(QFile::link("/dev/full", item + "/Talk.pdf"));
        QVERIFY(done.wait(30000));
        const QVariantMap row = model.data(model.index(0, 0), BatchHandlingItemModel::DRole).toMap();
        QCOMPARE(row.value("status").toInt(), -1);
        QCOMPARE(row.value("err").toString(), QStringLiteral("Create file failed. No space left on device"));
        QVERIFY(!QFileInfo::exists(item));
    }

    void failures()
    {
        QTemporaryDir out;
        ExportHandlingItemModel model;
        model.setWithHLCMMT(true);

        // The document's path is taken by a folder: the PDF cannot be made.
        QDir blocked(out.filePath("blocked"));
        QVERIFY(blocked.mkpath("blocked.pdf"));
        auto *pdf = new ExportPdf(blocked, m_project.folder(), &model);
        QVERIFY(startAndWait(pdf));
        QVERIFY(pdf->hasErr);
        QCOMPARE(pdf->err, QStringLiteral("Write %1 failed.").arg(blocked.absoluteFilePath("blocked.pdf")));

        // A disk that refuses the writes: the cut document is no success.
        for (const QString &doc : { "full/full.pdf", "highlights/Highlights_and_Comments.pdf" }) {
            const QString path = out.filePath(doc);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(QFile::link("/dev/full", path));
            auto *full = new ExportPdf(QDir(QFileInfo(path).path()), m_project.folder(), &model);
            QVERIFY(startAndWait(full));
            QCOMPARE(full->err, QStringLiteral("Create file failed. No space left on device"));
        }

        // A project without its database fails and gets none.
        QVERIFY(QDir().mkpath(out.filePath("empty")));
        auto *missing = new ExportPdf(QDir(out.filePath("blocked")), out.filePath("empty"), &model);
        QVERIFY(startAndWait(missing));
        QCOMPARE(missing->err, QStringLiteral("%1 not exists.").arg(out.filePath("empty/data")));
        QVERIFY(!QFile::exists(out.filePath("empty/data")));

        // Stopped while painting: the end is reported once, nothing is left running.
        auto *stopped = new ExportPdf(QDir(out.path()), m_project.folder(), &model);
        QTimer::singleShot(0, stopped, [stopped] { stopped->stop(); });
        QVERIFY(startAndWait(stopped));
        QVERIFY(!stopped->hasErr);
        delete stopped;
    }

    // Once painting has begun, the export folder goes or the batch is canceled:
    // the row fails with a reason, or ends as a canceled one.
    void honestRows_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("export folder removed") << false;
        QTest::newRow("canceled") << true;
    }

    void honestRows()
    {
        QFETCH(bool, cancel);
        QTemporaryDir out;
        ExportHandlingItemModel model;
        model.setExportType("PDF Files(*.pdf)");
        model.setSaveRootUrl(QUrl::fromLocalFile(out.path()).toString());
        model.setProjectUrls({ QUrl::fromLocalFile(m_large.path()).toString() });
        QSignalSpy done(&model, &BatchHandlingItemModel::totalFinishedChanged);
        bool acted = false;
        connect(&model, &QAbstractItemModel::dataChanged, &model, [&] {
            if (acted || row(model, 0).value("progress").toInt() == 0)
                return;
            acted = true;
            if (cancel)
                model.cancel();
            else
                QVERIFY(QDir(QUrl(model.exportDirUrl()).toLocalFile()).removeRecursively());
        });
        model.init();
        QVERIFY(done.wait(30000));
        QVERIFY(acted);
        const QString pdf = QUrl(model.exportDirUrl()).toLocalFile() + "/Large/Large.pdf";
        QVERIFY(!QFileInfo::exists(pdf));
        if (!cancel) {
            QCOMPARE(row(model, 0).value("status").toInt(), -1);
            QCOMPARE(row(model, 0).value("err").toString(),
                     QStringLiteral("Write %1 failed. The file or its folder was removed during the export.").arg(pdf));
        }
    }

    // Several exports of a few hundred segments at once: each loader hands a
    // project over to the painters while the others still load.
    void severalLargeProjects()
    {
        QTemporaryDir out;
        ExportHandlingItemModel model;
        model.setExportType("PDF Files(*.pdf)");
        model.setSaveRootUrl(QUrl::fromLocalFile(out.path()).toString());
        QVariantList urls;
        for (int i = 0; i < 5; ++i)
            urls << QUrl::fromLocalFile(m_large.path()).toString();
        model.setProjectUrls(urls);
        model.setWithTime(true);
        model.setWithSpeaker(true);
        QSignalSpy done(&model, &BatchHandlingItemModel::totalFinishedChanged);
        model.init();
        QVERIFY(done.wait(120000));
        const QDir dir(QUrl(model.exportDirUrl()).toLocalFile());
        for (int i = 0; i < 5; ++i) {
            const QString folder = i == 0 ? QStringLiteral("Large") : QStringLiteral("Large(%1)").arg(i);
            QCOMPARE(row(model, i).value("status").toInt(), 1);
            QVERIFY(pdfText(dir.absoluteFilePath(folder + "/" + folder + ".pdf")).contains("segment number 299 of"));
        }
    }

private:
    TestUtil::ProjectFixture m_project;
    QTemporaryDir m_large;
};

QTEST_MAIN(TestExportPdf)
#include "tst_export_pdf.moc"

// The PDF export of a real project through the export batch model, read
// back with poppler's pdftotext.

#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "export/ExportHandlingItemModel.h"
#include "export/ExportPdf.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start("pdftotext", { pdf, "-" });
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

// finished() may come from the loader thread, even before start() returns;
// count it in this one.
bool startAndWait(IExportHandling *e, int *count = nullptr, int timeoutMs = 20000)
{
    int n = 0;
    QEventLoop loop;
    QObject::connect(e, &IExportHandling::finished, &loop, [&] { ++n; loop.quit(); }, Qt::QueuedConnection);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    e->start();
    loop.exec();
    if (count)
        *count = n;
    return n == 1;
}

}

class TestExportPdf : public QObject
{
    Q_OBJECT

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
        model.init();
        QVERIFY(done.wait(30000));
        const QVariantMap row = model.data(model.index(0, 0), BatchHandlingItemModel::DRole).toMap();
        QCOMPARE(row.value("status").toInt(), 1);
        QCOMPARE(row.value("progress").toInt(), 100);

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

        // Stopped while painting: no end is reported, nothing is left running.
        auto *stopped = new ExportPdf(QDir(out.path()), m_project.folder(), &model);
        int ends = 0;
        QTimer::singleShot(0, stopped, [stopped] { stopped->stop(); });
        startAndWait(stopped, &ends, 1000);
        QCOMPARE(ends, 0);
        delete stopped;
    }

private:
    TestUtil::ProjectFixture m_project;
};

QTEST_MAIN(TestExportPdf)
#include "tst_export_pdf.moc"

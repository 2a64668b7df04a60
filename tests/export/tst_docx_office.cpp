// A real word processor opens what the Word export writes: LibreOffice turns
// both documents into PDF, and the PDF text holds the conversation's times,
// speakers and texts, and the highlights with their replies, on A4 pages.

#include "common/ExportSample.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "export/ExportHandlingItemModel.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

QString runTool(const QString &program, const QStringList &args, const QProcessEnvironment &env, QString &err)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(180000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        err = QStringLiteral("%1 failed: %2 %3").arg(program, p.errorString(), QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Fails unless every text of expected appears in text, in this order.
QString inOrder(const QString &text, const QStringList &expected)
{
    int at = 0;
    for (const QString &e : expected) {
        const int i = text.indexOf(e, at);
        if (i < 0)
            return QStringLiteral("\"%1\" missing after offset %2 in:\n%3").arg(e).arg(at).arg(text);
        at = i + e.size();
    }
    return QString();
}

}

class TestDocxOffice : public QObject
{
    Q_OBJECT

private slots:
    void convertedByLibreOffice()
    {
        TestUtil::requireSandboxedHome();
        TestUtil::ProjectFixture fx;
        TestUtil::ExportSample sample;
        QString err;
        QVERIFY2(fx.open(err), qPrintable(err));
        QVERIFY2(TestUtil::storeExportSample(fx, sample, err), qPrintable(err));

        QTemporaryDir root;
        ExportHandlingItemModel m;
        m.setProjectUrls({ fx.url() });
        m.setSaveRootUrl(QUrl::fromLocalFile(root.path()).toString());
        m.setExportType("Doc Files(*.docx)");
        m.setWithTime(true);
        m.setWithSpeaker(true);
        m.setWithHLCMMT(true);
        m.init();
        QTRY_VERIFY_WITH_TIMEOUT(m.totalFinished(), 30000);
        const QDir item(QDir(QUrl(m.exportDirUrl()).toLocalFile()).filePath("Talk"));
        const QStringList docs { item.filePath("Talk.docx"), item.filePath("Highlights_and_Comments.docx") };

        // LibreOffice keeps its profile in HOME; this one is its own.
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        runTool("soffice",
                QStringList { "-env:UserInstallation=" + QUrl::fromLocalFile(home.filePath("profile")).toString(),
                              "--headless", "--norestore", "--convert-to", "pdf", "--outdir", root.path() }
                    + docs,
                env, err);
        QVERIFY2(err.isEmpty(), qPrintable(err));

        const QString mainPdf = root.filePath("Talk.pdf");
        const QString mainText = runTool("pdftotext", { mainPdf, "-" }, env, err);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QStringList expected;
        for (int i = 0; i < sample.texts.size(); ++i)
            expected << sample.times.at(i) << sample.speakers.at(i) + ":" << sample.texts.at(i).split('\n');
        const QString missing = inOrder(mainText, expected);
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
        QVERIFY(runTool("pdfinfo", { mainPdf }, env, err).contains("(A4)"));

        const QString hlText = runTool("pdftotext", { root.filePath("Highlights_and_Comments.pdf"), "-" }, env, err);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        const QString hlMissing = inOrder(hlText, QStringList { "[1]", sample.items.at(0), "[2]", sample.items.at(1), "[Replies]" }
                                                      + sample.replies.at(1));
        QVERIFY2(hlMissing.isEmpty(), qPrintable(hlMissing));
    }
};

QTEST_MAIN(TestDocxOffice)
#include "tst_docx_office.moc"

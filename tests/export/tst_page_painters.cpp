// The page painters on real PDF writers, read back with poppler's tools.

#include "export/PrintCItemExec.h"
#include "export/PrintMsgsExec.h"

#include <QPdfWriter>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

std::unique_ptr<QPdfWriter> a4Writer(const QString &path)
{
    auto w = std::make_unique<QPdfWriter>(path);
    w->setResolution(120);
    w->setPageSize(QPageSize(QPageSize::A4));
    w->setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    return w;
}

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pageCount(const QString &pdf)
{
    const QRegularExpressionMatch m = QRegularExpression("Pages:\\s+(\\d+)").match(run("pdfinfo", { pdf }));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The text of one page, white space folded.
QString pageText(const QString &pdf, int page)
{
    const QString n = QString::number(page);
    return run("pdftotext", { "-f", n, "-l", n, pdf, "-" }).simplified();
}

QList<PrintMsg> messages(int n)
{
    QList<PrintMsg> list;
    for (int i = 0; i < n; ++i)
        list << PrintMsg { QStringLiteral("00:00:%1,000").arg(i % 60, 2, 10, QLatin1Char('0')),
                           QStringLiteral("message number %1").arg(i), QString(), "#2F6FEB",
                           QStringLiteral("Speaker <b>%1</b>").arg(i % 3), i % 2 == 1 };
    return list;
}

}

class TestPagePainters : public QObject
{
    Q_OBJECT

private slots:
    void pages_data()
    {
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("maxPages");
        QTest::addColumn<int>("pageGroup");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("empty list: one numbered page") << 0 << 0 << 0 << QStringList { "1" };
        QTest::newRow("page limit in group 3") << 300 << 2 << 3 << QStringList { "7", "8" };
    }

    void pages()
    {
        QFETCH(int, messages);
        QFETCH(int, maxPages);
        QFETCH(int, pageGroup);
        QFETCH(QStringList, numbers);
        const QString pdf = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".pdf"));
        auto writer = a4Writer(pdf);
        PrintMsgsExec exec;
        exec.setItems(writer.get(), ::messages(messages), true, true, maxPages, pageGroup);
        QSignalSpy progress(&exec, &PrintMsgsExec::updateProgress);
        QSignalSpy finished(&exec, &PrintMsgsExec::finished);
        exec.start();
        QVERIFY(finished.wait(20000));
        QCOMPARE(pageCount(pdf), numbers.size());
        for (int i = 0; i < numbers.size(); ++i)
            QVERIFY2(pageText(pdf, i + 1).endsWith(numbers.at(i)), qPrintable(pageText(pdf, i + 1)));
        // The page limit stopped the job before the list was through.
        QVERIFY(messages == 0 ? progress.isEmpty() : progress.size() < messages);
    }

    void conversation()
    {
        const QString pdf = m_dir.filePath("conversation.pdf");
        auto writer = a4Writer(pdf);
        PrintMsgsExec exec;
        exec.setItems(writer.get(), messages(300), true, true, 0, 0);
        QSignalSpy progress(&exec, &PrintMsgsExec::updateProgress);
        exec.exec();
        QCOMPARE(progress.size(), 300);
        QCOMPARE(progress.first(), (QVariantList { 0, 300 }));
        QCOMPARE(progress.last(), (QVariantList { 299, 300 }));
        QVERIFY(!exec.deviceFailed());

        QVERIFY(run("pdfinfo", { pdf }).contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x 842")));
        const int pages = pageCount(pdf);
        QVERIFY(pages > 5);
        for (int p = 1; p <= pages; ++p)
            QVERIFY(pageText(pdf, p).endsWith(QString::number(p)));
        const QString first = pageText(pdf, 1);
        // Names are text, never markup.
        QVERIFY2(first.contains("00:00:00,000 Speaker <b>0</b> message number 0"), qPrintable(first));
    }

    void commentsAndReplies()
    {
        const QString pdf = m_dir.filePath("comments.pdf");
        auto writer = a4Writer(pdf);
        const QString longText = QString("words that wrap ").repeated(40).trimmed();
        PrintCItemExec exec;
        exec.setItems(writer.get(),
                      { { 1, QString(), longText }, { 3, "2026/12/01 10:00:00", "a reply" }, { 3, " ", "  " },
                        { 2, QString(), "a comment" } },
                      false, false, 0, 0);
        QSignalSpy progress(&exec, &PrintCItemExec::updateProgress);
        exec.exec();
        QCOMPARE(progress.size(), 4);
        const QString text = pageText(pdf, 1);
        // Every word of the wrapped highlight is on the page.
        QCOMPARE(text.count("words that wrap"), 40);
        QVERIFY(text.contains("2026/12/01 10:00:00 a reply a comment 1"));
    }

    void cancelMidPaint()
    {
        const QString pdf = m_dir.filePath("canceled.pdf");
        auto writer = a4Writer(pdf);
        PrintMsgsExec exec;
        exec.setItems(writer.get(), messages(300), false, false, 0, 0);
        QSignalSpy finished(&exec, &PrintMsgsExec::finished);
        connect(&exec, &PrintMsgsExec::updateProgress, &exec, [&](int cur) {
            if (cur == 100)
                exec.setCancel();
        });
        exec.start();
        QTest::qWait(1500);
        QCOMPARE(finished.size(), 0);
        QVERIFY(pageCount(pdf) >= 1);
        QVERIFY(!pageText(pdf, 1).contains("message number 101"));
    }

    void unwritableFile()
    {
        QVERIFY(QFile(m_dir.filePath("file")).open(QIODevice::WriteOnly));
        auto writer = a4Writer(m_dir.filePath("file/under/a/file.pdf"));
        PrintMsgsExec exec;
        exec.setItems(writer.get(), messages(3), true, true, 0, 0);
        QSignalSpy finished(&exec, &PrintMsgsExec::finished);
        exec.exec();
        QCOMPARE(finished.size(), 1);
        QVERIFY(exec.deviceFailed());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestPagePainters)
#include "tst_page_painters.moc"

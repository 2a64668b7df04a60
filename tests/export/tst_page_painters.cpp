// The page painters on real PDF writers, read back with poppler's tools.

#include "common/TestUtil.h"
#include "export/PrintCItemExec.h"
#include "export/PrintMsgsExec.h"

#include <QPdfWriter>
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

int pageCount(const QString &pdf)
{
    const QRegularExpressionMatch m = QRegularExpression("Pages:\\s+(\\d+)").match(TestUtil::run("pdfinfo", { pdf }));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The text of one page, white space folded.
QString pageText(const QString &pdf, int page)
{
    const QString n = QString::number(page);
    return TestUtil::run("pdftotext", { "-f", n, "-l", n, pdf, "-" }).simplified();
}

// The words of each page, its number at the end taken off.
QList<QStringList> pageWords(const QString &pdf)
{
    QList<QStringList> pages;
    QStringList texts = TestUtil::run("pdftotext", { pdf, "-" }).split('\f');
    texts.removeLast();
    for (const QString &t : qAsConst(texts)) {
        QStringList words = t.simplified().split(' ', Qt::SkipEmptyParts);
        if (!words.isEmpty() && words.last() == QString::number(pages.size() + 1))
            words.removeLast();
        pages << words;
    }
    return pages;
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

        QVERIFY(TestUtil::run("pdfinfo", { pdf }).contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x 842")));
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

    // A word wider than the page is broken, not cut off at the page's edge.
    void longWord()
    {
        const QString word = "https://example.com/" + QString(300, 'x');
        const QString msgsPdf = m_dir.filePath("longword.pdf");
        auto writer = a4Writer(msgsPdf);
        PrintMsgsExec msgs;
        msgs.setItems(writer.get(), { { QString(), "see " + word, QString(), "#2F6FEB", QString(), false } }, false, false, 0, 0);
        msgs.exec();
        const QString citemsPdf = m_dir.filePath("longword-items.pdf");
        auto citemsWriter = a4Writer(citemsPdf);
        PrintCItemExec citems;
        citems.setItems(citemsWriter.get(), { { 1, QString(), word }, { 3, "2026/12/01 10:00:00", word } }, false, false, 0, 0);
        citems.exec();
        for (const QString &pdf : { msgsPdf, citemsPdf }) {
            const QString text = pageText(pdf, 1).remove(' ');
            QVERIFY2(text.contains(word), qPrintable(text));
        }
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

    // A record taller than a page goes on over the next pages, every word of it.
    void overTallRecords_data()
    {
        QTest::addColumn<int>("type"); // 0 a message, else a comment item's type
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words"); // in order, as pdftotext reads them
        auto numbered = [](const char *stem, int n, const char *sep) {
            QStringList w;
            for (int i = 1; i <= n; ++i)
                w << stem + QString::number(i);
            return w.join(sep);
        };
        const QString words = numbered("w", 2000, " ");
        const QString chars = numbered("c", 14000, " ").left(100000);
        QTest::newRow("2,000-word segment") << 0 << words << words;
        QTest::newRow("10,000-line segment") << 0 << numbered("l", 10000, "<br>") << numbered("l", 10000, " ");
        QTest::newRow("100,000-character segment") << 0 << chars << chars;
        QTest::newRow("tall picture, then text") << 0 << "<img src=\"tall.png\"><p>after the picture</p>"
                                                 << "after the picture";
        QTest::newRow("long highlight") << 1 << chars << chars;
        QTest::newRow("long comment") << 2 << chars << chars;
        QTest::newRow("long reply") << 3 << chars << "2026/12/01 10:00:00 " + chars;
    }

    void overTallRecords()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(QString, words);
        QImage tall(200, 3000, QImage::Format_RGB32);
        tall.fill(Qt::darkCyan);
        QVERIFY(tall.save(m_dir.filePath("tall.png")));
        const QString pdf = m_dir.filePath("tall.pdf");
        auto writer = a4Writer(pdf);
        PrintMsgsExec msgs;
        PrintCItemExec citems;
        if (type == 0) {
            const QString base = QUrl::fromLocalFile(m_dir.path()).toString() + '/';
            msgs.setItems(writer.get(), { { "", text, base, "#2F6FEB", "", false }, { "", "end", "", "#2F6FEB", "", false } },
                          false, false, 0, 0);
            msgs.exec();
        } else {
            citems.setItems(writer.get(), { { type, type == 3 ? "2026/12/01 10:00:00" : "", text }, { 2, "", "end" } },
                            false, false, 0, 0);
            citems.exec();
        }
        const QList<QStringList> pages = pageWords(pdf);
        QStringList all;
        for (const QStringList &page : pages)
            all << page;
        QCOMPARE(all, (words + " end").split(' '));
        if (!text.contains("<img")) {
            QVERIFY2(!pages.contains(QStringList()), "a page holds nothing but its number");
        } else {
            // The picture is shown whole, scaled down to the height of a page.
            const QString list = TestUtil::run("pdfimages", { "-list", pdf });
            const QRegularExpressionMatch image = QRegularExpression(" image +200 +3000 .* (\\d+) +[\\d.]+[BKM]").match(list);
            QVERIFY2(image.hasMatch(), qPrintable(list));
            QVERIFY2(3000 / image.captured(1).toDouble() <= 842 / 72.0, qPrintable(list));
        }
    }

    // Each bubble and pill draws the same pictures: a document holds each once.
    void documentSize()
    {
        const QString pdf = m_dir.filePath("size.pdf");
        auto writer = a4Writer(pdf);
        PrintMsgsExec exec;
        exec.setItems(writer.get(), messages(1000), true, true, 0, 0);
        exec.exec();
        writer.reset();
        QVERIFY2(QFileInfo(pdf).size() < 400 * 1000, qPrintable(QString::number(QFileInfo(pdf).size())));
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

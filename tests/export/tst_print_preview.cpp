// The print previews open Qt's dialog on a PDF printer (no printer is
// installed here), hand its paint requests on, and close cleanly.

#include "export/PrintCItemExec.h"
#include "export/PrintCItemPreview.h"
#include "export/PrintMsgsExec.h"
#include "export/PrintMsgsPreview.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>
#include <QtTest>

class TestPrintPreview : public QObject
{
    Q_OBJECT

    template<typename Preview, typename Exec, typename Record>
    void check(const QList<Record> &records)
    {
        Preview preview;
        int requests = 0;
        QPrinter::OutputFormat format = QPrinter::NativeFormat;
        int painted = 0;
        connect(&preview, &Preview::previewPaintRequest, this, [&](Preview *from, QPrinter *printer) {
            QCOMPARE(from, &preview);
            ++requests;
            format = printer->outputFormat();
            Exec exec;
            connect(&exec, &Exec::updateProgress, this, [&] { ++painted; });
            exec.setItems(printer, records, true, true, 0, 0);
            exec.exec();
        });
        QString title = QStringLiteral("unset");
        QTimer::singleShot(1000, this, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *dlg = qobject_cast<QPrintPreviewDialog *>(w); dlg && dlg->isVisible()) {
                    title = dlg->windowTitle();
                    dlg->close();
                }
        });
        preview.exec();
        QVERIFY(requests >= 1);
        QCOMPARE(format, QPrinter::PdfFormat);
        QVERIFY(painted >= records.size());
        QCOMPARE(title, QString());
    }

private slots:
    void conversation()
    {
        check<PrintMsgsPreview, PrintMsgsExec>(QList<PrintMsg> { { "00:00:01,000", "hello", QString(), "#112233", "A", false } });
    }

    void highlights()
    {
        check<PrintCItemPreview, PrintCItemExec>(QList<PrintCItem> { { 1, QString(), "a highlight" }, { 3, "now", "reply" } });
    }
};

QTEST_MAIN(TestPrintPreview)
#include "tst_print_preview.moc"

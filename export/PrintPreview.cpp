#include "export/PrintPreview.h"

#include <QPrintPreviewDialog>
#include <QPrinter>

#include <memory>

namespace PrintPreview {

void run(QObject *receiver, const QSize &size, QPrintPreviewDialog *&dialog)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
    printer->setPageOrientation(QPageLayout::Portrait);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setOutputFormat(QPrinter::NativeFormat);
    if (!printer->isValid())
        printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);

    dialog = new QPrintPreviewDialog(printer.get());
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->resize(size);
    dialog->setModal(true);
    dialog->setWindowTitle(QString());
    QObject::connect(dialog, SIGNAL(paintRequested(QPrinter*)), receiver, SLOT(onPaintRequest(QPrinter*)));
    dialog->exec();
    dialog->deleteLater();
    dialog = nullptr;
}

}

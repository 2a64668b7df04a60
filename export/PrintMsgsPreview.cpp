#include "export/PrintMsgsPreview.h"

#include "export/PrintPreview.h"

PrintMsgsPreview::PrintMsgsPreview(QObject *parent, const QSize &size)
    : QObject(parent)
    , dialogSize(size)
{
}

void PrintMsgsPreview::onPaintRequest(QPrinter *printer)
{
    emit previewPaintRequest(this, printer);
}

void PrintMsgsPreview::exec()
{
    PrintPreview::run(this, dialogSize, dialog);
}

#include "export/PrintCItemPreview.h"

#include "export/PrintPreview.h"

PrintCItemPreview::PrintCItemPreview(QObject *parent, const QSize &size)
    : QObject(parent)
    , dialogSize(size)
{
}

void PrintCItemPreview::onPaintRequest(QPrinter *printer)
{
    emit previewPaintRequest(this, printer);
}

void PrintCItemPreview::exec()
{
    PrintPreview::run(this, dialogSize, dialog);
}

#pragma once
// Runs Qt's print preview dialog for a receiver of its paint requests, on a
// printer set up as the PDF export's pages (A4, 20-point margins); a PDF
// printer where no printer is installed.

#include <QSize>

class QObject;
class QPrintPreviewDialog;

namespace PrintPreview {

// Returns when the user closes the dialog; dialog points to it meanwhile.
void run(QObject *receiver, const QSize &size, QPrintPreviewDialog *&dialog);

}

#pragma once
// A print preview whose pages the receiver of previewPaintRequest paints
// (the page painters can paint on the printer it hands over).

#include <QObject>
#include <QSize>

class QPrintPreviewDialog;
class QPrinter;

class PrintMsgsPreview : public QObject
{
    Q_OBJECT

public:
    explicit PrintMsgsPreview(QObject *parent = nullptr, const QSize &dialogSize = QSize(900, 700));

signals:
    void previewPaintRequest(PrintMsgsPreview *preview, QPrinter *printer);

public slots:
    void onPaintRequest(QPrinter *printer);
    void exec();

private:
    QPrintPreviewDialog *dialog = nullptr;
    QSize dialogSize;
};

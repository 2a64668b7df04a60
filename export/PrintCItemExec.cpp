#include "export/PrintCItemExec.h"

#include <QTextDocument>
#include <QtMath>

#include <memory>

namespace {

// Plain text in font, wrapped at width, with no margin around it.
std::unique_ptr<QTextDocument> plainText(const QString &text, const QFont &font, int width)
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setDocumentMargin(0);
    doc->setDefaultFont(font);
    doc->setPlainText(text);
    doc->setTextWidth(width);
    return doc;
}

}

PrintCItemExec::PrintCItemExec(QObject *parent)
    : QObject(parent)
{
}

void PrintCItemExec::setItems(QPagedPaintDevice *device, const QList<PrintCItem> &list, bool speaker, bool time,
                              int pages, int group)
{
    items = list;
    text.clear();
    setJob(device, speaker, time, pages, group);
}

void PrintCItemExec::exec()
{
    execJob();
}

void PrintCItemExec::setCancel()
{
    cancelPaint();
}

void PrintCItemExec::start()
{
    startJob();
    QMetaObject::invokeMethod(this, "printNextContinue", Qt::QueuedConnection);
}

bool PrintCItemExec::printNext()
{
    return step();
}

void PrintCItemExec::printNextContinue()
{
    if (printNext())
        QMetaObject::invokeMethod(this, "printNextContinue", Qt::QueuedConnection);
}

PagePainter::Step PrintCItemExec::paintRecord(int index)
{
    return paintItem(items.at(index));
}

PagePainter::Step PrintCItemExec::paintItem(const PrintCItem &item)
{
    const bool reply = item.type == 3;
    if (text.isEmpty()) {
        const QString t = reply ? item.time + QLatin1Char('\n') + item.text : item.text;
        if (reply && t.trimmed().isEmpty())
            return Step::Done;
        QFont font = defaultFont();
        if (reply)
            font.setPixelSize(11);
        else if (item.type == 1)
            font.setWeight(75);
        auto doc = plainText(t, font, reply ? content.width() - 20 : content.width());
        const qreal height = doc->size().height();
        text.reset(std::move(doc), height);
    }

    // A reply is a card around its text, 10 pixels below the block above.
    const int frame = reply ? 30 : 25;
    TextSlices::Slice slice;
    if (!placeSlice(text, frame, slice)) {
        text.clear();
        return Step::PageLimit;
    }
    const int h = qCeil(slice.height);
    if (reply) {
        const QRect r(content.left(), y + 10, content.width(), h + 20);
        if (painter.isActive()) {
            const QColor fill(244, 245, 247);
            painter.setBrush(fill);
            painter.setPen(QPen(fill, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
            painter.drawRoundedRect(r, 5, 5, Qt::AbsoluteSize);
        }
        text.paintSlice(painter, QPoint(r.left() + 10, r.top() + 10), slice, QColor(140, 147, 156));
    } else {
        text.paintSlice(painter, QPoint(content.left(), y + 25), slice, QColor(51, 51, 51));
    }
    y += h + frame;
    if (!slice.last)
        return Step::Continues;
    text.clear();
    return Step::Done;
}

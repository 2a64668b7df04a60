#include "export/PrintCItemExec.h"

#include <QPainterPath>

PrintCItemExec::PrintCItemExec(QObject *parent)
    : QObject(parent)
{
}

void PrintCItemExec::setItems(QPagedPaintDevice *device, const QList<PrintCItem> &list, bool speaker, bool time,
                              int pages, int group)
{
    items = list;
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

bool PrintCItemExec::paintRecord(int index)
{
    return paintItem(items.at(index));
}

bool PrintCItemExec::paintItem(const PrintCItem &item)
{
    const QFont font = defaultFont();
    if (item.type == 3) {
        const QString text = item.time + QLatin1Char('\n') + item.text;
        if (text.trimmed().isEmpty())
            return true;
        const QSize size = measureText(text, font, content.width() - 20);
        const QSize card(content.width(), size.height() + 20);
        if (!ensureSpace(card.height() + 10))
            return false;
        const QRect r(QPoint(content.left(), y + 10), card);
        if (painter.isActive()) {
            const QColor fill(244, 245, 247);
            painter.setBrush(fill);
            painter.setPen(QPen(fill, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
            painter.drawRoundedRect(r, 5, 5, Qt::AbsoluteSize);
            static const QFont small = [] {
                QFont f(QStringLiteral("Arial"));
                f.setPixelSize(11);
                return f;
            }();
            painter.setFont(small);
            painter.setPen(QColor(140, 147, 156));
            painter.drawText(QRect(r.left() + 10, r.top() + 10, size.width(), size.height()), Qt::TextWordWrap, text);
        }
        y += card.height() + 10;
        return true;
    }

    // Measured with the font it is drawn in and drawn wrapped as measured:
    // otherwise the lines of a long or bold text past the first are cut off.
    QFont f = font;
    if (item.type == 1)
        f.setWeight(75);
    const QSize size = measureText(item.text, f, content.width());
    if (!ensureSpace(size.height() + 25))
        return false;
    if (painter.isActive()) {
        painter.setFont(f);
        painter.setPen(QColor(51, 51, 51));
        painter.drawText(QRect(content.left(), y + 25, size.width(), size.height()), Qt::TextWordWrap, item.text);
    }
    y += size.height() + 25;
    return true;
}

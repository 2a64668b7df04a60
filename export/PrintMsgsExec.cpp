#include "export/PrintMsgsExec.h"

#include <QAbstractTextDocumentLayout>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>

namespace {

struct Side
{
    const char *image;
    int ml, mt, mr, mb; // border-image margins
    int il, it, ir, ib; // text insets
};

const Side kLeft { ":/qrc/bb1.png", 22, 19, 8, 8, 25, 10, 11, 10 };
const Side kRight { ":/qrc/bb2.png", 6, 19, 19, 8, 12, 10, 25, 10 };

}

PrintMsgsExec::PrintMsgsExec(QObject *parent)
    : QObject(parent)
{
}

void PrintMsgsExec::setItems(QPagedPaintDevice *device, const QList<PrintMsg> &list, bool speaker, bool time,
                             int pages, int group)
{
    items = list;
    setJob(device, speaker, time, pages, group);
}

void PrintMsgsExec::exec()
{
    execJob();
}

void PrintMsgsExec::setCancel()
{
    cancelPaint();
}

void PrintMsgsExec::start()
{
    startJob();
    QMetaObject::invokeMethod(this, "printNextContinue", Qt::QueuedConnection);
}

bool PrintMsgsExec::printNext()
{
    return step();
}

void PrintMsgsExec::printNextContinue()
{
    if (printNext())
        QMetaObject::invokeMethod(this, "printNextContinue", Qt::QueuedConnection);
}

bool PrintMsgsExec::paintRecord(int index)
{
    const PrintMsg &msg = items.at(index);
    return paintTime(msg.time) && paintMsg(msg);
}

bool PrintMsgsExec::paintTime(const QString &time)
{
    if (!withTime)
        return true;
    const QFont font = defaultFont();
    const QSize text = measureText(time, font, content.width());
    const QSize pill(text.width() + 14, text.height() + 12);
    if (!ensureSpace(pill.height() + 10))
        return false;
    const QRect r(QPoint((content.width() - pill.width()) / 2, y + 10), pill);
    drawBorderImage(resourcePixmap(":/qrc/round.png"), r, 7, 5, 7, 7);
    if (painter.isActive()) {
        painter.setFont(font);
        painter.setPen(QColor(88, 103, 112));
        painter.drawText(QRect(r.left() + 7, r.top() + 5, text.width(), text.height()), Qt::AlignCenter, time);
    }
    y += pill.height() + 10;
    return true;
}

bool PrintMsgsExec::paintMsg(const PrintMsg &msg)
{
    const Side &side = msg.right ? kRight : kLeft;
    QString rich = QStringLiteral("<div>");
    if (withSpeaker)
        // The name is the user's text: it must not become markup.
        rich += QStringLiteral("<p style=\"color:%1; text-align:%2\">%3</p>")
                    .arg(msg.color, msg.right ? QStringLiteral("right") : QStringLiteral("left"),
                         msg.speaker.toHtmlEscaped());
    rich += msg.html + QStringLiteral("</div>");

    QTextDocument doc;
    doc.setDefaultStyleSheet(QStringLiteral("*{text-decoration:none; color:#333333;}"));
    doc.setDefaultFont(defaultFont());
    doc.setBaseUrl(QUrl(msg.baseUrl, QUrl::TolerantMode));
    doc.setHtml(rich);

    const int natural = measureText(doc.toPlainText(), doc.defaultFont(), int(content.width() * 0.8)).width();
    static const QRegularExpression img(QStringLiteral("<img"), QRegularExpression::CaseInsensitiveOption);
    const int minWidth = rich.contains(img) ? 220 : 100;
    doc.setTextWidth(qMax(natural + 10, minWidth));
    QSize body = doc.size().toSize();
    body.setWidth(qMax(body.width(), minWidth));
    body.setHeight(qMax(body.height(), 20));

    const QSize bubble(body.width() + side.il + side.ir, body.height() + side.it + side.ib);
    if (!ensureSpace(bubble.height() + 10))
        return false;
    const int left = msg.right ? content.right() - bubble.width() : content.left();
    const QRect r(QPoint(left, y + 5), bubble);
    drawBorderImage(resourcePixmap(side.image), r, side.ml, side.mt, side.mr, side.mb);
    if (painter.isActive()) {
        painter.translate(r.left() + side.il, r.top() + side.it);
        doc.drawContents(&painter, QRectF(0, 0, body.width(), body.height()));
        painter.resetTransform();
    }
    y += bubble.height() + 10;
    return true;
}

#include "export/PrintMsgsExec.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>
#include <QtMath>

#include <memory>

namespace {

struct Side
{
    const char *image;
    QMargins border;
    int il, it, ir, ib; // text insets
};

const Side kLeft { ":/qrc/bb1.png", { 22, 19, 8, 8 }, 25, 10, 11, 10 };
const Side kRight { ":/qrc/bb2.png", { 6, 19, 19, 8 }, 12, 10, 25, 10 };

// Preformatted lines wrap like any other: the page has no room past its edge.
void wrapEveryLine(QTextDocument &doc)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QTextBlockFormat format = b.blockFormat();
        if (format.nonBreakableLines()) {
            format.setNonBreakableLines(false);
            QTextCursor(b).setBlockFormat(format);
        }
    }
}

// Lays doc out width wide. Indents, margins, and a table's widths and the
// room around its cells can push text past the bubble's edge, where the page
// cuts it off: when they do, they give way.
void fitWidth(QTextDocument &doc, int width)
{
    doc.setTextWidth(width);
    if (doc.idealWidth() <= width)
        return;
    doc.setIndentWidth(8);
    // One change: the layout follows each change on its own.
    QTextCursor edit(&doc);
    edit.beginEditBlock();
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QTextBlockFormat format = b.blockFormat();
        format.setLeftMargin(0);
        format.setRightMargin(0);
        format.setTextIndent(0);
        QTextCursor(b).setBlockFormat(format);
    }
    QList<QTextFrame *> frames { doc.rootFrame() };
    while (!frames.isEmpty()) {
        QTextFrame *frame = frames.takeLast();
        frames << frame->childFrames();
        QTextTable *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        format.setWidth(QTextLength());
        format.clearColumnWidthConstraints();
        format.setLeftMargin(0);
        format.setRightMargin(0);
        format.setCellPadding(qMin<qreal>(format.cellPadding(), 2));
        format.setCellSpacing(qMin<qreal>(format.cellSpacing(), 2));
        format.setBorder(qMin<qreal>(format.border(), 1));
        table->setFormat(format);
        for (int r = 0; r < table->rows(); ++r) {
            for (int c = 0; c < table->columns(); ++c) {
                QTextTableCell cell = table->cellAt(r, c);
                QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
                if (cellFormat.hasProperty(QTextFormat::TableCellLeftPadding))
                    cellFormat.setPadding(qMin<qreal>(cellFormat.leftPadding(), 2));
                if (cellFormat.hasProperty(QTextFormat::TableCellLeftBorder))
                    cellFormat.setBorder(qMin<qreal>(cellFormat.leftBorder(), 1));
                cell.setFormat(cellFormat);
            }
        }
    }
    edit.endEditBlock();
    doc.setTextWidth(width);
}

// Gives every fragment of doc the format that change makes of its own; a
// change returns false to leave the fragment as it is. The fragments are
// collected first, as a new format can merge them. They change in one edit
// block: outside one, each move of the cursor finds its place in a layout of
// the whole paragraph, which the change before has thrown away.
template<typename Change>
void reformatFragments(QTextDocument &doc, Change change)
{
    struct Changed
    {
        int position, length;
        QTextCharFormat format;
    };
    QList<Changed> changed;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            QTextCharFormat format = f.charFormat();
            if (change(format))
                changed << Changed { f.position(), f.length(), format };
        }
    }
    QTextCursor c(&doc);
    c.beginEditBlock();
    for (const Changed &f : qAsConst(changed)) {
        c.setPosition(f.position);
        c.setPosition(f.position + f.length, QTextCursor::KeepAnchor);
        c.setCharFormat(f.format);
    }
    c.endEditBlock();
}

// The PDF writer copies a link's target into the page as its Latin-1 bytes:
// a parenthesis or a backslash there ends the target early or starts page
// syntax of the text's own, and other characters turn into "?". Those and
// blanks are percent-encoded from UTF-8; a browser reads the same address.
void encodeLinkTargets(QTextDocument &doc)
{
    reformatFragments(doc, [](QTextCharFormat &format) {
        if (!format.isAnchor())
            return false;
        const QString target = QString::fromLatin1(QUrl::toPercentEncoding(format.anchorHref(), "!\"#$%&'*+,/:;<=>?@[]^`{|}"));
        if (target == format.anchorHref())
            return false;
        format.setAnchorHref(target);
        return true;
    });
}

// Scales pictures larger than max down to fit it, so that each is shown whole
// on one page.
void fitPictures(QTextDocument &doc, const QSizeF &max)
{
    reformatFragments(doc, [&doc, &max](QTextCharFormat &format) {
        if (!format.isImageFormat())
            return false;
        QTextImageFormat image = format.toImageFormat();
        const QVariant data = doc.resource(QTextDocument::ImageResource, QUrl(image.name()));
        QSizeF size = data.canConvert<QPixmap>() ? QSizeF(qvariant_cast<QPixmap>(data).size()) : QSizeF();
        if (size.isEmpty())
            return false;
        // A size the text sets keeps the picture's proportions where one side is missing.
        if (image.width() > 0 && image.height() > 0)
            size = QSizeF(image.width(), image.height());
        else if (image.width() > 0)
            size = QSizeF(image.width(), image.width() * size.height() / size.width());
        else if (image.height() > 0)
            size = QSizeF(image.height() * size.width() / size.height(), image.height());
        if (size.width() <= max.width() && size.height() <= max.height())
            return false;
        size.scale(max, Qt::KeepAspectRatio);
        image.setWidth(size.width());
        image.setHeight(size.height());
        format = image;
        return true;
    });
}

}

PrintMsgsExec::PrintMsgsExec(QObject *parent)
    : QObject(parent)
{
}

void PrintMsgsExec::setItems(QPagedPaintDevice *device, const QList<PrintMsg> &list, bool speaker, bool time,
                             int pages, int group)
{
    items = list;
    body.clear();
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

PagePainter::Step PrintMsgsExec::paintRecord(int index)
{
    const PrintMsg &msg = items.at(index);
    if (body.isEmpty()) {
        if (!paintTime(msg.time))
            return Step::PageLimit;
        layOutMsg(msg);
    }
    return paintMsg(msg);
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
    drawBorderImage(":/qrc/round.png", r, QMargins(7, 5, 7, 7));
    if (painter.isActive()) {
        painter.setFont(font);
        painter.setPen(QColor(88, 103, 112));
        painter.drawText(QRect(r.left() + 7, r.top() + 5, text.width(), text.height()), Qt::AlignCenter, time);
    }
    y += pill.height() + 10;
    return true;
}

void PrintMsgsExec::layOutMsg(const PrintMsg &msg)
{
    const Side &side = msg.right ? kRight : kLeft;
    QString rich = QStringLiteral("<div>");
    if (withSpeaker)
        // The name is the user's text: it must not become markup.
        rich += QStringLiteral("<p style=\"color:%1; text-align:%2\">%3</p>")
                    .arg(msg.color, msg.right ? QStringLiteral("right") : QStringLiteral("left"),
                         msg.speaker.toHtmlEscaped());
    rich += msg.html + QStringLiteral("</div>");

    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultStyleSheet(QStringLiteral("*{text-decoration:none; color:#333333;}"));
    doc->setDefaultFont(defaultFont());
    doc->setBaseUrl(QUrl(msg.baseUrl, QUrl::TolerantMode));
    doc->setHtml(rich);
    encodeLinkTargets(*doc);

    // At most as wide as a bubble on the page, and, with room for a line
    // beside it, as high as a page holds.
    const qreal margins = 2 * doc->documentMargin();
    wrapEveryLine(*doc);
    fitPictures(*doc, QSizeF(content.width() - side.il - side.ir - margins,
                             pageRoom() - 10 - side.it - side.ib - margins - QFontMetrics(defaultFont()).height()));
    // At most the bubble's widest: the document breaks a longer word anywhere.
    // Its widest line as laid out, so that the indents of lists and the
    // columns of tables leave their text room.
    const int maxWidth = int(content.width() * 0.8);
    fitWidth(*doc, maxWidth);
    const int natural = qMin(qCeil(doc->idealWidth() - margins), maxWidth);
    static const QRegularExpression img(QStringLiteral("<img"), QRegularExpression::CaseInsensitiveOption);
    const int minWidth = rich.contains(img) ? 220 : 100;
    doc->setTextWidth(qMax(natural + 10, minWidth));
    const QSize size = doc->size().toSize();
    bodyWidth = qMax(size.width(), minWidth);
    body.reset(std::move(doc), qMax(size.height(), 20));
}

PagePainter::Step PrintMsgsExec::paintMsg(const PrintMsg &msg)
{
    const Side &side = msg.right ? kRight : kLeft;
    const bool first = body.atStart();
    TextSlices::Slice slice;
    if (!placeSlice(body, side.it + side.ib + 10, slice)) {
        body.clear();
        return Step::PageLimit;
    }
    const QSize bubble(bodyWidth + side.il + side.ir, qCeil(slice.height) + side.it + side.ib);
    const int left = msg.right ? content.right() - bubble.width() : content.left();
    const QRect r(QPoint(left, y + 5), bubble);
    drawBorderImage(side.image, r, side.border, first, slice.last);
    body.paintSlice(painter, QPoint(r.left() + side.il, r.top() + side.it), slice, QColor(0x33, 0x33, 0x33));
    y += bubble.height() + 10;
    if (!slice.last)
        return Step::Continues;
    body.clear();
    return Step::Done;
}

#include "export/PagePainter.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMutex>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPixmap>
#include <QHash>
#include <qdrawutil.h>

namespace {

constexpr int kResolution = 120;
const QColor kPageNumberColour(146, 146, 165);

}

PagePainter::~PagePainter() = default;

QFont PagePainter::defaultFont()
{
    static const QFont base(QStringLiteral("Arial"));
    QFont f = base;
    f.setPixelSize(12);
    return f;
}

QSize PagePainter::measureText(const QString &text, const QFont &font, int width)
{
    return QFontMetrics(font).boundingRect(QRect(0, 0, width, 0), Qt::TextWordWrap, text).size();
}

void PagePainter::setJob(QPagedPaintDevice *device, bool speaker, bool time, int pages, int group)
{
    dev = device;
    withSpeaker = speaker;
    withTime = time;
    maxPages = pages;
    pageGroup = group;
    canceled.store(false);
}

void PagePainter::beginPaint()
{
    const QPageLayout layout = dev->pageLayout();
    const QMarginsF m = layout.margins(QPageLayout::Point);
    // The PDF writers run at 120 dpi; a printer has its own resolution, and
    // a rectangle at any other than the device's runs off its page.
    const int dpi = dev->logicalDpiX() > 0 ? dev->logicalDpiX() : kResolution;
    const QRect paint = layout.paintRectPixels(dpi);
    content = QRect(int(m.left()), int(m.top()), int(paint.width() - m.left() - m.right()),
                    int(paint.height() - m.top() - m.bottom()));
    y = content.top();
    page = 1;
    m_deviceFailed = !painter.begin(dev);
    if (!m_deviceFailed) {
        painter.setRenderHint(QPainter::Antialiasing);
        drawPageNumber();
    }
}

bool PagePainter::ensureSpace(int h)
{
    if (content.height() - y >= h)
        return true;
    if (maxPages > 0 && page >= maxPages)
        return false;
    dev->newPage();
    y = content.top();
    ++page;
    drawPageNumber();
    return true;
}

void PagePainter::endPaint()
{
    if (painter.isActive())
        painter.end();
}

void PagePainter::cancelPaint()
{
    canceled.store(true);
    endPaint();
}

void PagePainter::drawPageNumber()
{
    if (!painter.isActive())
        return;
    painter.save();
    painter.setFont(defaultFont());
    painter.setPen(kPageNumberColour);
    painter.drawText(QRect(content.left(), content.bottom() + 2, content.width(), 18), Qt::AlignRight,
                     QString::number(pageGroup * maxPages + page));
    painter.restore();
}

bool PagePainter::step()
{
    if (isCanceled())
        return false;
    if (cur >= 0 && cur < recordCount()) {
        if (paintRecord(cur)) {
            emitProgress(cur, total);
            ++cur;
            return true;
        }
        if (!isCanceled())
            endPaint();
        emitFinished();
        return false;
    }
    if (!isCanceled())
        endPaint();
    emitFinished();
    return false;
}

void PagePainter::startJob()
{
    beginPaint();
    cur = 0;
    total = recordCount();
}

void PagePainter::execJob()
{
    startJob();
    while (step())
        QCoreApplication::processEvents();
}

void PagePainter::drawBorderImage(const QPixmap &pix, const QRect &target, int left, int top, int right, int bottom)
{
    if (pix.isNull() || !painter.isActive())
        return;
    const QMargins margins(left, top, right, bottom);
    qDrawBorderPixmap(&painter, target, margins, pix, pix.rect(), margins, QTileRules(Qt::StretchTile));
}

QPixmap resourcePixmap(const char *path)
{
    // One table for the process; pictures stay loaded once they loaded.
    static QMutex mutex;
    static QHash<QByteArray, QPixmap> cache;
    QMutexLocker lock(&mutex);
    QPixmap &p = cache[QByteArray(path)];
    if (p.isNull())
        p.load(QString::fromLatin1(path));
    return p;
}

#include "export/PagePainter.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHash>
#include <QMutex>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPixmap>
#include <QtMath>

#include <array>

namespace {

constexpr int kResolution = 120;
const QColor kPageNumberColour(146, 146, 165);

using BorderParts = std::array<QPixmap, 9>;

// The parts of a resource picture, cut once per process: a PDF embeds a
// picture once however often it is drawn, but every part cut anew is a new
// picture.
BorderParts borderParts(const char *path, const QMargins &m)
{
    static QMutex mutex;
    static QHash<QByteArray, BorderParts> cache;
    QMutexLocker lock(&mutex);
    const QByteArray key = QByteArray(path) + '/' + QByteArray::number(m.left()) + ',' + QByteArray::number(m.top())
        + ',' + QByteArray::number(m.right()) + ',' + QByteArray::number(m.bottom());
    BorderParts &parts = cache[key];
    if (parts[4].isNull()) {
        const QPixmap pix(QString::fromLatin1(path));
        const int xs[4] = { 0, m.left(), pix.width() - m.right(), pix.width() };
        const int ys[4] = { 0, m.top(), pix.height() - m.bottom(), pix.height() };
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                parts[r * 3 + c] = pix.copy(xs[c], ys[r], xs[c + 1] - xs[c], ys[r + 1] - ys[r]);
        }
    }
    return parts;
}

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
    const QFontMetrics metrics(font);
    const QRect r = metrics.boundingRect(QRect(0, 0, width, 0), Qt::TextWordWrap, text);
    return r.width() > width ? metrics.boundingRect(QRect(0, 0, width, 0), Qt::TextWrapAnywhere, text).size() : r.size();
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
    return content.height() - y >= h || newPage();
}

bool PagePainter::newPage()
{
    if (maxPages > 0 && page >= maxPages)
        return false;
    dev->newPage();
    y = content.top();
    ++page;
    drawPageNumber();
    return true;
}

bool PagePainter::placeSlice(TextSlices &text, int frame, TextSlices::Slice &slice)
{
    if (text.atStart() && text.height() + frame <= pageRoom()) {
        if (!ensureSpace(qCeil(text.height()) + frame))
            return false;
        slice = text.nextSlice(text.height(), false);
        return true;
    }
    slice = text.nextSlice(content.height() - y - frame, false);
    if (slice.height > 0)
        return true;
    // A line taller than a whole page is cut rather than left out.
    if (y != content.top() && !newPage())
        return false;
    slice = text.nextSlice(content.height() - y - frame, true);
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
        const Step painted = paintRecord(cur);
        if (painted == Step::Continues)
            return true;
        if (painted == Step::Done) {
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

void PagePainter::drawBorderImage(const char *path, const QRect &target, const QMargins &m, bool top, bool bottom)
{
    if (!painter.isActive())
        return;
    const BorderParts parts = borderParts(path, m);
    const int xs[4] = { target.left(), target.left() + m.left(), target.right() + 1 - m.right(), target.right() + 1 };
    int ys[4] = { target.top(), target.top() + m.top(), target.bottom() + 1 - m.bottom(), target.bottom() + 1 };
    if (!top)
        ys[1] = ys[0];
    if (!bottom)
        ys[2] = ys[3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QRect cell(xs[c], ys[r], xs[c + 1] - xs[c], ys[r + 1] - ys[r]);
            const QPixmap &part = parts[r * 3 + c];
            if (!cell.isEmpty() && !part.isNull())
                painter.drawPixmap(cell, part);
        }
    }
}

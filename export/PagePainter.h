#pragma once
// The page machinery shared by the two page painters: the content rectangle
// inside the page margins, page breaks, page numbers, the one-record-per-step
// loop and cancel. A painter paints on any paged device (a PDF writer, a
// printer) and knows nothing of files or projects.

#include "export/TextSlices.h"

#include <QFont>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <QString>

#include <atomic>

class QPagedPaintDevice;

class PagePainter
{
public:
    virtual ~PagePainter();

    QPagedPaintDevice *device() const { return dev; }
    // The painter could not begin on the device (a file that cannot be
    // created): the job ran through its records and drew nothing.
    bool deviceFailed() const { return m_deviceFailed; }

    static QFont defaultFont();
    // Word wrap; wrap anywhere when one word alone is wider than width, so
    // that no text runs off the page.
    static QSize measureText(const QString &text, const QFont &font, int width);

protected:
    enum class Step { Done, Continues, PageLimit };

    void setJob(QPagedPaintDevice *device, bool withSpeaker, bool withTime, int maxPages, int pageGroup);
    void beginPaint();
    // True when h pixels fit on this page, after a page break if needed;
    // false when the page limit is reached.
    bool ensureSpace(int h);
    // Room on the page for the next slice of text with frame pixels around it
    // (spacing, insets): all of it when it fits here or on a fresh page, else
    // as many whole lines as fit here, else on the next page; false at the
    // page limit.
    bool placeSlice(TextSlices &text, int frame, TextSlices::Slice &slice);
    // The height a fresh page holds.
    int pageRoom() const { return content.height() - content.top(); }
    void endPaint();
    void cancelPaint();
    bool isCanceled() const { return canceled.load(); }
    // Paints record index, or its share of the page when it runs on over the
    // next ones; the next step then goes on with it.
    virtual Step paintRecord(int index) = 0;
    virtual int recordCount() const = 0;
    virtual void emitProgress(int cur, int total) = 0;
    virtual void emitFinished() = 0;
    // One record; false when no further step follows.
    bool step();
    void startJob();
    // The whole job at once, handling pending events between two records.
    void execJob();
    // Draws a resource picture as a nine-part border image (the margins apply
    // to the picture and the target, the parts stretched); without its top or
    // bottom row for a box that runs on from or over a page break.
    void drawBorderImage(const char *path, const QRect &target, const QMargins &margins, bool top = true,
                         bool bottom = true);

    QPagedPaintDevice *dev = nullptr;
    QPainter painter;
    QRect content;
    int y = 0;
    int page = 1;
    int maxPages = 0;
    int pageGroup = 0;
    bool withSpeaker = false;
    bool withTime = false;
    std::atomic<bool> canceled { false };
    int cur = 0;
    int total = 0;

private:
    bool newPage();
    void drawPageNumber();

    bool m_deviceFailed = false;
};

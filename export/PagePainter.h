#pragma once
// The page machinery shared by the two page painters: the content rectangle
// inside the page margins, page breaks, page numbers, the one-record-per-step
// loop and cancel. A painter paints on any paged device (a PDF writer, a
// printer) and knows nothing of files or projects.

#include <QFont>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <QString>

#include <atomic>

class QPagedPaintDevice;
class QPixmap;

class PagePainter
{
public:
    virtual ~PagePainter();

    QPagedPaintDevice *device() const { return dev; }
    // The painter could not begin on the device (a file that cannot be
    // created): the job ran through its records and drew nothing.
    bool deviceFailed() const { return m_deviceFailed; }

    static QFont defaultFont();
    static QSize measureText(const QString &text, const QFont &font, int width);

protected:
    void setJob(QPagedPaintDevice *device, bool withSpeaker, bool withTime, int maxPages, int pageGroup);
    void beginPaint();
    // True when h pixels fit on this page, after a page break if needed;
    // false when the page limit is reached.
    bool ensureSpace(int h);
    void endPaint();
    void cancelPaint();
    bool isCanceled() const { return canceled.load(); }
    // Paints record cur; false only at the page limit.
    virtual bool paintRecord(int index) = 0;
    virtual int recordCount() const = 0;
    virtual void emitProgress(int cur, int total) = 0;
    virtual void emitFinished() = 0;
    // One record; false when no further step follows.
    bool step();
    void startJob();
    // The whole job at once, handling pending events between two records.
    void execJob();
    // Draws a nine-part border image; the margins apply to the picture and the target.
    void drawBorderImage(const QPixmap &pix, const QRect &target, int left, int top, int right, int bottom);

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
    void drawPageNumber();

    bool m_deviceFailed = false;
};

// A resource picture loaded once per process, and again while it is empty.
QPixmap resourcePixmap(const char *path);

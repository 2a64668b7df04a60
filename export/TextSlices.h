#pragma once
// A laid-out text painted in slices, as much of it per page as fits, cut
// only between two lines: a record taller than a page goes on over the next.

#include <QPainter>

#include <memory>
#include <utility>
#include <vector>

class QTextDocument;

class TextSlices
{
public:
    struct Slice
    {
        qreal height = 0;
        qreal next = 0; // where the slice after it begins
        bool last = false;
    };

    TextSlices();
    ~TextSlices();
    // doc is laid out; height is the room it takes, no less than its own.
    void reset(std::unique_ptr<QTextDocument> doc, qreal height);
    void clear();
    bool isEmpty() const { return !m_doc; }
    bool atStart() const { return m_offset == 0; }
    qreal height() const { return m_height; }
    // The next slice within room: the rest when it fits, else up to the last
    // whole line that does; none (height 0) when not even one line fits,
    // unless cutLine, which then cuts through that line.
    Slice nextSlice(qreal room, bool cutLine);
    // Draws the slice (when the painter is active) with its top left at at,
    // and moves past it.
    void paintSlice(QPainter &painter, const QPointF &at, const Slice &slice, const QColor &text);

private:
    struct Line
    {
        qreal top, bottom;
        int block, index; // block number, line in the block
    };

    void findCuts();
    // Draws the lines of the block that the slice begins inside; the
    // position below them where the document's own drawing takes over.
    qreal paintBlockRest(QPainter &painter, qreal bottom);

    std::unique_ptr<QTextDocument> m_doc;
    qreal m_height = 0;
    qreal m_offset = 0;
    // Made only for a text that needs more than one page: its lines from top
    // to bottom, and where a slice may end (the lowest bottom of the lines
    // above, none of them running across it) with where the next one begins.
    std::vector<Line> m_lines;
    std::vector<std::pair<qreal, qreal>> m_cuts;
};

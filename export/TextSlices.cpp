#include "export/TextSlices.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

TextSlices::TextSlices() = default;
TextSlices::~TextSlices() = default;

void TextSlices::reset(std::unique_ptr<QTextDocument> doc, qreal height)
{
    m_doc = std::move(doc);
    m_height = height;
    m_offset = 0;
    m_lines.clear();
    m_cuts.clear();
}

void TextSlices::clear()
{
    m_doc.reset();
    m_height = m_offset = 0;
    m_lines.clear();
    m_cuts.clear();
}

TextSlices::Slice TextSlices::nextSlice(qreal room, bool cutLine)
{
    if (m_height - m_offset <= room)
        return { m_height - m_offset, m_height, true };
    if (m_cuts.empty())
        findCuts();
    // The last cut within room; cuts only go down, so a binary search finds it.
    const qreal limit = m_offset + room;
    auto it = std::upper_bound(m_cuts.begin(), m_cuts.end(), limit,
                               [](qreal v, const std::pair<qreal, qreal> &cut) { return v < cut.first; });
    if (it != m_cuts.begin() && (it - 1)->first > m_offset)
        return { (it - 1)->first - m_offset, (it - 1)->second, false };
    if (!cutLine)
        return {};
    room = qMax(room, qreal(1));
    return { room, m_offset + room, false };
}

void TextSlices::paintSlice(QPainter &painter, const QPointF &at, const Slice &slice, const QColor &text)
{
    if (painter.isActive()) {
        const qreal bottom = m_offset + slice.height;
        const qreal width = qMax(m_doc->size().width(), m_doc->textWidth());
        painter.save();
        painter.translate(at.x(), at.y() - m_offset);
        painter.setClipRect(QRectF(0, m_offset, width, slice.height), Qt::IntersectClip);
        painter.setPen(text);
        const qreal top = m_offset > 0 ? paintBlockRest(painter, bottom) : 0;
        if (top < bottom) {
            // Shaved, so that no line of a neighbouring slice is drawn (and
            // found in the document's text) twice.
            QAbstractTextDocumentLayout::PaintContext ctx;
            ctx.palette.setColor(QPalette::Text, text);
            ctx.clip = QRectF(0, top, width, bottom - top - (slice.last ? 0 : 0.5));
            m_doc->documentLayout()->draw(&painter, ctx);
        }
        painter.restore();
    }
    m_offset = slice.next;
}

// Drawing a block from a clip inside it also draws the line above the clip,
// which would then be in the document twice: the lines are drawn one by one.
qreal TextSlices::paintBlockRest(QPainter &painter, qreal bottom)
{
    // The first line reaching below the cut; the line a too tall one was cut
    // through shows its rest.
    auto it = std::upper_bound(m_lines.begin(), m_lines.end(), m_offset,
                               [](qreal v, const Line &l) { return v < l.bottom; });
    if (it == m_lines.end() || it->index == 0)
        return m_offset + 0.5;
    const QTextBlock block = m_doc->findBlockByNumber(it->block);
    const QRectF r = m_doc->documentLayout()->blockBoundingRect(block);
    const QTextLayout *layout = block.layout();
    for (int i = it->index; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        if (r.top() + line.y() >= bottom)
            return bottom;
        line.draw(&painter, r.topLeft());
    }
    return r.bottom() + 0.5;
}

void TextSlices::findCuts()
{
    const QAbstractTextDocumentLayout *layout = m_doc->documentLayout();
    for (QTextBlock b = m_doc->begin(); b.isValid(); b = b.next()) {
        const QTextLayout *tl = b.layout();
        const qreal top = layout->blockBoundingRect(b).top();
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QRectF r = tl->lineAt(i).rect();
            m_lines.push_back({ top + r.top(), top + r.bottom(), b.blockNumber(), i });
        }
    }
    std::stable_sort(m_lines.begin(), m_lines.end(), [](const Line &a, const Line &b) { return a.top < b.top; });
    qreal bottom = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        bottom = qMax(bottom, m_lines[i].bottom);
        const qreal next = i + 1 < m_lines.size() ? m_lines[i + 1].top : m_height;
        if (next >= bottom)
            m_cuts.emplace_back(bottom, next);
    }
}

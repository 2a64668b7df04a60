#pragma once
// The one form in which a segment's rich text is stored and exported.
// Segment texts come from the conversation editor, from the recogniser and
// from project folders made elsewhere; whatever they hold, what leaves here
// is only what the editor itself writes, so no page or document made from
// it runs script, follows a link or reads a file outside the project.

#include <QString>

namespace SegmentHtml {

// The body of an HTML text (a whole document or a fragment), written anew
// with paragraphs, line breaks, spans, bold and italic, text styles,
// highlight anchors ("#hl" and digits) and pictures under "images/". Every
// other element goes with its text kept (a block's text stays on a line of
// its own); every other attribute or style goes. Runs of blanks are marked to
// stay as typed; text holds only characters XML allows. Cleaning its own
// output changes nothing.
QString clean(const QString &html);

}

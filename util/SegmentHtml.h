#pragma once
// The one form in which a segment's rich text is stored and exported.
// Segment texts come from the conversation editor, from the recogniser and
// from project folders made elsewhere; whatever they hold, what leaves here
// is only what the editor itself writes, so no page or document made from
// it runs script, reads a file outside the project or takes long to lay
// out, and the only links that lead elsewhere are web addresses.

#include <QString>

namespace SegmentHtml {

// The body of an HTML text (a whole document or a fragment), written anew
// with what the editor writes: paragraphs, headings, lists, tables,
// preformatted text, line breaks, spans, bold, italic, underline,
// strike-through, sub- and superscript, their layout and text styles within
// what a bubble can show, links to highlights ("#hl" and digits) and to web
// addresses, and pictures under "images/". Every other element goes with its
// text kept (a block's text stays on a line of its own); every other
// attribute or style goes, and so does whatever would hide text. Runs of
// blanks are marked to stay as typed; text holds only characters XML allows.
// Cleaning its own output changes nothing.
QString clean(const QString &html);

}

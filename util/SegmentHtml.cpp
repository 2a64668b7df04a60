#include "util/SegmentHtml.h"

#include "util/FileUtil.h"
#include "util/XmlText.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QVector>

namespace {

// ---- reading ---------------------------------------------------------------
// Markup is read as a browser reads it, forgiving and to the end: a stray
// "<" or "&", an unquoted value or a missing end tag loses no text.

struct Attribute
{
    QString name; // lower case
    QString value;
};

struct Token
{
    enum Type { Text, Start, End, Other } type = Other;
    QString name; // as written
    QVector<Attribute> attributes;
    bool selfClosing = false;
    QString text;
};

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\f');
}

// One character reference (without "&" and ";"); known holds the named
// ones met so far that only the editor's own reader knows.
QString decodeReference(const QString &name, QHash<QString, QString> &known)
{
    if (name.startsWith(QLatin1Char('#'))) {
        const bool hex = name.size() > 1 && (name.at(1) == QLatin1Char('x') || name.at(1) == QLatin1Char('X'));
        bool ok = false;
        const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        // Code points XML forbids are taken out with the rest of the text.
        return ok && code <= 0x10FFFF ? QString::fromUcs4(&code, 1) : QString();
    }
    static const QHash<QString, QString> common { { "lt", "<" }, { "gt", ">" }, { "amp", "&" }, { "quot", "\"" },
                                                  { "apos", "'" }, { "nbsp", QString(QChar::Nbsp) } };
    auto it = common.constFind(name);
    if (it != common.constEnd())
        return *it;
    auto k = known.find(name);
    if (k == known.end()) {
        // The rest as the editor reads them; an unknown name stays as it stands.
        const QString entity = QLatin1Char('&') + name + QLatin1Char(';');
        const QString read = QTextDocumentFragment::fromHtml(entity).toPlainText();
        k = known.insert(name, read.isEmpty() ? entity : read);
    }
    return *k;
}

QString decode(const QString &raw, QHash<QString, QString> &known)
{
    if (!raw.contains(QLatin1Char('&')))
        return raw;
    // One pass over the text: a match at each "&" would check the rest of
    // the text again every time.
    static const QRegularExpression reference(
        QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[A-Za-z][A-Za-z0-9]{0,31});"));
    QString out;
    int from = 0;
    for (auto it = reference.globalMatch(raw); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += raw.midRef(from, m.capturedStart() - from);
        out += decodeReference(m.captured(1), known);
        from = m.capturedEnd();
    }
    out += raw.midRef(from);
    return out;
}

class Tokenizer
{
public:
    explicit Tokenizer(const QString &html)
        : s(html)
    {
    }

    // False at the end of the text.
    bool next(Token &t)
    {
        t = Token();
        if (pos >= s.size())
            return false;
        if (isMarkup(pos)) {
            const QChar c = s.at(pos + 1);
            if (s.midRef(pos, 9) == QLatin1String("<![CDATA[")) {
                const int from = pos + 9;
                const int end = skipPast(QStringLiteral("]]>"), from);
                t.type = Token::Text;
                t.text = s.mid(from, end - from);
            } else if (s.midRef(pos, 4) == QLatin1String("<!--")) {
                skipPast(QStringLiteral("-->"), pos + 4);
            } else if (c == QLatin1Char('!') || c == QLatin1Char('?')) {
                skipPast(QStringLiteral(">"), pos);
            } else if (c == QLatin1Char('/')) {
                pos += 2;
                t.type = Token::End;
                t.name = readName();
                skipPast(QStringLiteral(">"), pos);
            } else {
                ++pos;
                t.type = Token::Start;
                t.name = readName();
                readAttributes(t);
            }
            return true;
        }
        int end = pos + 1;
        while (end < s.size() && !isMarkup(end))
            ++end;
        t.type = Token::Text;
        t.text = decode(s.mid(pos, end - pos), entities);
        pos = end;
        return true;
    }

    // After the start tag of an element whose content is no markup (a
    // script, a style sheet, a title): past its end tag.
    void skipRawText(const QString &name)
    {
        const QString endTag = QStringLiteral("</") + name;
        const int at = s.indexOf(endTag, pos, Qt::CaseInsensitive);
        pos = at < 0 ? s.size() : at;
        if (at >= 0)
            skipPast(QStringLiteral(">"), pos);
    }

private:
    bool isMarkup(int i) const
    {
        if (s.at(i) != QLatin1Char('<') || i + 1 >= s.size())
            return false;
        const QChar c = s.at(i + 1);
        if (c == QLatin1Char('/'))
            return i + 2 < s.size() && isAsciiLetter(s.at(i + 2));
        return isAsciiLetter(c) || c == QLatin1Char('!') || c == QLatin1Char('?');
    }

    // Moves past the next marker at or after from; returns where the marker
    // began (the end of the text when there is none).
    int skipPast(const QString &marker, int from)
    {
        const int at = s.indexOf(marker, from);
        pos = at < 0 ? s.size() : at + marker.size();
        return at < 0 ? s.size() : at;
    }

    QString readName()
    {
        const int start = pos;
        while (pos < s.size() && !isBlank(s.at(pos)) && s.at(pos) != QLatin1Char('/') && s.at(pos) != QLatin1Char('>'))
            ++pos;
        return s.mid(start, pos - start);
    }

    void skipBlanks()
    {
        while (pos < s.size() && isBlank(s.at(pos)))
            ++pos;
    }

    void readAttributes(Token &t)
    {
        while (pos < s.size()) {
            skipBlanks();
            if (pos >= s.size())
                return;
            const QChar c = s.at(pos);
            if (c == QLatin1Char('>')) {
                ++pos;
                return;
            }
            if (c == QLatin1Char('/')) {
                ++pos;
                t.selfClosing = pos < s.size() && s.at(pos) == QLatin1Char('>');
                continue;
            }
            const int start = pos++;
            while (pos < s.size() && !isBlank(s.at(pos)) && s.at(pos) != QLatin1Char('/') && s.at(pos) != QLatin1Char('>')
                   && s.at(pos) != QLatin1Char('='))
                ++pos;
            Attribute a { s.mid(start, pos - start).toLower(), QString() };
            skipBlanks();
            if (pos < s.size() && s.at(pos) == QLatin1Char('=')) {
                ++pos;
                skipBlanks();
                if (pos < s.size() && (s.at(pos) == QLatin1Char('"') || s.at(pos) == QLatin1Char('\''))) {
                    const int close = s.indexOf(s.at(pos), pos + 1);
                    const int end = close < 0 ? s.size() : close;
                    a.value = decode(s.mid(pos + 1, end - pos - 1), entities);
                    pos = close < 0 ? s.size() : close + 1;
                } else {
                    const int vstart = pos;
                    while (pos < s.size() && !isBlank(s.at(pos)) && s.at(pos) != QLatin1Char('>'))
                        ++pos;
                    a.value = decode(s.mid(vstart, pos - vstart), entities);
                }
            }
            t.attributes << a;
        }
    }

    const QString s;
    int pos = 0;
    QHash<QString, QString> entities;
};

// ---- what stays -------------------------------------------------------------

bool oneOf(const QString &lowerName, std::initializer_list<const char *> list)
{
    for (const char *n : list) {
        if (lowerName == QLatin1String(n))
            return true;
    }
    return false;
}

bool isVoid(const QString &n)
{
    return oneOf(n, { "area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                      "track", "wbr" });
}

// Elements whose content is no text of the segment.
bool isSkipped(const QString &n)
{
    return oneOf(n, { "head", "style", "script", "title", "template" });
}

bool isRawText(const QString &n)
{
    return oneOf(n, { "style", "script", "title" });
}

bool belongsToHead(const QString &n)
{
    return oneOf(n, { "meta", "link", "base", "title", "style", "script", "noscript", "template" });
}

// Dropped elements that stand on lines of their own.
bool isBlock(const QString &n)
{
    return oneOf(n, { "address", "article", "aside", "blockquote", "caption", "center", "dd", "details", "dialog",
                      "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form", "h1", "h2", "h3", "h4",
                      "h5", "h6", "header", "hr", "li", "main", "nav", "ol", "pre", "section", "summary", "table",
                      "tbody", "td", "tfoot", "th", "thead", "tr", "ul" });
}

// Blocks the editor writes for paragraphs, headings, lists and tables.
bool isKeptBlock(const QString &n)
{
    return oneOf(n, { "p", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "ul", "ol", "li", "table", "thead", "tbody", "tfoot",
                      "tr", "td", "th" });
}

bool isKept(const QString &n)
{
    return isKeptBlock(n) || oneOf(n, { "span", "b", "i", "strong", "em", "u", "s", "sub", "sup", "a", "img" });
}

// Blocks that hold one paragraph of text.
bool isParagraph(const QString &n)
{
    return oneOf(n, { "p", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "li" });
}

bool isTablePart(const QString &n)
{
    return oneOf(n, { "thead", "tbody", "tfoot", "tr", "td", "th" });
}

// What a bubble can show: the readers lay out a table as a full grid of
// rows by its widest row, so columns stay few; a table in a cell multiplies
// the columns of the one it stands in past any bubble, and its cells stand
// as lines there; a list deeper than this moves its text out of sight.
constexpr int kMaxColumns = 20;
constexpr int kMaxTableDepth = 1;
constexpr int kMaxListDepth = 9;

// Values are matched whole: "$" would let a line feed follow.
bool isHighlightLink(const QString &v)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("#hl[0-9]+")));
    return re.match(v).hasMatch();
}

// A picture the editor saved into the project: relative, inside "images".
bool isProjectPicture(const QString &v)
{
    const QLatin1String folder("images/");
    return v.startsWith(folder) && FileUtil::isSavedPicture(v.mid(folder.size()));
}

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f) || c.isSpace();
}

// A web address, checked on what a browser opens once it has dropped the
// blanks and control characters it ignores in a link. Kept as the user gave
// it, so that it leads where it pointed: trimmed, without the tabs and line
// breaks a browser drops, and the other blanks and controls percent-encoded.
// Empty for anything else.
QString webLink(const QString &v)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("https?://[^/?#\\\\].*")),
                                       QRegularExpression::CaseInsensitiveOption);
    QString stripped;
    for (const QChar c : v) {
        if (!isBlankOrControl(c))
            stripped += c;
    }
    if (!re.match(stripped).hasMatch())
        return QString();
    int from = 0;
    int to = v.size();
    while (from < to && isBlankOrControl(v.at(from)))
        ++from;
    while (to > from && isBlankOrControl(v.at(to - 1)))
        --to;
    QString target;
    for (const QChar c : v.midRef(from, to - from)) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            continue;
        if (isBlankOrControl(c))
            target += QString::fromLatin1(QUrl::toPercentEncoding(QString(c)));
        else
            target += c;
    }
    // Blanks within the scheme: the address a browser reads.
    return re.match(target).hasMatch() ? target : stripped;
}

// The width or height of a picture, table or cell: within a bubble.
bool isBoxSize(const QString &v)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("([0-9]{1,4}(\\.[0-9]+)?)(%?)")));
    const QRegularExpressionMatch m = re.match(v);
    return m.hasMatch() && m.captured(1).toDouble() <= (m.captured(3).isEmpty() ? 1000 : 100);
}

// Borders and the room around cells, in pixels.
bool isSpacing(const QString &v)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,2}(\\.[0-9]+)?")));
    return re.match(v).hasMatch();
}

// How many columns or rows a cell spans.
bool isSpan(const QString &v)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("[1-9][0-9]?")));
    return re.match(v).hasMatch() && v.toInt() <= kMaxColumns;
}

bool isColourAttribute(const QString &v)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("#?[0-9A-Za-z]{1,20}")));
    return re.match(v).hasMatch();
}

// Cell padding, and borders: their widths, colours and line styles.
bool isTableProperty(const QString &p)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(
        QStringLiteral("padding(-(top|right|bottom|left))?|border-collapse|border(-(top|right|bottom|left))?(-(width|color|style))?")));
    return re.match(p).hasMatch();
}

bool isBorderWidth(const QString &p)
{
    return p.startsWith(QLatin1String("border")) && !p.endsWith(QLatin1String("-color"))
        && !p.endsWith(QLatin1String("-style")) && p != QLatin1String("border-collapse");
}

bool isStyleProperty(const QString &p)
{
    return oneOf(p, { "font-family", "font-size", "font-weight", "font-style", "font-variant", "text-decoration",
                      "color", "background-color", "vertical-align", "letter-spacing", "word-spacing",
                      "text-transform", "white-space", "text-align", "text-indent", "line-height", "margin-top",
                      "margin-bottom", "margin-left", "margin-right", "-qt-block-indent", "-qt-paragraph-type",
                      "list-style-type", "-qt-list-indent" })
        || isTableProperty(p);
}

// Words, numbers, colours and quoted font names; no functions but a colour,
// no escapes, no URLs, no negative lengths that move text elsewhere.
bool isSafeStyleValue(const QString &v)
{
    static const QRegularExpression colour(
        QStringLiteral("^rgba?\\(\\s*[0-9.]+%?\\s*(,\\s*[0-9.]+%?\\s*){2,3}\\)$"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression negative(QStringLiteral("(^|[^\\w-])-[0-9.]"));
    if (v.isEmpty() || negative.match(v).hasMatch())
        return false;
    if (v.contains(QLatin1Char('(')))
        return colour.match(v).hasMatch();
    static const QString punctuation = QStringLiteral("#.,%-_'\"!+ ");
    for (const QChar c : v) {
        if (!c.isLetterOrNumber() && !punctuation.contains(c))
            return false;
    }
    return true;
}

// A text colour every reader draws at least half opaque. Qt reads "#AARRGGBB"
// where a browser reads "#RRGGBBAA", and an alpha above 1 in steps of 1/255
// where a browser takes it as opaque: four or eight digits say nothing sure.
bool isOpaqueColour(const QString &v)
{
    if (v.compare(QLatin1String("transparent"), Qt::CaseInsensitive) == 0)
        return false;
    if (v.startsWith(QLatin1Char('#')))
        return v.size() == 4 || v.size() == 7;
    const QStringList parts = v.split(QLatin1Char(','));
    if (parts.size() < 4) // a name, or a colour without alpha
        return true;
    QString a = parts.at(3);
    a.remove(QLatin1Char(')'));
    a = a.trimmed();
    const bool percent = a.endsWith(QLatin1Char('%'));
    if (percent)
        a.chop(1);
    bool ok = false;
    double alpha = a.toDouble(&ok);
    alpha = percent ? alpha / 100 : alpha <= 1 ? alpha : alpha / 255;
    return ok && alpha >= 0.5;
}

// Text too small to read, or moved or stretched out of its bubble and page,
// is hidden text: sizes and distances stay within what a segment needs.
bool keepsTextInSight(const QString &property, const QString &value)
{
    // Points or pixels, at least 6, or a fixed size by name.
    static const QRegularExpression fontSize(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-9]{1,2}(\\.[0-9]+)?)(pt|px)|(xx?-)?(small|large)|medium")),
        QRegularExpression::CaseInsensitiveOption);
    // Up to 99 pixels or points, or a word ("super", "auto").
    static const QRegularExpression distance(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,2}(\\.[0-9]+)?(pt|px)?|[a-z-]+")),
        QRegularExpression::CaseInsensitiveOption);
    if (property == QLatin1String("font-size")) {
        const QRegularExpressionMatch m = fontSize.match(value);
        return m.hasMatch() && (m.captured(1).isEmpty() || m.captured(1).toDouble() >= 6);
    }
    if (property == QLatin1String("-qt-block-indent") || property == QLatin1String("-qt-list-indent")) // 40 pixels a step
        return value.size() == 1 && value.at(0) >= QLatin1Char('0') && value.at(0) <= QLatin1Char('9');
    if (property == QLatin1String("white-space")) // a line that never wraps runs off the page
        return !oneOf(value.toLower(), { "pre", "nowrap" });
    if (property.startsWith(QLatin1String("margin-")) || property.startsWith(QLatin1String("padding"))
        || isBorderWidth(property) || oneOf(property, { "text-indent", "letter-spacing", "word-spacing", "vertical-align" }))
        return distance.match(value).hasMatch();
    if (property == QLatin1String("line-height")) {
        // Lines neither laid over one another nor pushed pages apart.
        static const QRegularExpression height(
            QRegularExpression::anchoredPattern(QStringLiteral("([0-9]{1,3}(\\.[0-9]+)?)(%|pt|px)")),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = height.match(value);
        const double n = m.captured(1).toDouble();
        return m.hasMatch() && (m.captured(3) == QLatin1String("%") ? n >= 50 && n <= 400 : n >= 6 && n < 100);
    }
    if (property == QLatin1String("color"))
        return isOpaqueColour(value);
    return true;
}

// The declarations of a style attribute that are text styles, each as it
// was written; unmarked gets the same without the mark of an empty
// paragraph.
QString cleanStyle(const QString &style, QString &unmarked)
{
    QStringList kept;
    QStringList rest;
    const QStringList decls = style.split(QLatin1Char(';'));
    for (const QString &d : decls) {
        const int colon = d.indexOf(QLatin1Char(':'));
        const QString property = d.left(colon).trimmed().toLower();
        const QString value = d.mid(colon + 1).trimmed();
        if (colon > 0 && isStyleProperty(property) && isSafeStyleValue(value) && keepsTextInSight(property, value)) {
            kept << d;
            if (property != QLatin1String("-qt-paragraph-type"))
                rest << d;
        }
    }
    const QString end = style.trimmed().endsWith(QLatin1Char(';')) ? QStringLiteral(";") : QString();
    unmarked = rest.isEmpty() ? QString() : rest.join(QLatin1Char(';')) + end;
    return kept.isEmpty() ? QString() : kept.join(QLatin1Char(';')) + end;
}

// The layout attributes the editor writes, within what a bubble shows.
bool keepsAttribute(const QString &element, const Attribute &a)
{
    const bool cell = element == QLatin1String("td") || element == QLatin1String("th");
    const bool table = element == QLatin1String("table");
    if (isParagraph(element)) {
        if (a.name == QLatin1String("align"))
            return oneOf(a.value.toLower(), { "left", "right", "center", "justify" });
        if (a.name == QLatin1String("dir"))
            return oneOf(a.value.toLower(), { "ltr", "rtl" });
    }
    if ((element == QLatin1String("ul") || element == QLatin1String("ol")) && a.name == QLatin1String("type"))
        return oneOf(a.value, { "1", "a", "A", "i", "I", "disc", "circle", "square" });
    if (element == QLatin1String("img") && a.name == QLatin1String("src"))
        return isProjectPicture(a.value);
    if ((element == QLatin1String("img") || table || cell)
        && (a.name == QLatin1String("width") || a.name == QLatin1String("height")))
        return isBoxSize(a.value);
    if ((table || cell) && a.name == QLatin1String("bgcolor"))
        return isColourAttribute(a.value);
    if (table) {
        if (oneOf(a.name, { "border", "cellspacing", "cellpadding" }))
            return isSpacing(a.value);
        if (a.name == QLatin1String("align"))
            return oneOf(a.value.toLower(), { "left", "right", "center" });
    }
    if (cell && (a.name == QLatin1String("colspan") || a.name == QLatin1String("rowspan")))
        return isSpan(a.value);
    return false;
}

// Where a link may go: a highlight, a picture of the project or the web.
QString linkTarget(const QString &v)
{
    return isHighlightLink(v) || isProjectPicture(v) ? v : webLink(v);
}

// ---- writing ---------------------------------------------------------------

// Markup characters in text and values are escaped, so that the stored text
// reads back as the same text; values are quoted with '"'.
QString escapeMarkup(const QString &s, bool attribute)
{
    QString out;
    out.reserve(s.size());
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += attribute ? QString(c) : QStringLiteral("&gt;"); break;
        case '"': out += attribute ? QStringLiteral("&quot;") : QString(c); break;
        default: out += c; break;
        }
    }
    return out;
}

// Marks a text run whose blanks HTML would collapse; every reader of a
// stored segment (editor, html2text, exporters) honours it.
const QLatin1String keepSpaceStyle("white-space:pre-wrap;");

// Runs of blanks and tabs: what HTML would fold into one space. A line break
// inside a text node is markup layout (the editor writes <br/> for its own).
bool collapses(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\t') || (c == QLatin1Char(' ') && i > 0 && text.at(i - 1) == QLatin1Char(' ')))
            return true;
    }
    return false;
}

bool isLayoutSpace(const QString &text)
{
    return text.trimmed().isEmpty() && (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')));
}

class Cleaner
{
public:
    explicit Cleaner(const QString &html)
        : tokens(html)
    {
    }

    QString run()
    {
        Token t;
        while (!done && tokens.next(t)) {
            switch (t.type) {
            case Token::Start: start(t); break;
            case Token::End: end(t.name.toLower()); break;
            case Token::Text: text(t.text); break;
            case Token::Other: break; // comments, processing instructions, the document type
            }
        }
        while (!open.isEmpty())
            closeTop();
        flushText();
        return withoutFalseMarks();
    }

private:
    // Container: html and body, whose end ends the text. Kept: written.
    // Dropped: left out, its content kept. Skipped: left out with its content.
    enum class Kind { Container, Kept, Dropped, Skipped };
    struct Open
    {
        QString name; // lower case
        QString tag;  // as written
        Kind kind;
        bool keepsSpace = false;
        int mark = -1; // its start tag in marks
        bool outsideCells = false; // its text would stand in a table, in no cell
    };
    // A start tag that marks its paragraph as empty, and the same without
    // the mark, written in its place once the paragraph turns out to hold
    // text (the editor's reader would drop that text).
    struct Mark
    {
        int at;
        int length;
        QString unmarked;
        bool holdsText = false;
    };
    struct Table
    {
        bool kept;
        int columns = 0;              // of the row being read
        int spanned = 0;              // columns taken by cells of rows above
        QVector<QPair<int, int>> spans; // rows still to span, columns
    };

    void start(const Token &t)
    {
        const QString name = t.name.toLower();
        // Body content inside the head ends the head, as it does in a browser.
        if (inHead() && !belongsToHead(name))
            closeTop();
        if (skipping > 0 || isSkipped(name)) {
            if (isRawText(name) && !t.selfClosing)
                tokens.skipRawText(name);
            else if (!isVoid(name) && !t.selfClosing)
                push({ name, t.name, Kind::Skipped });
            return;
        }
        if (name == QLatin1String("html") || name == QLatin1String("body")) {
            push({ name, t.name, Kind::Container });
            return;
        }
        if (name == QLatin1String("br")) {
            lineBreak();
            return;
        }

        QString attrs;
        QString unmarkedAttrs;
        QString style;
        bool linked = false;
        int colspan = 1;
        int rowspan = 1;
        QSet<QString> seen;
        if (isKept(name)) {
            // The editor writes a list item's own style and its block's as two
            // attributes, and its reader applies both: they stay as one.
            QStringList styles;
            for (const Attribute &a : t.attributes) {
                if (a.name == QLatin1String("style"))
                    styles << a.value;
            }
            for (const Attribute &a : t.attributes) {
                if (seen.contains(a.name))
                    continue;
                QString value = XmlText::withoutForbidden(a.value);
                QString unmarked;
                if (a.name == QLatin1String("style")) {
                    seen.insert(a.name);
                    value = cleanStyle(XmlText::withoutForbidden(styles.join(QLatin1Char(';'))), unmarked);
                    style = value;
                } else if (name == QLatin1String("a") && a.name == QLatin1String("href")) {
                    value = linkTarget(value);
                    linked = !value.isEmpty();
                } else if (!keepsAttribute(name, Attribute { a.name, value })) {
                    continue;
                } else {
                    linked = linked || a.name == QLatin1String("src");
                    if (a.name == QLatin1String("colspan"))
                        colspan = value.toInt();
                    if (a.name == QLatin1String("rowspan"))
                        rowspan = value.toInt();
                }
                if (value.isEmpty())
                    continue;
                seen.insert(a.name);
                const QString written = QStringLiteral(" %1=\"%2\"").arg(a.name, escapeMarkup(value, true));
                attrs += written;
                if (a.name != QLatin1String("style"))
                    unmarkedAttrs += written;
                else if (!unmarked.isEmpty())
                    unmarkedAttrs += QStringLiteral(" style=\"%1\"").arg(escapeMarkup(unmarked, true));
            }
        }
        // Only a paragraph can be empty.
        if (!isParagraph(name))
            attrs = unmarkedAttrs;
        // A link that goes nowhere of the project's or the web's and a
        // picture from elsewhere are no part of the segment.
        const bool needsLink = name == QLatin1String("a") || name == QLatin1String("img");
        if (!isKept(name) || (needsLink && !linked) || !fits(name, colspan)) {
            if (isBlock(name))
                blockBoundary();
            if (!isVoid(name) && !t.selfClosing)
                push({ name, t.name, Kind::Dropped });
            return;
        }

        if (name == QLatin1String("p"))
            closeOpen(QStringLiteral("p"));
        if (isKeptBlock(name)) {
            dropLayoutEnd();
            lineHasContent = breakPending = false;
        }
        if (name == QLatin1String("tr"))
            startRow();
        if (name == QLatin1String("td") || name == QLatin1String("th"))
            addCell(colspan, rowspan);
        if (name == QLatin1String("img")) {
            inlineContent();
            holdsText();
            write(QStringLiteral("<%1%2></%1>").arg(t.name, attrs));
            return;
        }
        write(QStringLiteral("<%1%2>").arg(t.name, attrs));
        int mark = -1;
        if (attrs != unmarkedAttrs) {
            const int length = t.name.size() + attrs.size() + 2;
            mark = marks.size();
            marks << Mark { out.size() - length, length, QStringLiteral("<%1%2>").arg(t.name, unmarkedAttrs) };
        }
        if (t.selfClosing)
            write(QStringLiteral("</%1>").arg(t.name));
        else
            // Blanks in a pre element are kept as typed by every reader.
            push({ name, t.name, Kind::Kept, style == keepSpaceStyle || name == QLatin1String("pre"), mark });
    }

    // Whether an element of the editor's lists and tables stays within what
    // a bubble can show.
    bool fits(const QString &name, int colspan) const
    {
        if (name == QLatin1String("table"))
            return keptTables < kMaxTableDepth;
        if (name == QLatin1String("ul") || name == QLatin1String("ol"))
            return keptLists < kMaxListDepth;
        if (!isTablePart(name))
            return true;
        // Parts of a table that is left out go with it.
        if (tables.isEmpty() || !tables.last().kept)
            return false;
        const Table &table = tables.last();
        return name == QLatin1String("tr") || name == QLatin1String("thead") || name == QLatin1String("tbody")
            || name == QLatin1String("tfoot") || table.columns + table.spanned + colspan <= kMaxColumns;
    }

    void startRow()
    {
        Table &table = tables.last();
        table.columns = table.spanned = 0;
        for (int i = table.spans.size() - 1; i >= 0; --i) {
            table.spanned += table.spans.at(i).second;
            if (--table.spans[i].first == 0)
                table.spans.removeAt(i);
        }
    }

    void addCell(int colspan, int rowspan)
    {
        Table &table = tables.last();
        table.columns += colspan;
        if (rowspan > 1)
            table.spans.append({ rowspan - 1, colspan });
    }

    // The line feed the editor writes after the text of a list item that
    // holds another list is layout, no blank of the item's text.
    void dropLayoutEnd()
    {
        int i = pendingText.size();
        while (i > 0 && isBlank(pendingText.at(i - 1)))
            --i;
        if (!keepsSpace() && isLayoutSpace(pendingText.mid(i)))
            pendingText.truncate(i);
    }

    // Text or a picture reached the open elements: none of them is empty.
    void holdsText()
    {
        for (const int m : qAsConst(emptyMarks))
            marks[m].holdsText = true;
        emptyMarks.clear();
    }

    QString withoutFalseMarks() const
    {
        QString result;
        int from = 0;
        for (const Mark &m : marks) {
            if (!m.holdsText)
                continue;
            result += out.midRef(from, m.at - from);
            result += m.unmarked;
            from = m.at + m.length;
        }
        return from == 0 ? out : result + out.midRef(from);
    }

    void end(const QString &name)
    {
        if (!openCount.value(name))
            return;
        for (int i = open.size() - 1; i >= 0; --i) {
            if (open.at(i).name != name)
                continue;
            const bool container = open.at(i).kind == Kind::Container;
            while (open.size() > i)
                closeTop();
            // What follows an html or body element is not part of the text.
            done = container;
            return;
        }
    }

    void text(const QString &raw)
    {
        if (inHead() && !raw.trimmed().isEmpty())
            closeTop();
        if (skipping > 0)
            return;
        const QString t = XmlText::withoutForbidden(raw);
        if (t.isEmpty() || isLayoutSpace(t))
            return;
        if (t.trimmed().isEmpty()) {
            // Blanks between two blocks are no line of their own.
            if (breakPending)
                return;
        } else {
            inlineContent();
        }
        holdsText();
        pendingText += t;
    }

    // Text between two pieces of markup goes out as one run, so that blanks
    // that meet across dropped elements are marked as they will be read.
    void flushText()
    {
        if (pendingText.isEmpty())
            return;
        const bool wrap = collapses(pendingText) && !keepsSpace();
        const bool bare = !wrap && outsideCells() && !pendingText.trimmed().isEmpty();
        if (wrap)
            out += QStringLiteral("<span style=\"%1\">").arg(keepSpaceStyle);
        else if (bare)
            out += QLatin1String("<span>");
        out += escapeMarkup(pendingText, false);
        if (wrap || bare)
            out += QLatin1String("</span>");
        pendingText.clear();
    }

    // Text in a table but in none of its cells: the editor's reader drops it
    // unless an element holds it.
    bool outsideCells() const { return !open.isEmpty() && open.last().outsideCells; }

    void write(const QString &markup)
    {
        flushText();
        out += markup;
    }

    bool keepsSpace() const { return !open.isEmpty() && open.last().keepsSpace; }

    bool inHead() const { return !open.isEmpty() && open.last().name == QLatin1String("head"); }

    void push(Open o)
    {
        // Blanks are kept as typed inside a marked element: the style is inherited.
        o.keepsSpace = o.keepsSpace || keepsSpace();
        if (o.kind == Kind::Kept)
            o.outsideCells = o.name == QLatin1String("table")
                || (isTablePart(o.name) && o.name != QLatin1String("td") && o.name != QLatin1String("th"));
        else
            o.outsideCells = outsideCells();
        open << o;
        ++openCount[o.name];
        if (o.kind == Kind::Skipped)
            ++skipping;
        if (o.mark >= 0)
            emptyMarks << o.mark;
        if (o.kind != Kind::Skipped && o.name == QLatin1String("table")) {
            tables << Table { o.kind == Kind::Kept };
            keptTables += o.kind == Kind::Kept;
        }
        if (o.kind == Kind::Kept && (o.name == QLatin1String("ul") || o.name == QLatin1String("ol")))
            ++keptLists;
    }

    void closeTop()
    {
        // Its text is marked by what it stands in.
        if (open.last().kind == Kind::Kept)
            flushText();
        const Open o = open.takeLast();
        --openCount[o.name];
        if (!emptyMarks.isEmpty() && emptyMarks.last() == o.mark)
            emptyMarks.removeLast();
        if (o.kind != Kind::Skipped && o.name == QLatin1String("table")) {
            keptTables -= tables.takeLast().kept;
        }
        if (o.kind == Kind::Kept && (o.name == QLatin1String("ul") || o.name == QLatin1String("ol")))
            --keptLists;
        switch (o.kind) {
        case Kind::Kept:
            write(QStringLiteral("</%1>").arg(o.tag));
            if (isKeptBlock(o.name))
                lineHasContent = breakPending = false;
            break;
        case Kind::Skipped: --skipping; break;
        case Kind::Dropped:
            if (isBlock(o.name))
                blockBoundary();
            break;
        case Kind::Container: break;
        }
    }

    // A paragraph begun inside another ends that one, as in a browser.
    void closeOpen(const QString &name)
    {
        if (!openCount.value(name))
            return;
        for (int i = open.size() - 1; i >= 0; --i) {
            if (open.at(i).name == name && open.at(i).kind == Kind::Kept) {
                while (open.size() > i)
                    closeTop();
                return;
            }
        }
    }

    void lineBreak()
    {
        write(QStringLiteral("<br/>"));
        lineHasContent = breakPending = false;
    }

    // The text of a dropped block keeps a line of its own: a break goes in
    // before whatever follows on the same line.
    void blockBoundary()
    {
        if (lineHasContent)
            breakPending = true;
    }

    void inlineContent()
    {
        if (breakPending)
            write(QStringLiteral("<br/>"));
        breakPending = false;
        lineHasContent = true;
    }

    Tokenizer tokens;
    QVector<Open> open;
    QHash<QString, int> openCount; // by name, so that a stray end tag costs no search
    QString out;
    QString pendingText;
    QVector<Mark> marks;
    QVector<int> emptyMarks; // marks of open paragraphs that hold no text yet
    QVector<Table> tables;   // open, kept or left out
    int keptTables = 0;
    int keptLists = 0;
    int skipping = 0;
    bool lineHasContent = false;
    bool breakPending = false;
    bool done = false;
};

}

QString SegmentHtml::clean(const QString &html)
{
    // Taken out first, so that no reader below meets a broken surrogate.
    return Cleaner(XmlText::withoutForbidden(html)).run();
}

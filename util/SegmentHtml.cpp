#include "util/SegmentHtml.h"

#include "util/FileUtil.h"
#include "util/XmlText.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocumentFragment>
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

bool isKept(const QString &n)
{
    return oneOf(n, { "p", "span", "b", "i", "strong", "em", "a", "img" });
}

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

bool isLength(const QString &v)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,5}(\\.[0-9]+)?%?")));
    return re.match(v).hasMatch();
}

bool isStyleProperty(const QString &p)
{
    return oneOf(p, { "font-family", "font-size", "font-weight", "font-style", "font-variant", "text-decoration",
                      "color", "background-color", "vertical-align", "letter-spacing", "word-spacing",
                      "text-transform", "white-space", "text-align", "text-indent", "line-height", "margin-top",
                      "margin-bottom", "margin-left", "margin-right", "-qt-block-indent", "-qt-paragraph-type" });
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
    if (property == QLatin1String("-qt-block-indent")) // in steps of 40 pixels
        return value.size() == 1 && value.at(0) >= QLatin1Char('0') && value.at(0) <= QLatin1Char('9');
    if (property == QLatin1String("white-space")) // a line that never wraps runs off the page
        return !oneOf(value.toLower(), { "pre", "nowrap" });
    if (property.startsWith(QLatin1String("margin-"))
        || oneOf(property, { "text-indent", "letter-spacing", "word-spacing", "vertical-align" }))
        return distance.match(value).hasMatch();
    return true;
}

// The declarations of a style attribute that are text styles, each as it
// was written.
QString cleanStyle(const QString &style)
{
    QStringList kept;
    const QStringList decls = style.split(QLatin1Char(';'));
    for (const QString &d : decls) {
        const int colon = d.indexOf(QLatin1Char(':'));
        const QString property = d.left(colon).trimmed().toLower();
        const QString value = d.mid(colon + 1).trimmed();
        if (colon > 0 && isStyleProperty(property) && isSafeStyleValue(value) && keepsTextInSight(property, value))
            kept << d;
    }
    if (kept.isEmpty())
        return QString();
    return kept.join(QLatin1Char(';')) + (style.trimmed().endsWith(QLatin1Char(';')) ? QStringLiteral(";") : QString());
}

bool keepsAttribute(const QString &element, const Attribute &a)
{
    if (element == QLatin1String("p")) {
        if (a.name == QLatin1String("align"))
            return oneOf(a.value.toLower(), { "left", "right", "center", "justify" });
        if (a.name == QLatin1String("dir"))
            return oneOf(a.value.toLower(), { "ltr", "rtl" });
    }
    if (element == QLatin1String("a") && a.name == QLatin1String("href"))
        return isHighlightLink(a.value) || isProjectPicture(a.value);
    if (element == QLatin1String("img")) {
        if (a.name == QLatin1String("src"))
            return isProjectPicture(a.value);
        if (a.name == QLatin1String("width") || a.name == QLatin1String("height"))
            return isLength(a.value);
    }
    return false;
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
        return out;
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
        QString style;
        bool linked = false;
        QSet<QString> seen;
        if (isKept(name)) {
            for (const Attribute &a : t.attributes) {
                if (seen.contains(a.name))
                    continue;
                QString value = XmlText::withoutForbidden(a.value);
                if (a.name == QLatin1String("style")) {
                    value = cleanStyle(value);
                    style = value;
                } else if (!keepsAttribute(name, Attribute { a.name, value })) {
                    continue;
                } else {
                    linked = linked || a.name == QLatin1String("href") || a.name == QLatin1String("src");
                }
                if (value.isEmpty())
                    continue;
                seen.insert(a.name);
                attrs += QStringLiteral(" %1=\"%2\"").arg(a.name, escapeMarkup(value, true));
            }
        }
        // A link that goes nowhere of the project's and a picture from
        // elsewhere are no part of the segment.
        const bool needsLink = name == QLatin1String("a") || name == QLatin1String("img");
        if (!isKept(name) || (needsLink && !linked)) {
            if (isBlock(name))
                blockBoundary();
            if (!isVoid(name) && !t.selfClosing)
                push({ name, t.name, Kind::Dropped });
            return;
        }

        if (name == QLatin1String("p")) {
            closeOpen(QStringLiteral("p"));
            lineHasContent = breakPending = false;
        }
        if (name == QLatin1String("img")) {
            inlineContent();
            write(QStringLiteral("<%1%2></%1>").arg(t.name, attrs));
            return;
        }
        write(QStringLiteral("<%1%2>").arg(t.name, attrs));
        if (t.selfClosing)
            write(QStringLiteral("</%1>").arg(t.name));
        else
            push({ name, t.name, Kind::Kept, style == keepSpaceStyle });
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
        pendingText += t;
    }

    // Text between two pieces of markup goes out as one run, so that blanks
    // that meet across dropped elements are marked as they will be read.
    void flushText()
    {
        if (pendingText.isEmpty())
            return;
        const bool wrap = collapses(pendingText) && !keepsSpace();
        if (wrap)
            out += QStringLiteral("<span style=\"%1\">").arg(keepSpaceStyle);
        out += escapeMarkup(pendingText, false);
        if (wrap)
            out += QLatin1String("</span>");
        pendingText.clear();
    }

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
        open << o;
        ++openCount[o.name];
        if (o.kind == Kind::Skipped)
            ++skipping;
    }

    void closeTop()
    {
        // Its text is marked by what it stands in.
        if (open.last().kind == Kind::Kept)
            flushText();
        const Open o = open.takeLast();
        --openCount[o.name];
        switch (o.kind) {
        case Kind::Kept:
            write(QStringLiteral("</%1>").arg(o.tag));
            if (o.name == QLatin1String("p"))
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

#include "util/XmlText.h"

namespace {

bool allowedBmp(ushort u)
{
    if (u < 0x20)
        return u == 0x9 || u == 0xA || u == 0xD;
    return u < 0xD800 || (u >= 0xE000 && u <= 0xFFFD);
}

bool separates(ushort u)
{
    return u == 0xB || u == 0xC || (u >= 0x1C && u <= 0x1F);
}

// Where the first forbidden character stands, or -1.
int firstForbidden(const QString &text)
{
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (!allowedBmp(c.unicode()))
            return i;
    }
    return -1;
}

}

QString XmlText::withoutForbidden(const QString &text)
{
    const int first = firstForbidden(text);
    if (first < 0)
        return text;

    const int n = text.size();
    QString out = text.left(first);
    out.reserve(n);
    bool space = false;
    for (int i = first; i < n; ++i) {
        const QChar c = text.at(i);
        const bool pair = c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate();
        if (!pair && !allowedBmp(c.unicode())) {
            space = space || separates(c.unicode());
            continue;
        }
        if (space && !c.isSpace() && !out.isEmpty() && !out.back().isSpace())
            out += QLatin1Char(' ');
        space = false;
        out += c;
        if (pair)
            out += text.at(++i);
    }
    return out;
}

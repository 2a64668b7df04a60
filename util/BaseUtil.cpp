#include "util/BaseUtil.h"

#include "util/Platform.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickTextDocument>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QUuid>

namespace {

QPointer<QQmlApplicationEngine> &appEngine()
{
    static QPointer<QQmlApplicationEngine> e;
    return e;
}

QString pad(qlonglong v, int width)
{
    return QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
}

// QML hands over URLs ("file:///..."), but a plain path is accepted as well.
QString localPath(const QString &url)
{
    const QUrl u(url, QUrl::TolerantMode);
    if (u.isLocalFile())
        return u.toLocalFile();
    if (u.scheme().isEmpty())
        return url;
    return QString();
}

QSize saveImage(const QImage &img, const QString &saveUrl)
{
    const QString path = localPath(saveUrl);
    if (img.isNull() || path.isEmpty())
        return QSize(0, 0);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!img.save(path))
        return QSize(0, 0);
    return img.size();
}

QTextDocument *textDocument(QQuickTextDocument *doc0)
{
    return doc0 ? doc0->textDocument() : nullptr;
}

// The DOM hands back decoded text; written back raw, "<" or "&" in a segment
// would be read as markup on the next load and the rest of the text lost.
// Attribute values are quoted with '"', so that needs escaping there instead of '>'.
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

QString escapeText(const QString &s) { return escapeMarkup(s, false); }
QString escapeAttribute(const QString &s) { return escapeMarkup(s, true); }

bool isNamed(const QString &tag, const char *name)
{
    return tag.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

void writeNodes(QDomNode node, QBuffer &out)
{
    for (; !node.isNull(); node = node.nextSibling()) {
        if (node.isElement()) {
            const QDomElement el = node.toElement();
            const QString tag = el.tagName();
            if (isNamed(tag, "html") || isNamed(tag, "body")) {
                writeNodes(el.firstChild(), out);
                return;
            }
            if (isNamed(tag, "head") || isNamed(tag, "style"))
                continue;
            if (isNamed(tag, "br")) {
                out.write("<br/>");
                continue;
            }
            QString start = QLatin1Char('<') + tag;
            const QDomNamedNodeMap attrs = el.attributes();
            for (int i = 0; i < attrs.count(); ++i) {
                const QDomAttr a = attrs.item(i).toAttr();
                start += QStringLiteral(" %1=\"%2\"").arg(a.name(), escapeAttribute(a.value()));
            }
            start += QLatin1Char('>');
            out.write(start.toUtf8());
            writeNodes(el.firstChild(), out);
            out.write(QStringLiteral("</%1>").arg(tag).toUtf8());
        } else if (node.isText()) { // CDATA sections are text nodes too
            const QString text = node.toText().data();
            // The separating blank is written once: a text that already starts
            // with white space does not grow on every pass.
            if (text.isEmpty() || !text.at(0).isSpace())
                out.write(" ");
            out.write(escapeText(text).toUtf8());
        }
    }
}

}

BaseUtil::BaseUtil(QObject *parent)
    : QObject(parent)
{
}

void BaseUtil::setEngine(QQmlApplicationEngine *engine)
{
    appEngine() = engine;
}

QQmlApplicationEngine *BaseUtil::engine()
{
    return appEngine();
}

QString BaseUtil::formatSecs(int secs)
{
    const int minutes = secs / 60;
    const int hours = minutes / 60;
    return QStringLiteral("%1:%2:%3").arg(pad(hours, 2), pad(minutes - hours * 60, 2), pad(secs - minutes * 60, 2));
}

QString BaseUtil::formatMSecs(qlonglong msecs)
{
    const qlonglong seconds = msecs / 1000;
    const qlonglong minutes = msecs / 60000;
    const qlonglong hours = minutes / 60;
    return QStringLiteral("%1:%2:%3,%4")
        .arg(pad(hours, 2), pad(minutes - hours * 60, 2), pad(seconds - (seconds / 60) * 60, 2),
             pad(msecs - seconds * 1000, 3));
}

QString BaseUtil::toHex(const QString &str)
{
    return QString::fromLatin1(str.toUtf8().toHex());
}

void BaseUtil::copyText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

bool BaseUtil::clipboardHasImage()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    return data && data->hasImage();
}

QSize BaseUtil::saveClipboardImage(const QString &saveUrl)
{
    if (!clipboardHasImage())
        return QSize(0, 0);
    return saveImage(QGuiApplication::clipboard()->image(QClipboard::Clipboard), saveUrl);
}

void BaseUtil::textEditReplaceSel(QQuickTextDocument *doc0, int selStart, int selEnd, const QString &html)
{
    QTextDocument *doc = textDocument(doc0);
    if (!doc)
        return;
    doc->setDefaultStyleSheet(QStringLiteral("a {text-decoration:none;}"));
    const int last = doc->characterCount() - 1; // the final paragraph separator is not a position
    QTextCursor cursor(doc);
    cursor.setPosition(qBound(0, selStart, last));
    if (selEnd > selStart)
        cursor.setPosition(qBound(0, selEnd, last), QTextCursor::KeepAnchor);
    cursor.insertHtml(html);
}

void BaseUtil::textEditAppendBoldFormat(QQuickTextDocument *doc0, int selStart, int selEnd)
{
    QTextDocument *doc = textDocument(doc0);
    if (!doc || selEnd <= selStart)
        return;
    const int last = doc->characterCount() - 1;
    QTextCursor cursor(doc);
    cursor.setPosition(qBound(0, selStart, last));
    cursor.setPosition(qBound(0, selEnd, last), QTextCursor::KeepAnchor);
    if (!cursor.hasSelection())
        return;
    QTextCharFormat fmt;
    fmt.setFontWeight(75);
    cursor.mergeCharFormat(fmt);
}

QString BaseUtil::genUUID()
{
    static const QRegularExpression notHex(QStringLiteral("[^0-9a-z]"), QRegularExpression::CaseInsensitiveOption);
    return QUuid::createUuid().toString().remove(notHex).toLower();
}

QString BaseUtil::fileExt(const QString &fileUrl)
{
    return QFileInfo(fileUrl).suffix();
}

QString BaseUtil::fileName(const QString &url)
{
    return QFileInfo(url).fileName();
}

QSize BaseUtil::saveImg(const QString &imgUrl, const QString &saveUrl)
{
    const QString src = localPath(imgUrl);
    if (src.isEmpty())
        return QSize(0, 0);
    QImage img;
    if (!img.load(src))
        return QSize(0, 0);
    return saveImage(img, saveUrl);
}

QString BaseUtil::html2text(const QString &html)
{
    QTextDocument doc;
    doc.setHtml(html);
    return doc.toPlainText();
}

QString BaseUtil::htmlBody(const QString &raw)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);

    QDomDocument dom;
    // A parse error is not fatal: whatever the parser built is written.
    dom.setContent(raw.toUtf8(), false);
    if (!isNamed(dom.documentElement().tagName(), "html"))
        dom.setContent(QByteArrayLiteral("<html>") + raw.toUtf8() + QByteArrayLiteral("</html>"), false);

    writeNodes(dom.documentElement(), out);
    out.close();
    return QString::fromUtf8(bytes);
}

void BaseUtil::qmlLoad(const QString &url)
{
    if (QQmlApplicationEngine *e = appEngine())
        e->load(url);
}

void BaseUtil::qmlSetRootProperty(const QString &name, QObject *obj)
{
    QQmlApplicationEngine *e = appEngine();
    if (!e)
        return;
    QQmlContext *ctx = e->rootContext();
    ctx->setContextProperty(name, obj);
    // Pages publish objects that die with them; the name must not keep
    // pointing at freed memory, unless another object took it meanwhile.
    if (obj) {
        QObject::connect(obj, &QObject::destroyed, ctx, [ctx, name, obj] {
            if (ctx->contextProperty(name).value<QObject *>() == obj)
                ctx->setContextProperty(name, static_cast<QObject *>(nullptr));
        });
    }
}

QString BaseUtil::urlFromLocal(const QString &path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::PrettyDecoded);
}

qulonglong BaseUtil::totalMemory()
{
    return Platform::totalPhysicalMemory();
}

#include "util/BaseUtil.h"

#include "util/Platform.h"
#include "util/SegmentHtml.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickTextDocument>
#include <QRegularExpression>
#include <QTextBlock>
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

qint64 BaseUtil::secsToMSecs(double secs)
{
    return qRound64(secs * 1000.0);
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

namespace {

// The range [selStart, selEnd) of the editor's document; null when empty.
bool selectRange(QTextDocument *doc, int selStart, int selEnd, QTextCursor &cursor)
{
    if (!doc || selEnd <= selStart)
        return false;
    const int last = doc->characterCount() - 1;
    cursor = QTextCursor(doc);
    cursor.setPosition(qBound(0, selStart, last));
    cursor.setPosition(qBound(0, selEnd, last), QTextCursor::KeepAnchor);
    return cursor.hasSelection();
}

}

void BaseUtil::textEditAppendBoldFormat(QQuickTextDocument *doc0, int selStart, int selEnd)
{
    QTextCursor cursor;
    if (!selectRange(textDocument(doc0), selStart, selEnd, cursor))
        return;
    QTextCharFormat fmt;
    fmt.setFontWeight(75);
    cursor.mergeCharFormat(fmt);
}

void BaseUtil::textEditAppendHighlightFormat(QQuickTextDocument *doc0, int selStart, int selEnd, const QString &href)
{
    QTextCursor cursor;
    if (!selectRange(textDocument(doc0), selStart, selEnd, cursor))
        return;
    QTextCharFormat link;
    link.setBackground(QColor(0xA7, 0xE4, 0xFB));
    link.setForeground(QColor(0x33, 0x33, 0x33));
    link.setAnchor(true);
    link.setAnchorHref(href);

    // A picture keeps the link that opens it; everything else links to the
    // highlight. The links are noted first: a format change merges and
    // splits fragments.
    const int from = cursor.selectionStart();
    const int to = cursor.selectionEnd();
    QTextDocument *doc = cursor.document();
    struct OwnLink { int start, end; QString href; };
    QVector<OwnLink> kept;
    for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() < to; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QString own = f.charFormat().anchorHref();
            const int start = qMax(from, f.position());
            const int end = qMin(to, f.position() + f.length());
            if (start < end && !own.isEmpty() && !own.startsWith(QLatin1String("#hl")))
                kept.append({ start, end, own });
        }
    }
    cursor.mergeCharFormat(link);
    for (const OwnLink &k : qAsConst(kept)) {
        QTextCursor c(doc);
        c.setPosition(k.start);
        c.setPosition(k.end, QTextCursor::KeepAnchor);
        QTextCharFormat own;
        own.setAnchorHref(k.href);
        c.mergeCharFormat(own);
    }
}

QVariantList BaseUtil::textEditLinkRange(QQuickTextDocument *doc0, const QString &href)
{
    QTextDocument *doc = textDocument(doc0);
    int start = -1;
    int end = -1;
    for (QTextBlock b = doc ? doc->begin() : QTextBlock(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().anchorHref() != href)
                continue;
            if (start < 0)
                start = f.position();
            end = f.position() + f.length();
        }
    }
    return start < 0 ? QVariantList() : QVariantList { start, end };
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
    // A picture has no words: its placeholder character is no text.
    return doc.toPlainText().remove(QChar::ObjectReplacementCharacter);
}

QString BaseUtil::htmlBody(const QString &raw)
{
    return SegmentHtml::clean(raw);
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

#include "export/ExportHtml.h"

#include "util/FileUtil.h"
#include "util/XmlText.h"

#include <QFile>
#include <QTextDocument>

namespace {

const char kPageHead[] = "<!DOCTYPE html>\n"
                         "<html lang=\"en\">\n"
                         "<head>\n"
                         "    <meta charset=\"UTF-8\">\n"
                         "    <meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n"
                         "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">";

const char kHighlightsHead[] = "<!DOCTYPE html>\n"
                               "<html lang=\"en\">\n"
                               "<head>\n"
                               "    <meta charset=\"UTF-8\">\n"
                               "    <meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\n"
                               "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">\n"
                               "    <title>Highlights_and_Comments</title>\n"
                               "    <style>\n"
                               "        * {\n"
                               "            font-family: Arial;\n"
                               "            font-size: 12pt;\n"
                               "            color: #333333;\n"
                               "        }\n"
                               "\n"
                               "        .item {\n"
                               "            margin: 20px 0 0 0;\n"
                               "        }\n"
                               "\n"
                               "        .highlight {\n"
                               "            font-weight: bold;\n"
                               "        }\n"
                               "\n"
                               "        .reply {\n"
                               "            margin: 10px 0 0 0;\n"
                               "            font-size: 11pt;\n"
                               "            color: #8B929C;\n"
                               "            border-radius: 5;\n"
                               "            padding: 10px;\n"
                               "            background-color: #F4F5F7;\n"
                               "        }\n"
                               "    </style>\n"
                               "</head>\n"
                               "<body>";

QByteArray styleSheet()
{
    QFile css(QStringLiteral(":/qrc/conversations.css"));
    return css.open(QIODevice::ReadOnly) ? css.readAll() : QByteArray();
}

// User text as page text: markup characters escaped, line breaks kept, and
// nothing a page cannot hold.
QString escapeText(const QString &text)
{
    QString out = XmlText::withoutForbidden(text).toHtmlEscaped();
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    out.replace(QChar(QChar::LineSeparator), QLatin1String("<br/>"));
    return out;
}

// A comment or reply as plain text (non-breaking spaces become spaces), then
// escaped.
QString plainEscaped(const QString &text)
{
    QTextDocument doc;
    doc.setPlainText(text);
    return escapeText(doc.toPlainText());
}

}

ExportHtml::ExportHtml(QDir outDir, QString projectDir, QObject *parent)
    : WorkerExporter(std::move(outDir), std::move(projectDir), parent)
{
}

ExportHtml::~ExportHtml()
{
    waitForWorker();
}

bool ExportHtml::doExport()
{
    Source src;
    if (!beginExport(src, QStringLiteral(".html")))
        return false;
    // Pictures are a courtesy: a page whose pictures are missing is still read.
    FileUtil::copyPath(QDir(projectDir).absoluteFilePath(QStringLiteral("images")), QDir(outDir.absolutePath()), nullptr,
                       [this] { return isCanceled(); });
    Progress progress(this, src.segs.size() + src.citems.size());

    const QString name = QFileInfo(outDir.absolutePath()).fileName();
    src.main.write(kPageHead);
    src.main.write(QStringLiteral("<title>%1</title><style>").arg(escapeText(name)).toUtf8());
    src.main.write(styleSheet());
    src.main.write("</style></head><body><div class=\"column\">");
    for (const VoskProSeg &seg : qAsConst(src.segs)) {
        if (isCanceled())
            break;
        const bool right = seg.device == 1;
        QString block;
        if (src.opt.withTime)
            block += QStringLiteral("<div class=\"row-center\"><div class=\"round\">%1</div></div>").arg(segTime(seg));
        block += right ? QStringLiteral("<div class=\"row-right\"><div class=\"bb2\">")
                       : QStringLiteral("<div class=\"row-left\"><div class=\"bb1\">");
        if (src.opt.withSpeaker) {
            block += QStringLiteral("<p style=\"text-align:%1;color:%2\">%3</p>")
                         .arg(right ? QStringLiteral("right") : QStringLiteral("left"),
                              QString::fromLatin1(VoskProDb::speakerColor(seg.spkId)), escapeText(seg.spkName));
        }
        block += segHtml(seg) + QStringLiteral("</div></div>");
        src.main.write(block.toUtf8());
        progress.step();
    }
    src.main.write("</div></body></html>");

    if (src.opt.withHLCMMT) {
        src.highlights.write(kHighlightsHead);
        for (const QVariant &v : qAsConst(src.citems)) {
            if (isCanceled())
                break;
            const QVariantMap item = v.toMap();
            QString block = item.value(QStringLiteral("type")).toInt() == 1 ? QStringLiteral("<div class=\"item highlight\">")
                                                                            : QStringLiteral("<div class=\"item\">");
            block += plainEscaped(item.value(QStringLiteral("text")).toString()) + QStringLiteral("</div>");
            const QVariantList replies = src.db.loadComments(item.value(QStringLiteral("id")).toLongLong());
            for (const QVariant &r : replies) {
                const QVariantMap reply = r.toMap();
                block += QStringLiteral("<div class=\"reply\">%1<br/>%2</div>")
                             .arg(replyTime(reply), plainEscaped(reply.value(QStringLiteral("text")).toString()));
            }
            src.highlights.write(block.toUtf8());
            progress.step();
        }
        src.highlights.write("</body></html>");
    }
    return finishExport(src);
}

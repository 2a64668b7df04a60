#include "export/ExportHtml.h"

#include "storage/VoskProDb.h"
#include "util/BaseUtil.h"
#include "util/FileUtil.h"

#include <QDateTime>
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

// User text as page text: markup characters escaped, line breaks kept.
QString escapeText(const QString &text)
{
    QString out = text.toHtmlEscaped();
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
    : IExportHandling(parent)
    , outDir(std::move(outDir))
    , projectDir(std::move(projectDir))
{
}

ExportHtml::~ExportHtml()
{
    waitForWorker();
}

void ExportHtml::start()
{
    startWorker([this] { return doExport(); });
}

// The loops end through the cancel flag, set before this is called.
void ExportHtml::stop()
{
    waitForWorker();
}

bool ExportHtml::doExport()
{
    const Options opt = options();
    VoskProDb db;
    if (!openProjectDb(db, projectDir))
        return false;
    const QString name = QFileInfo(outDir.absolutePath()).fileName();
    QFile main;
    QFile highlights;
    if (!openOutput(main, documentPath(outDir, QStringLiteral(".html"))))
        return false;
    if (opt.withHLCMMT && !openOutput(highlights, outDir.absoluteFilePath(highlightsName() + QStringLiteral(".html"))))
        return false;

    // Pictures are a courtesy: a page whose pictures are missing is still read.
    FileUtil::copyPath(QDir(projectDir).absoluteFilePath(QStringLiteral("images")), QDir(outDir.absolutePath()), nullptr);

    const QList<VoskProSeg> segs = db.loadSegs(-1);
    const QVariantList citems = opt.withHLCMMT ? db.loadCItems() : QVariantList();
    if (!db.lastErr.isEmpty())
        return fail(db.lastErr);
    Progress progress(this, segs.size() + citems.size());

    main.write(kPageHead);
    main.write(QStringLiteral("<title>%1</title><style>").arg(escapeText(name)).toUtf8());
    main.write(styleSheet());
    main.write("</style></head><body><div class=\"column\">");
    for (const VoskProSeg &seg : segs) {
        if (isCanceled())
            break;
        const bool right = seg.device == 1;
        QString block;
        if (opt.withTime) {
            block += QStringLiteral("<div class=\"row-center\"><div class=\"round\">%1</div></div>")
                         .arg(BaseUtil::formatMSecs(qint64(seg.start * 1000.0f)));
        }
        block += right ? QStringLiteral("<div class=\"row-right\"><div class=\"bb2\">")
                       : QStringLiteral("<div class=\"row-left\"><div class=\"bb1\">");
        if (opt.withSpeaker) {
            block += QStringLiteral("<p style=\"text-align:%1;color:%2\">%3</p>")
                         .arg(right ? QStringLiteral("right") : QStringLiteral("left"),
                              QString::fromLatin1(VoskProDb::speakerColor(seg.spkId)), escapeText(seg.spkName));
        }
        // Stored segment HTML is escaped when it is stored.
        block += seg.html;
        block += QStringLiteral("</div></div>");
        main.write(block.toUtf8());
        progress.step();
    }
    main.write("</div></body></html>");

    if (opt.withHLCMMT) {
        highlights.write(kHighlightsHead);
        for (const QVariant &v : citems) {
            if (isCanceled())
                break;
            const QVariantMap item = v.toMap();
            QString block = item.value(QStringLiteral("type")).toInt() == 1 ? QStringLiteral("<div class=\"item highlight\">")
                                                                            : QStringLiteral("<div class=\"item\">");
            block += plainEscaped(item.value(QStringLiteral("text")).toString()) + QStringLiteral("</div>");
            const QVariantList replies = db.loadComments(item.value(QStringLiteral("id")).toLongLong());
            for (const QVariant &r : replies) {
                const QVariantMap reply = r.toMap();
                block += QStringLiteral("<div class=\"reply\">%1<br/>%2</div>")
                             .arg(QDateTime::fromSecsSinceEpoch(reply.value(QStringLiteral("dt")).toLongLong())
                                      .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")),
                                  plainEscaped(reply.value(QStringLiteral("text")).toString()));
            }
            highlights.write(block.toUtf8());
            progress.step();
        }
        highlights.write("</body></html>");
        if (!db.lastErr.isEmpty())
            return fail(db.lastErr);
    }

    if (!closeOutput(main) || (opt.withHLCMMT && !closeOutput(highlights)))
        return false;
    emit finished();
    return true;
}

#include "export/ExportTxt.h"

ExportTxt::ExportTxt(QDir outDir, QString projectDir, QObject *parent)
    : WorkerExporter(std::move(outDir), std::move(projectDir), parent)
{
}

ExportTxt::~ExportTxt()
{
    waitForWorker();
}

bool ExportTxt::doExport()
{
    Source src;
    if (!beginExport(src, QStringLiteral(".txt")))
        return false;
    Progress progress(this, src.segs.size() + src.citems.size());

    for (const VoskProSeg &seg : qAsConst(src.segs)) {
        if (isCanceled())
            break;
        QString block;
        if (src.opt.withTime)
            block += segTime(seg) + QLatin1Char('\n');
        if (src.opt.withSpeaker)
            block += seg.spkName + QStringLiteral(":\n");
        // A picture in the text has no words; its placeholder is no character to write.
        block += segText(seg) + QStringLiteral("\n\n");
        src.main.write(block.toUtf8());
        progress.step();
    }

    int n = 1;
    for (const QVariant &v : qAsConst(src.citems)) {
        if (isCanceled())
            break;
        const QVariantMap item = v.toMap();
        const bool highlight = item.value(QStringLiteral("type")).toInt() == 1;
        QString block = QStringLiteral("[%1]\n[%2] %3\n")
                            .arg(n++)
                            .arg(highlight ? QStringLiteral("Highligth") : QStringLiteral("Comment"),
                                 item.value(QStringLiteral("text")).toString());
        const QVariantList replies = src.db.loadComments(item.value(QStringLiteral("id")).toLongLong());
        if (!replies.isEmpty())
            block += QStringLiteral("[Replies]\n");
        for (const QVariant &r : replies) {
            const QVariantMap reply = r.toMap();
            block += replyTime(reply) + QLatin1Char('\n') + reply.value(QStringLiteral("text")).toString() + QLatin1Char('\n');
        }
        block += QLatin1Char('\n');
        src.highlights.write(block.toUtf8());
        progress.step();
    }
    return finishExport(src);
}

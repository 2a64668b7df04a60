#include "export/ExportDocx.h"

#include "export/DocxWriter.h"

ExportDocx::ExportDocx(QDir outDir, QString projectDir, QObject *parent)
    : WorkerExporter(std::move(outDir), std::move(projectDir), parent)
{
}

ExportDocx::~ExportDocx()
{
    waitForWorker();
}

bool ExportDocx::doExport()
{
    // The documents are built in memory and saved whole at the end, so no
    // file is opened first: a cancel still leaves both with what came before.
    const Options opt = options();
    VoskProDb db;
    if (!openProjectDb(db, projectDir))
        return false;
    const QList<VoskProSeg> segs = db.loadSegs(-1);
    const QVariantList citems = opt.withHLCMMT ? db.loadCItems() : QVariantList();
    if (!db.lastErr.isEmpty())
        return fail(db.lastErr);
    Progress progress(this, segs.size() + citems.size());

    const QString mainPath = documentPath(outDir, QStringLiteral(".docx"));
    DocxWriter main;
    for (const VoskProSeg &seg : segs) {
        if (isCanceled())
            break;
        if (opt.withTime)
            main.appendParagraph(segTime(seg));
        if (opt.withSpeaker)
            main.appendParagraph(seg.spkName + QLatin1Char(':'));
        // The closing break stands for the empty line after each segment.
        main.appendParagraph(segText(seg) + QLatin1Char('\n'));
        progress.step();
    }
    main.appendSectPr();
    if (!main.save(mainPath))
        return fail(QStringLiteral("Write %1 failed.").arg(QDir::toNativeSeparators(mainPath)));
    if (!opt.withHLCMMT) {
        emit finished();
        return true;
    }

    const QString hlPath = highlightsPath(outDir, QStringLiteral(".docx"));
    DocxWriter highlights;
    int n = 1;
    for (const QVariant &v : citems) {
        if (isCanceled())
            break;
        const QVariantMap item = v.toMap();
        const bool highlight = item.value(QStringLiteral("type")).toInt() == 1;
        highlights.appendParagraph(QStringLiteral("[%1]").arg(n++));
        highlights.appendParagraph(QStringLiteral("[%1] %2").arg(highlight ? QStringLiteral("Highligth") : QStringLiteral("Comment"),
                                                                 item.value(QStringLiteral("text")).toString()));
        const QVariantList replies = db.loadComments(item.value(QStringLiteral("id")).toLongLong());
        if (!replies.isEmpty())
            highlights.appendParagraph(QStringLiteral("[Replies]"));
        for (const QVariant &r : replies) {
            const QVariantMap reply = r.toMap();
            highlights.appendParagraph(replyTime(reply));
            highlights.appendParagraph(reply.value(QStringLiteral("text")).toString());
        }
        highlights.appendParagraph(QString());
        progress.step();
    }
    // A reply that could not be read is a document with a gap.
    if (!db.lastErr.isEmpty())
        return fail(db.lastErr);
    highlights.appendSectPr();
    if (!highlights.save(hlPath))
        return fail(QStringLiteral("Write %1 failed.").arg(QDir::toNativeSeparators(hlPath)));
    emit finished();
    return true;
}

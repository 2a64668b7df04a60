#include "export/ExportDocx.h"

#include "export/DocxWriter.h"
#include "storage/VoskProDb.h"
#include "util/BaseUtil.h"

#include <QDateTime>

ExportDocx::ExportDocx(QDir outDir, QString projectDir, QObject *parent)
    : IExportHandling(parent)
    , outDir(std::move(outDir))
    , projectDir(std::move(projectDir))
{
}

ExportDocx::~ExportDocx()
{
    waitForWorker();
}

void ExportDocx::start()
{
    startWorker([this] { return doExport(); });
}

// The loops end through the cancel flag, set before this is called.
void ExportDocx::stop()
{
    waitForWorker();
}

bool ExportDocx::doExport()
{
    const Options opt = options();
    VoskProDb db;
    if (!openProjectDb(db, projectDir))
        return false;
    const QList<VoskProSeg> segs = db.loadSegs(-1);
    const QVariantList citems = opt.withHLCMMT ? db.loadCItems() : QVariantList();
    if (!db.lastErr.isEmpty())
        return fail(db.lastErr);
    Progress progress(this, segs.size() + citems.size());

    // Nothing is written before the documents are saved whole, so a cancel
    // still leaves both documents with what came before it.
    const QString mainPath = documentPath(outDir, QStringLiteral(".docx"));
    DocxWriter main;
    for (const VoskProSeg &seg : segs) {
        if (isCanceled())
            break;
        if (opt.withTime)
            main.appendParagraph(BaseUtil::formatMSecs(qint64(seg.start * 1000.0f)));
        if (opt.withSpeaker)
            main.appendParagraph(seg.spkName + QLatin1Char(':'));
        // The closing break stands for the empty line after each segment.
        main.appendParagraph(BaseUtil::html2text(seg.html) + QLatin1Char('\n'));
        progress.step();
    }
    main.appendSectPr();
    if (!main.save(mainPath))
        return fail(QStringLiteral("Write %1 failed.").arg(QDir::toNativeSeparators(mainPath)));
    if (!opt.withHLCMMT) {
        emit finished();
        return true;
    }

    const QString highlightsPath = outDir.absoluteFilePath(highlightsName() + QStringLiteral(".docx"));
    DocxWriter highlights;
    int n = 1;
    for (const QVariant &v : citems) {
        if (isCanceled())
            break;
        const QVariantMap item = v.toMap();
        highlights.appendParagraph(QStringLiteral("[%1]").arg(n++));
        highlights.appendParagraph(QStringLiteral("[%1] %2")
                                       .arg(item.value(QStringLiteral("type")).toInt() == 1 ? QStringLiteral("Highligth")
                                                                                              : QStringLiteral("Comment"),
                                            item.value(QStringLiteral("text")).toString()));
        const QVariantList replies = db.loadComments(item.value(QStringLiteral("id")).toLongLong());
        if (!replies.isEmpty())
            highlights.appendParagraph(QStringLiteral("[Replies]"));
        for (const QVariant &r : replies) {
            const QVariantMap reply = r.toMap();
            highlights.appendParagraph(QDateTime::fromSecsSinceEpoch(reply.value(QStringLiteral("dt")).toLongLong())
                                           .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")));
            highlights.appendParagraph(reply.value(QStringLiteral("text")).toString());
        }
        highlights.appendParagraph(QString());
        progress.step();
    }
    if (!db.lastErr.isEmpty())
        return fail(db.lastErr);
    highlights.appendSectPr();
    if (!highlights.save(highlightsPath))
        return fail(QStringLiteral("Write %1 failed.").arg(QDir::toNativeSeparators(highlightsPath)));
    emit finished();
    return true;
}

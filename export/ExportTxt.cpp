#include "export/ExportTxt.h"

#include "storage/VoskProDb.h"
#include "util/BaseUtil.h"

#include <QDateTime>
#include <QFile>

ExportTxt::ExportTxt(QDir outDir, QString projectDir, QObject *parent)
    : IExportHandling(parent)
    , outDir(std::move(outDir))
    , projectDir(std::move(projectDir))
{
}

ExportTxt::~ExportTxt()
{
    waitForWorker();
}

void ExportTxt::start()
{
    startWorker([this] { return doExport(); });
}

// The loops end through the cancel flag, set before this is called.
void ExportTxt::stop()
{
    waitForWorker();
}

bool ExportTxt::doExport()
{
    const Options opt = options();
    VoskProDb db;
    if (!openProjectDb(db, projectDir))
        return false;
    QFile main;
    QFile highlights;
    if (!openOutput(main, documentPath(outDir, QStringLiteral(".txt"))))
        return false;
    if (opt.withHLCMMT && !openOutput(highlights, outDir.absoluteFilePath(highlightsName() + QStringLiteral(".txt"))))
        return false;

    const QList<VoskProSeg> segs = db.loadSegs(-1);
    const QVariantList citems = opt.withHLCMMT ? db.loadCItems() : QVariantList();
    if (!db.lastErr.isEmpty())
        return fail(db.lastErr);
    Progress progress(this, segs.size() + citems.size());

    for (const VoskProSeg &seg : segs) {
        if (isCanceled())
            break;
        QString block;
        if (opt.withTime)
            block += BaseUtil::formatMSecs(qint64(seg.start * 1000.0f)) + QLatin1Char('\n');
        if (opt.withSpeaker)
            block += seg.spkName + QStringLiteral(":\n");
        block += BaseUtil::html2text(seg.html) + QStringLiteral("\n\n");
        main.write(block.toUtf8());
        progress.step();
    }

    int n = 1;
    for (const QVariant &v : citems) {
        if (isCanceled())
            break;
        const QVariantMap item = v.toMap();
        QString block = QStringLiteral("[%1]\n[%2] %3\n")
                            .arg(n++)
                            .arg(item.value(QStringLiteral("type")).toInt() == 1 ? QStringLiteral("Highligth")
                                                                                   : QStringLiteral("Comment"),
                                 item.value(QStringLiteral("text")).toString());
        const QVariantList replies = db.loadComments(item.value(QStringLiteral("id")).toLongLong());
        if (!replies.isEmpty())
            block += QStringLiteral("[Replies]\n");
        for (const QVariant &r : replies) {
            const QVariantMap reply = r.toMap();
            block += QDateTime::fromSecsSinceEpoch(reply.value(QStringLiteral("dt")).toLongLong())
                         .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"))
                     + QLatin1Char('\n') + reply.value(QStringLiteral("text")).toString() + QLatin1Char('\n');
        }
        block += QLatin1Char('\n');
        highlights.write(block.toUtf8());
        progress.step();
    }
    if (!db.lastErr.isEmpty())
        return fail(db.lastErr);

    if (!closeOutput(main) || (opt.withHLCMMT && !closeOutput(highlights)))
        return false;
    emit finished();
    return true;
}

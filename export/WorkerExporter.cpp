#include "export/WorkerExporter.h"

WorkerExporter::WorkerExporter(QDir outDir, QString projectDir, QObject *parent)
    : IExportHandling(parent)
    , outDir(std::move(outDir))
    , projectDir(std::move(projectDir))
{
}

void WorkerExporter::start()
{
    startWorker([this] { return doExport(); });
}

void WorkerExporter::stop()
{
    waitForWorker();
}

bool WorkerExporter::beginExport(Source &src, const QString &ext)
{
    src.opt = options();
    if (!openProjectDb(src.db, projectDir) || !openOutput(src.main, documentPath(outDir, ext)))
        return false;
    if (src.opt.withHLCMMT && !openOutput(src.highlights, highlightsPath(outDir, ext)))
        return false;
    src.segs = src.db.loadSegs(-1);
    if (src.opt.withHLCMMT)
        src.citems = src.db.loadCItems();
    return src.db.lastErr.isEmpty() || fail(src.db.lastErr);
}

bool WorkerExporter::finishExport(Source &src)
{
    // A reply that could not be read is a document with a gap.
    if (!src.db.lastErr.isEmpty())
        return fail(src.db.lastErr);
    if (!closeOutput(src.main) || (src.highlights.isOpen() && !closeOutput(src.highlights)))
        return false;
    emit finished();
    return true;
}

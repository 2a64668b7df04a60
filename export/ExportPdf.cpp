#include "export/ExportPdf.h"

#include "export/PrintCItemExec.h"
#include "export/PrintMsgsExec.h"
#include "util/FileUtil.h"

#include <QPdfWriter>
#include <QThread>
#include <QUrl>

ExportPdf::ExportPdf(QDir outDir, QString projectDir, QObject *parent)
    : IExportHandling(parent)
    , outDir(std::move(outDir))
    , projectDir(std::move(projectDir))
{
}

ExportPdf::~ExportPdf()
{
    stopped = true;
    waitForWorker();
    releasePainters();
}

void ExportPdf::start()
{
    startWorker([this] { return loadData(); }, "afterInit");
}

// The batch is canceled and drops the export folder; the row ends here unless
// the export has ended already.
void ExportPdf::stop()
{
    stopped = true;
    // The loader's result may already be queued; afterInit ignores it.
    waitForWorker();
    releasePainters();
    // A failure has reported its end with its error text.
    if (!ended && !hasErr) {
        ended = true;
        emit finished();
    }
}

void ExportPdf::releasePainters()
{
    // Each painter ends its page painting before its writer goes.
    if (msgsExec)
        msgsExec->setCancel();
    if (citemsExec)
        citemsExec->setCancel();
    delete msgsExec;
    msgsExec = nullptr;
    delete citemsExec;
    citemsExec = nullptr;
    msgsWriter.reset();
    citemsWriter.reset();
    msgsFile.close();
    citemsFile.close();
}

bool ExportPdf::loadData()
{
    // Closed, and the temporary copy it reads removed, once the rows are in
    // memory: the exporter lives as long as the export page, and a process
    // ended without destructors would leave the copy behind.
    VoskProDb db;
    if (!openProjectDb(db, projectDir))
        return false;
    const Options opt = options();
    segs = db.loadSegs(-1);
    // A picture a segment names must lie in the project's own folder.
    for (VoskProSeg &seg : segs)
        seg.html = segHtml(seg);
    if (opt.withHLCMMT) {
        citems = db.loadCItems();
        for (QVariant &v : citems) {
            QVariantMap item = v.toMap();
            item.insert(QStringLiteral("replies"), db.loadComments(item.value(QStringLiteral("id")).toLongLong()));
            v = item;
        }
    }
    if (!db.lastErr.isEmpty())
        return fail(db.lastErr);
    // Pictures that segment texts reference as "images/..." must lie below
    // the documents' base folder.
    // A cancel waits for the loader: many pictures must not hold it up.
    FileUtil::copyPath(QDir(projectDir).absoluteFilePath(QStringLiteral("images")), outDir, nullptr,
                       [this] { return isCanceled(); });
    return true;
}

std::unique_ptr<QPdfWriter> ExportPdf::makeWriter(QFile *file) const
{
    auto w = std::make_unique<QPdfWriter>(file);
    w->setResolution(120);
    w->setPageSize(QPageSize(QPageSize::A4));
    w->setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    return w;
}

void ExportPdf::afterInit(bool res)
{
    // A failed load has already reported its end.
    if (!res || stopped)
        return;
    const Options opt = options();

    QList<PrintMsg> msgs;
    msgs.reserve(segs.size());
    const QString baseUrl = QUrl::fromLocalFile(outDir.absolutePath()).toString() + QLatin1Char('/');
    for (const VoskProSeg &seg : qAsConst(segs))
        msgs << PrintMsg { segTime(seg), seg.html, baseUrl, QString::fromLatin1(VoskProDb::speakerColor(seg.spkId)),
                           seg.spkName, false };

    QList<PrintCItem> blocks;
    if (opt.withHLCMMT) {
        for (const QVariant &v : qAsConst(citems)) {
            if (isCanceled())
                break;
            const QVariantMap item = v.toMap();
            blocks << PrintCItem { item.value(QStringLiteral("type")).toInt() == 1 ? 1 : 2, QString(),
                                   item.value(QStringLiteral("text")).toString() };
            for (const QVariant &r : item.value(QStringLiteral("replies")).toList()) {
                const QVariantMap reply = r.toMap();
                blocks << PrintCItem { 3, replyTime(reply), reply.value(QStringLiteral("text")).toString() };
            }
        }
    }
    total = msgs.size() + blocks.size();
    segs.clear();
    citems.clear();

    // Both documents are made before anything is painted; a file that cannot
    // be made fails the export here, one that cannot be written when closed.
    const QString mainPath = documentPath(outDir, QStringLiteral(".pdf"));
    const QString hlPath = highlightsPath(outDir, QStringLiteral(".pdf"));
    msgsFile.setFileName(mainPath);
    citemsFile.setFileName(hlPath);
    if (!msgsFile.open(QIODevice::WriteOnly)) {
        fail(QStringLiteral("Write %1 failed.").arg(QDir::toNativeSeparators(mainPath)));
        return;
    }
    if (opt.withHLCMMT && !citemsFile.open(QIODevice::WriteOnly)) {
        msgsFile.close();
        fail(QStringLiteral("Write %1 failed.").arg(QDir::toNativeSeparators(hlPath)));
        return;
    }

    msgsFinished = false;
    msgsWriter = makeWriter(&msgsFile);
    msgsExec = startPainter<PrintMsgsExec>(msgsWriter.get(), msgs, opt, msgsDone, msgsFinished);

    citemsFinished = true;
    if (!opt.withHLCMMT)
        return;
    citemsFinished = false;
    citemsWriter = makeWriter(&citemsFile);
    citemsExec = startPainter<PrintCItemExec>(citemsWriter.get(), blocks, opt, citemsDone, citemsFinished);
}

template<typename Exec, typename Record>
Exec *ExportPdf::startPainter(QPdfWriter *writer, const QList<Record> &records, const Options &opt, int &done,
                              bool &ended)
{
    auto *exec = new Exec(this);
    exec->setItems(writer, records, opt.withSpeaker, opt.withTime, 0, 0);
    connect(exec, &Exec::updateProgress, this, [this, &done](int cur) {
        done = cur + 1;
        onPainted();
    });
    connect(exec, &Exec::finished, this, [this, &ended] {
        ended = true;
        onPainterFinished();
    });
    exec->start();
    return exec;
}

// Painted records of both documents (replies included) over all of them, so
// the value only rises and stays within 0 to 100.
void ExportPdf::onPainted()
{
    const int v = total > 0 ? int(qint64(msgsDone + citemsDone) * 100 / total) : 0;
    if (v < 100 && v != lastProgress) {
        lastProgress = v;
        emit progress(v);
    }
}

void ExportPdf::onPainterFinished()
{
    if (!msgsFinished || !citemsFinished)
        return;
    // The painters have ended their documents; what is still buffered goes
    // out now, and a full disk shows here.
    msgsWriter.reset();
    citemsWriter.reset();
    const QString mainErr = closeFile(msgsFile);
    const QString highlightsErr = citemsFile.isOpen() ? closeFile(citemsFile) : QString();
    const QString e = mainErr.isEmpty() ? highlightsErr : mainErr;
    ended = true;
    if (!e.isEmpty())
        setErr(e);
    emit progress(100);
    emit finished();
}

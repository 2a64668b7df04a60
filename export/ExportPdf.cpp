#include "export/ExportPdf.h"

#include "export/PrintCItemExec.h"
#include "export/PrintMsgsExec.h"
#include "util/BaseUtil.h"
#include "util/FileUtil.h"

#include <QDateTime>
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

// No finished() follows: the batch is canceled and drops the export folder.
void ExportPdf::stop()
{
    stopped = true;
    // The loader's result may already be queued; afterInit ignores it.
    waitForWorker();
    releasePainters();
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
}

bool ExportPdf::loadData()
{
    if (!openProjectDb(db, projectDir))
        return false;
    const Options opt = options();
    segs = db.loadSegs(-1);
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
    FileUtil::copyPath(QDir(projectDir).absoluteFilePath(QStringLiteral("images")), outDir, nullptr);
    return true;
}

std::unique_ptr<QPdfWriter> ExportPdf::makeWriter(const QString &path) const
{
    auto w = std::make_unique<QPdfWriter>(path);
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
        msgs << PrintMsg { BaseUtil::formatMSecs(qint64(seg.start * 1000.0f)), seg.html, baseUrl,
                           QString::fromLatin1(VoskProDb::speakerColor(seg.spkId)), seg.spkName, false };

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
                blocks << PrintCItem { 3,
                                       QDateTime::fromSecsSinceEpoch(reply.value(QStringLiteral("dt")).toLongLong())
                                           .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")),
                                       reply.value(QStringLiteral("text")).toString() };
            }
        }
    }
    total = msgs.size() + blocks.size();
    segs.clear();
    citems.clear();

    msgsFinished = false;
    msgsWriter = makeWriter(documentPath(outDir, QStringLiteral(".pdf")));
    msgsExec = new PrintMsgsExec(this);
    msgsExec->setItems(msgsWriter.get(), msgs, opt.withSpeaker, opt.withTime, 0, 0);
    connect(msgsExec, &PrintMsgsExec::updateProgress, this, [this](int cur) {
        msgsDone = cur + 1;
        onPainted();
    });
    connect(msgsExec, &PrintMsgsExec::finished, this, [this] {
        msgsFinished = true;
        onPainterFinished();
    });
    msgsExec->start();

    citemsFinished = true;
    if (!opt.withHLCMMT)
        return;
    citemsFinished = false;
    citemsWriter = makeWriter(outDir.absoluteFilePath(highlightsName() + QStringLiteral(".pdf")));
    citemsExec = new PrintCItemExec(this);
    citemsExec->setItems(citemsWriter.get(), blocks, opt.withSpeaker, opt.withTime, 0, 0);
    connect(citemsExec, &PrintCItemExec::updateProgress, this, [this](int cur) {
        citemsDone = cur + 1;
        onPainted();
    });
    connect(citemsExec, &PrintCItemExec::finished, this, [this] {
        citemsFinished = true;
        onPainterFinished();
    });
    citemsExec->start();
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
    // A painter that could not begin on its file drew nothing.
    if (msgsExec && msgsExec->deviceFailed())
        setErr(QStringLiteral("Write %1 failed.").arg(QDir::toNativeSeparators(documentPath(outDir, QStringLiteral(".pdf")))));
    else if (citemsExec && citemsExec->deviceFailed())
        setErr(QStringLiteral("Write %1 failed.")
                   .arg(QDir::toNativeSeparators(outDir.absoluteFilePath(highlightsName() + QStringLiteral(".pdf")))));
    emit progress(100);
    emit finished();
}

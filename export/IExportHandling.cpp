#include "export/IExportHandling.h"

#include "export/ExportHandlingItemModel.h"
#include "export/TodoInThread.h"
#include "storage/VoskProDb.h"
#include "util/BaseUtil.h"
#include "util/SegmentHtml.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

IExportHandling::IExportHandling(QObject *parent)
    : QObject(parent)
    , m_batch(qobject_cast<BatchHandlingItemModel *>(parent))
{
}

void IExportHandling::setErr(const QString &e)
{
    hasErr = true;
    err = e;
}

bool IExportHandling::isCanceled() const
{
    return m_batch && m_batch->isCanceled();
}

QString IExportHandling::documentPath(const QDir &outDir, const QString &ext)
{
    return outDir.absoluteFilePath(QFileInfo(outDir.absolutePath()).fileName() + ext);
}

QString IExportHandling::highlightsPath(const QDir &outDir, const QString &ext)
{
    return outDir.absoluteFilePath(highlightsName() + ext);
}

IExportHandling::Options IExportHandling::options() const
{
    Options o;
    if (const auto *m = qobject_cast<const ExportHandlingItemModel *>(m_batch)) {
        o.withSpeaker = m->withSpeaker();
        o.withTime = m->withTime();
        o.withHLCMMT = m->withHLCMMT();
    }
    return o;
}

void IExportHandling::startWorker(std::function<bool()> work, const char *method)
{
    if (worker)
        return;
    worker = makeTodoInThread(std::move(work), this, method, this);
    worker->start(QThread::InheritPriority);
}

void IExportHandling::waitForWorker()
{
    if (worker)
        worker->wait();
}

bool IExportHandling::fail(const QString &e)
{
    setErr(e);
    emit finished();
    return false;
}

bool IExportHandling::openProjectDb(VoskProDb &db, const QString &projectDir)
{
    const QString path = QDir(projectDir).absoluteFilePath(QStringLiteral("data"));
    if (!QFileInfo::exists(path))
        return fail(QStringLiteral("%1 not exists.").arg(QDir::toNativeSeparators(path)));
    // Reads a copy: the project stays as it is, and may be read-only.
    if (!db.openSnapshot(path))
        return fail(db.lastErr);
    return true;
}

bool IExportHandling::openOutput(QFile &file, const QString &path)
{
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("Create file failed. ") + file.errorString());
    return true;
}

bool IExportHandling::closeOutput(QFile &file)
{
    const QString e = closeFile(file);
    return e.isEmpty() || fail(e);
}

QString IExportHandling::closeFile(QFile &file)
{
    const bool ok = file.flush() && file.error() == QFileDevice::NoError;
    const QString why = file.errorString();
    file.close();
    return ok ? QString() : QStringLiteral("Create file failed. ") + why;
}

QString IExportHandling::segTime(const VoskProSeg &seg)
{
    return BaseUtil::formatMSecs(BaseUtil::secsToMSecs(seg.start));
}

QString IExportHandling::replyTime(const QVariantMap &reply)
{
    return QDateTime::fromSecsSinceEpoch(reply.value(QStringLiteral("dt")).toLongLong())
        .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

QString IExportHandling::segHtml(const VoskProSeg &seg)
{
    return SegmentHtml::clean(seg.html);
}

QString IExportHandling::segText(const VoskProSeg &seg)
{
    return BaseUtil::html2text(segHtml(seg));
}

void IExportHandling::Progress::step()
{
    ++m_done;
    const int v = int(qint64(m_done) * 100 / m_total);
    if (v != m_last) {
        m_last = v;
        emit m_owner->progress(v);
    }
}

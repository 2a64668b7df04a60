#include "projects/ConvertFilesHandlingItemModel.h"

#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"

#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

namespace {

// The name a user knows the file by: a file URL's percent-encoding decoded.
QString displayFileName(const QString &s)
{
    const QUrl url(s);
    if (url.isLocalFile())
        return QFileInfo(url.toLocalFile()).fileName();
    return QFileInfo(s).fileName();
}

}

ConvertFilesHandlingItemModel::ConvertFilesHandlingItemModel(QObject *parent)
    : BatchHandlingItemModel(parent)
    , context(new QObject(this))
{
}

ConvertFilesHandlingItemModel::~ConvertFilesHandlingItemModel()
{
    // No report may reach a job that is gone; each controller stops (waiting
    // for its threads) before it is freed.
    delete context;
    context = nullptr;
    for (const auto &j : jobs) {
        delete j->controller;
        j->controller = nullptr;
    }
}

int ConvertFilesHandlingItemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(jobs.size());
}

void ConvertFilesHandlingItemModel::setFileUrls(const QVariantList &v)
{
    if (m_fileUrls == v)
        return;
    m_fileUrls = v;
    emit fileUrlsChanged();
}

void ConvertFilesHandlingItemModel::setRootUrl(const QString &v)
{
    if (m_rootUrl == v)
        return;
    m_rootUrl = v;
    emit rootUrlChanged();
}

void ConvertFilesHandlingItemModel::setLang(const QString &v)
{
    if (m_lang == v)
        return;
    m_lang = v;
    emit langChanged();
}

void ConvertFilesHandlingItemModel::setSpeechRate(double v)
{
    if (qFuzzyCompare(m_speechRate, v))
        return;
    m_speechRate = v;
    emit speechRateChanged();
}

ConvertFileJob *ConvertFilesHandlingItemModel::job(int row) const
{
    return row >= 0 && row < int(jobs.size()) ? jobs[size_t(row)].get() : nullptr;
}

QString ConvertFilesHandlingItemModel::itemName(int row) const
{
    const ConvertFileJob *j = job(row);
    return j ? j->name : QString();
}

QString ConvertFilesHandlingItemModel::itemErr(int row) const
{
    const ConvertFileJob *j = job(row);
    return j ? j->err : QString();
}

int ConvertFilesHandlingItemModel::itemStatus(int row) const
{
    const ConvertFileJob *j = job(row);
    return j ? j->status : 0;
}

int ConvertFilesHandlingItemModel::itemProgress(int row) const
{
    const ConvertFileJob *j = job(row);
    return j ? j->progress : 0;
}

void ConvertFilesHandlingItemModel::init()
{
    if (inited)
        return;
    inited = true;

    const int n = m_fileUrls.size();
    ProjectsMgr *mgr = ProjectsMgr::instance();
    if (n > 0)
        beginInsertRows(QModelIndex(), 0, n - 1);
    for (const QVariant &v : qAsConst(m_fileUrls)) {
        auto j = std::make_unique<ConvertFileJob>();
        j->fileUrl = v.toString();
        const QString fileName = displayFileName(j->fileUrl);
        j->name = QStringLiteral("File: ") + fileName;
        j->projectUrl = mgr->createProject(QStringLiteral("Convert-") + fileName, m_rootUrl, m_lang, m_speechRate);
        if (j->projectUrl.isEmpty()) {
            j->status = -1;
            j->err = QStringLiteral("Create Proejct failed. ") + mgr->lastErr();
        } else {
            auto *c = new ProjectMainController(this);
            j->controller = c;
            c->setProjectDir(QUrl(j->projectUrl).toLocalFile());
            c->setConvertFileUrl(j->fileUrl);
            // A project whose turn never comes is left as an interrupted
            // conversion of its file.
            c->setInfo2({ { QStringLiteral("convert"), j->fileUrl }, { QStringLiteral("convert_status"), 0 } });
            connectJob(j.get());
        }
        jobs.push_back(std::move(j));
    }
    if (n > 0) {
        endInsertRows();
        emit dataChanged(index(0, 0), index(n - 1, 0), {});
    }

    setTotal(n);
    setFinished(0);
    current = -1;
    processNext();
}

void ConvertFilesHandlingItemModel::connectJob(ConvertFileJob *j)
{
    // Queued, so a report never runs inside the controller's own call (its
    // stop() in particular). Each report names its job: one that arrives
    // after its row has ended finds another job current and is dropped.
    if (!context)
        return;
    ProjectMainController *c = j->controller;
    connect(c, &ProjectMainController::started, context, [this, j](bool suc) { onJobStarted(j, suc); },
            Qt::QueuedConnection);
    connect(c, &ProjectMainController::convertProgressChanged, context, [this, j] { onJobProgress(j); },
            Qt::QueuedConnection);
    connect(c, &ProjectMainController::stopped, context, [this, j] { onJobStopped(j); }, Qt::QueuedConnection);
}

void ConvertFilesHandlingItemModel::processNext()
{
    // A loop rather than recursion: a long list of failing rows ends here too.
    while (!isCanceled()) {
        ++current;
        if (current < 0 || current >= int(jobs.size())) {
            setFinished(int(jobs.size()));
            setTotalFinished(true);
            return;
        }
        setFinished(current);
        ConvertFileJob *j = currentJob();
        if (j->status != 0 || !j->controller)
            continue;

        ProjectMainController *c = j->controller;
        QString err;
        if (!c->init(err)) {
            endJob(j, -1, err);
            continue;
        }
        c->start(ProjectMainController::Convert);
        // A run that is starting always ends in started(); one that is
        // already idle again (its start failed on the spot) may never report.
        if (c->isStarting() || c->isRunning())
            return;
        endJob(j, -1, c->lastErr().isEmpty() ? QStringLiteral("Converting could not start.") : c->lastErr());
    }
}

void ConvertFilesHandlingItemModel::onJobStarted(ConvertFileJob *j, bool suc)
{
    if (suc || j != currentJob() || !j->controller)
        return;
    endJob(j, -1, j->controller->lastErr());
    processNext();
}

void ConvertFilesHandlingItemModel::onJobProgress(ConvertFileJob *j)
{
    if (j != currentJob() || !j->controller)
        return;
    j->progress = j->controller->convertProgress();
    rowChanged(current);
}

void ConvertFilesHandlingItemModel::onJobStopped(ConvertFileJob *j)
{
    if (j != currentJob() || !j->controller)
        return;
    ProjectMainController *c = j->controller;
    int status = c->convertStatus();
    QString err = c->lastErr();
    // Stopped before the end of the file without a failure of its own: not
    // done, and never to be resumed by this batch.
    if (status == 0) {
        status = -1;
        if (err.isEmpty())
            err = QStringLiteral("Converting stopped before the end of the file.");
    }
    endJob(j, status, err);
    processNext();
}

void ConvertFilesHandlingItemModel::endJob(ConvertFileJob *j, int status, const QString &err)
{
    j->status = status;
    j->err = err;
    releaseController(j);
    rowChanged(current);
}

// Stops the run first: its threads hold the model and the ring until then.
// The controller goes from the event loop, after the results it still has
// queued are stored, and takes its model and project database with it, so a
// batch of many files holds one of each at a time.
void ConvertFilesHandlingItemModel::releaseController(ConvertFileJob *j)
{
    ProjectMainController *c = j->controller;
    if (!c)
        return;
    j->controller = nullptr;
    c->stop();
    c->deleteLater();
}

void ConvertFilesHandlingItemModel::cancelJobs()
{
    // Drops every report still queued, the running job's stopped() included.
    delete context;
    context = nullptr;
    for (const auto &j : jobs)
        releaseController(j.get());
}

#include "export/ExportHandlingItemModel.h"

#include "export/ExportDocx.h"
#include "export/ExportHtml.h"
#include "export/ExportPdf.h"
#include "export/ExportTxt.h"
#include "projects/JsonFile.h"
#include "util/FileUtil.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <memory>

namespace {

using MakeExporter = IExportHandling *(*)(const QDir &outDir, const QString &projectDir, QObject *parent);

template<typename T>
IExportHandling *makeExporter(const QDir &outDir, const QString &projectDir, QObject *parent)
{
    return new T(outDir, projectDir, parent);
}

// The export types, in the order their extensions are looked for in the
// chosen label (the first found decides) and the page lists them.
struct ExportType
{
    const char *label;
    const char *ext; // of the documents it writes
    MakeExporter make;
};

const ExportType kExportTypes[] = {
    { QT_TRANSLATE_NOOP("ExportHandlingItemModel", "Text Files(*.txt)"), ".txt", &makeExporter<ExportTxt> },
    { QT_TRANSLATE_NOOP("ExportHandlingItemModel", "PDF Files(*.pdf)"), ".pdf", &makeExporter<ExportPdf> },
    { QT_TRANSLATE_NOOP("ExportHandlingItemModel", "HTML Files(*.html)"), ".html", &makeExporter<ExportHtml> },
    { QT_TRANSLATE_NOOP("ExportHandlingItemModel", "Doc Files(*.docx)"), ".docx", &makeExporter<ExportDocx> },
};

const ExportType *findExportType(const QString &label)
{
    for (const ExportType &t : kExportTypes) {
        if (label.contains(QLatin1String(t.ext), Qt::CaseInsensitive))
            return &t;
    }
    return nullptr;
}

// QML hands over URLs; a plain path is taken as it is.
QString localPath(const QString &url)
{
    const QUrl u(url);
    return u.isLocalFile() ? u.toLocalFile() : url;
}

QString folderFailed(const QString &path)
{
    return QStringLiteral("Create folder failed. %1").arg(QDir::toNativeSeparators(path));
}

// A cancel ends the copy soon, and a copy that fails or is canceled leaves
// no file. Returns the error text, empty when done.
QString copyAudio(const QString &from, const QString &to, const BatchHandlingItemModel *batch)
{
    // An audio file already there is not replaced.
    if (QFileInfo::exists(to))
        return QString();
    const QString err = FileUtil::copyFile(from, to, [batch] { return batch->isCanceled(); });
    return err.isEmpty() ? QString() : QStringLiteral("Copy audio failed. ") + err;
}

}

struct ExportHandlingItemModel::ExportItem
{
    QString err;
    QString name;
    QAtomicInt status { 0 };
    QAtomicInt progress { 0 };
    IExportHandling *exporter = nullptr;
    // The row's own folder in the export folder, and what it must hold once
    // the row is done.
    QString dir;
    QStringList outputs;
    // Copies the project's recording once the export has ended; the row ends
    // with it.
    QThread *audioCopy = nullptr;

    void fail(const QString &e)
    {
        err = e;
        status.fetchAndStoreOrdered(-1);
    }
};

ExportHandlingItemModel::ExportHandlingItemModel(QObject *parent)
    : BatchHandlingItemModel(parent)
{
}

ExportHandlingItemModel::~ExportHandlingItemModel()
{
    // The workers read this model's options until they end.
    for (ExportItem *item : qAsConst(items)) {
        if (item->exporter)
            item->exporter->stop();
    }
    waitForAudioCopies();
    qDeleteAll(items);
}

void ExportHandlingItemModel::setProjectUrls(const QVariantList &v)
{
    if (m_projectUrls == v)
        return;
    m_projectUrls = v;
    emit projectUrlsChanged();
}

void ExportHandlingItemModel::setSaveRootUrl(const QString &v)
{
    if (m_saveRootUrl == v)
        return;
    m_saveRootUrl = v;
    emit saveRootUrlChanged();
}

void ExportHandlingItemModel::setExportType(const QString &v)
{
    if (m_exportType == v)
        return;
    m_exportType = v;
    emit exportTypeChanged();
}

void ExportHandlingItemModel::setWithSpeaker(bool v)
{
    if (m_withSpeaker == v)
        return;
    m_withSpeaker = v;
    emit withSpeakerChanged();
}

void ExportHandlingItemModel::setWithTime(bool v)
{
    if (m_withTime == v)
        return;
    m_withTime = v;
    emit withTimeChanged();
}

void ExportHandlingItemModel::setWithAudio(bool v)
{
    if (m_withAudio == v)
        return;
    m_withAudio = v;
    emit withAudioChanged();
}

void ExportHandlingItemModel::setWithHLCMMT(bool v)
{
    if (m_withHLCMMT == v)
        return;
    m_withHLCMMT = v;
    emit withHLCMMTChanged();
}

QString ExportHandlingItemModel::exportDirUrl() const
{
    if (!exportDirNamed)
        return QString();
    return QUrl::fromLocalFile(exportDir.absolutePath()).toString();
}

int ExportHandlingItemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : items.size();
}

QStringList ExportHandlingItemModel::exportTypes()
{
    QStringList labels;
    for (const ExportType &t : kExportTypes)
        labels << tr(t.label);
    return labels;
}

void ExportHandlingItemModel::init()
{
    const int n = m_projectUrls.size();
    const QString name = QStringLiteral("Export-%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd")));
    const QString root = localPath(m_saveRootUrl);
    exportDir = QDir(FileUtil::uniqueFilePath(QDir(root), name));
    exportDirNamed = true;
    // Nothing to export makes no folder; nor does a root that is no folder
    // the user chose, which would resolve against the working directory.
    exportDirMade = n > 0 && QDir::isAbsolutePath(root) && QDir().mkpath(exportDir.absolutePath());

    if (n > 0) {
        beginInsertRows(QModelIndex(), 0, n - 1);
        for (const QVariant &url : qAsConst(m_projectUrls))
            items.append(makeItem(url.toString()));
        endInsertRows();
        emit dataChanged(index(0, 0), index(n - 1, 0), {});
    }
    setTotal(items.size());
    updateFinished();
}

ExportHandlingItemModel::ExportItem *ExportHandlingItemModel::makeItem(const QString &url)
{
    auto *item = new ExportItem;
    const QString projectDir = localPath(url);
    const QVariantMap manifest = readJsonFile(QDir(projectDir).absoluteFilePath(QStringLiteral("manifest")));
    if (manifest.isEmpty()) {
        item->name = url;
        item->fail(QStringLiteral("Read manifest failed."));
        return item;
    }
    const QString projectName = manifest.value(QStringLiteral("name")).toString();
    item->name = QStringLiteral("Project: ") + projectName;
    if (!exportDirMade) {
        item->fail(folderFailed(exportDir.absolutePath()));
        return item;
    }
    const ExportType *type = findExportType(m_exportType);
    if (!type) {
        item->fail(QStringLiteral("Invalid export type."));
        return item;
    }

    const QString folder = projectName.isEmpty() ? QFileInfo(projectDir).fileName() : projectName;
    QString itemPath = FileUtil::uniqueFilePath(exportDir, folder);
    // The conversation document is named after this folder; a folder named
    // like the highlights document would make the two one file.
    if (QFileInfo(itemPath).fileName().compare(IExportHandling::highlightsName(), Qt::CaseInsensitive) == 0)
        itemPath = FileUtil::uniqueFilePath(exportDir, folder + QStringLiteral("(1)"));
    const QDir itemDir(itemPath);
    if (!itemDir.exists() && !QDir().mkpath(itemPath)) {
        item->fail(folderFailed(itemPath));
        return item;
    }
    item->dir = itemPath;
    const QString ext = QString::fromLatin1(type->ext);
    item->outputs << IExportHandling::documentPath(itemDir, ext);
    if (m_withHLCMMT)
        item->outputs << IExportHandling::highlightsPath(itemDir, ext);

    item->exporter = type->make(itemDir, projectDir, this);
    // Queued even from the GUI thread: a row's end may stop its exporter,
    // which must not happen inside the exporter's own call.
    connect(item->exporter, &IExportHandling::progress, this, [this, item](int v) { onItemProgress(item, v); },
            Qt::QueuedConnection);
    connect(item->exporter, &IExportHandling::finished, this,
            [this, item, projectDir, itemDir] { onItemFinished(item, projectDir, itemDir); }, Qt::QueuedConnection);
    item->exporter->start();
    return item;
}

void ExportHandlingItemModel::onItemProgress(ExportItem *item, int v)
{
    item->progress.fetchAndStoreOrdered(v);
    refreshItem(item);
}

void ExportHandlingItemModel::onItemFinished(ExportItem *item, const QString &projectDir, const QDir &itemDir)
{
    // A cancel has ended the row already.
    if (item->status.loadRelaxed() != 0)
        return;
    if (item->exporter->hasErr) {
        endItem(item, item->exporter->err.isEmpty() ? QStringLiteral("Export failed.") : item->exporter->err);
        return;
    }
    // A project that never recorded anything has no audio to copy; a link
    // in its place is refused by the copy.
    const QString wav = QDir(projectDir).absoluteFilePath(QStringLiteral("data.wav"));
    if (!m_withAudio || (!QFileInfo::exists(wav) && !QFileInfo(wav).isSymLink())) {
        endItem(item, QString());
        return;
    }
    // Hours of recording are hundreds of megabytes: copied off the GUI thread.
    auto err = std::make_shared<QString>();
    const QString dest = itemDir.absoluteFilePath(QStringLiteral("audio.wav"));
    item->outputs << dest;
    item->audioCopy = QThread::create([wav, dest, err, this] { *err = copyAudio(wav, dest, this); });
    item->audioCopy->setParent(this);
    connect(item->audioCopy, &QThread::finished, this, [this, item, err] { endItem(item, *err); });
    item->audioCopy->start(QThread::LowPriority);
}

// The row ends: failed with an error text, else done, but only when all it
// wrote is there (a folder removed meanwhile takes the writes with it).
void ExportHandlingItemModel::endItem(ExportItem *item, const QString &err)
{
    if (item->status.loadRelaxed() != 0)
        return;
    QString e = err;
    for (int i = 0; e.isEmpty() && i < item->outputs.size(); ++i) {
        if (!QFileInfo(item->outputs.at(i)).isFile())
            e = QStringLiteral("Write %1 failed. The file or its folder was removed during the export.")
                    .arg(QDir::toNativeSeparators(item->outputs.at(i)));
    }
    if (!e.isEmpty()) {
        // What a failed row wrote is cut short: once the exporter has let go
        // of its files, its folder goes.
        item->exporter->stop();
        FileUtil::removeDirRecursively(item->dir);
    }
    item->err = e;
    item->status.fetchAndStoreOrdered(e.isEmpty() ? 1 : -1);
    refreshItem(item);
    updateFinished();
}

void ExportHandlingItemModel::waitForAudioCopies()
{
    for (ExportItem *item : qAsConst(items)) {
        if (item->audioCopy)
            item->audioCopy->wait();
    }
}

void ExportHandlingItemModel::refreshItem(ExportItem *item)
{
    rowChanged(items.indexOf(item));
}

void ExportHandlingItemModel::updateFinished()
{
    int ended = 0;
    for (const ExportItem *item : qAsConst(items)) {
        if (item->status.loadRelaxed() != 0)
            ++ended;
    }
    setFinished(ended);
    setTotalFinished(ended == items.size());
    // An export that wrote nothing leaves no empty dated folder; rmdir keeps
    // one that holds anything.
    if (exportDirMade && ended == items.size())
        QDir().rmdir(exportDir.absolutePath());
}

QString ExportHandlingItemModel::itemName(int row) const
{
    return items.value(row) ? items.at(row)->name : QString();
}

QString ExportHandlingItemModel::itemErr(int row) const
{
    return items.value(row) ? items.at(row)->err : QString();
}

int ExportHandlingItemModel::itemStatus(int row) const
{
    return items.value(row) ? items.at(row)->status.loadRelaxed() : 0;
}

int ExportHandlingItemModel::itemProgress(int row) const
{
    return items.value(row) ? items.at(row)->progress.loadRelaxed() : 0;
}

void ExportHandlingItemModel::cancelJobs()
{
    for (ExportItem *item : qAsConst(items)) {
        if (item->exporter)
            item->exporter->stop();
    }
    // They see the cancel and stop between two pieces.
    waitForAudioCopies();
    if (exportDirMade)
        FileUtil::removeDirRecursively(exportDir.absolutePath());
    // Nothing of the export is left, so no row may say it is done.
    for (ExportItem *item : qAsConst(items)) {
        if (item->status.loadRelaxed() != -1)
            item->fail(QStringLiteral("Export canceled."));
    }
    if (!items.isEmpty())
        emit dataChanged(index(0, 0), index(items.size() - 1, 0), {});
    updateFinished();
}

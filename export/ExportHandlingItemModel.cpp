#include "export/ExportHandlingItemModel.h"

#include "export/ExportDocx.h"
#include "export/ExportHtml.h"
#include "export/ExportPdf.h"
#include "export/ExportTxt.h"
#include "projects/JsonFile.h"
#include "util/FileUtil.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

namespace {

using MakeExporter = IExportHandling *(*)(const QDir &outDir, const QString &projectDir, QObject *parent);

template<typename T>
IExportHandling *makeExporter(const QDir &outDir, const QString &projectDir, QObject *parent)
{
    return new T(outDir, projectDir, parent);
}

// The export types, in the order their patterns are tried on the chosen
// label (the first match decides) and the page lists them. A type without a
// maker is recognised but cannot be written yet.
struct ExportType
{
    const char *label;
    const char *pattern;
    MakeExporter make;
};

const ExportType kExportTypes[] = {
    { QT_TRANSLATE_NOOP("ExportHandlingItemModel", "Text Files(*.txt)"), "\\.txt", &makeExporter<ExportTxt> },
    { QT_TRANSLATE_NOOP("ExportHandlingItemModel", "PDF Files(*.pdf)"), "\\.pdf", &makeExporter<ExportPdf> },
    { QT_TRANSLATE_NOOP("ExportHandlingItemModel", "HTML Files(*.html)"), "\\.html", &makeExporter<ExportHtml> },
    { QT_TRANSLATE_NOOP("ExportHandlingItemModel", "Doc Files(*.docx)"), "\\.docx", &makeExporter<ExportDocx> },
};

const ExportType *findExportType(const QString &label)
{
    for (const ExportType &t : kExportTypes) {
        const QRegularExpression re(QString::fromLatin1(t.pattern), QRegularExpression::CaseInsensitiveOption);
        if (re.match(label).hasMatch())
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

}

struct ExportHandlingItemModel::ExportItem
{
    QString err;
    QString name;
    QAtomicInt status { 0 };
    QAtomicInt progress { 0 };
    IExportHandling *exporter = nullptr;

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
    for (const ExportType &t : kExportTypes) {
        if (t.make)
            labels << tr(t.label);
    }
    return labels;
}

void ExportHandlingItemModel::init()
{
    const int n = m_projectUrls.size();
    const QString name = QStringLiteral("Export-%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd")));
    exportDir = QDir(FileUtil::uniqueFilePath(QDir(localPath(m_saveRootUrl)), name));
    exportDirNamed = true;
    // Nothing to export makes no folder.
    exportDirMade = n > 0 && QDir().mkpath(exportDir.absolutePath());

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

    const ExportType *type = findExportType(m_exportType);
    if (!type) {
        item->fail(QStringLiteral("Invalid export type."));
        return item;
    }
    if (!type->make) {
        item->fail(QStringLiteral("%1 cannot be written by this version.").arg(tr(type->label)));
        return item;
    }
    item->exporter = type->make(itemDir, projectDir, this);
    connect(item->exporter, &IExportHandling::progress, this, [this, item](int v) { onItemProgress(item, v); });
    connect(item->exporter, &IExportHandling::finished, this,
            [this, item, projectDir, itemDir] { onItemFinished(item, projectDir, itemDir); });
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
    const bool failed = item->exporter->hasErr;
    item->status.fetchAndStoreOrdered(failed ? -1 : 1);
    item->err = item->exporter->err;
    // A canceled export's folder is gone already.
    if (!failed && m_withAudio && !isCanceled()) {
        QFile::copy(QDir(projectDir).absoluteFilePath(QStringLiteral("data.wav")),
                    itemDir.absoluteFilePath(QStringLiteral("audio.wav")));
    }
    refreshItem(item);
    updateFinished();
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
    if (exportDirMade)
        FileUtil::removeDirRecursively(exportDir.absolutePath());
}

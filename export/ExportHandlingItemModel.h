#pragma once
// Exports a list of projects in one run: one dated export folder under the
// chosen folder, and in it one folder, one row and one exporter per project.
// All exporters run at once; each row ends when its exporter finishes.

#include "projects/BatchHandlingItemModel.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QVariantList>

class IExportHandling;

class ExportHandlingItemModel : public BatchHandlingItemModel
{
    Q_OBJECT
    Q_PROPERTY(QVariantList projectUrls READ projectUrls WRITE setProjectUrls NOTIFY projectUrlsChanged)
    Q_PROPERTY(QString saveRootUrl READ saveRootUrl WRITE setSaveRootUrl NOTIFY saveRootUrlChanged)
    Q_PROPERTY(QString exportType READ exportType WRITE setExportType NOTIFY exportTypeChanged)
    Q_PROPERTY(bool withSpeaker READ withSpeaker WRITE setWithSpeaker NOTIFY withSpeakerChanged)
    Q_PROPERTY(bool withTime READ withTime WRITE setWithTime NOTIFY withTimeChanged)
    Q_PROPERTY(bool withAudio READ withAudio WRITE setWithAudio NOTIFY withAudioChanged)
    Q_PROPERTY(bool withHLCMMT READ withHLCMMT WRITE setWithHLCMMT NOTIFY withHLCMMTChanged)
    Q_PROPERTY(QString exportDirUrl READ exportDirUrl CONSTANT)

public:
    explicit ExportHandlingItemModel(QObject *parent = nullptr);
    ~ExportHandlingItemModel() override;

    QVariantList projectUrls() const { return m_projectUrls; }
    void setProjectUrls(const QVariantList &v);
    QString saveRootUrl() const { return m_saveRootUrl; }
    void setSaveRootUrl(const QString &v);
    QString exportType() const { return m_exportType; }
    void setExportType(const QString &v);
    // The exporters read these three from their worker threads; they do not
    // change once init() has started the exports.
    bool withSpeaker() const { return m_withSpeaker; }
    void setWithSpeaker(bool v);
    bool withTime() const { return m_withTime; }
    void setWithTime(bool v);
    bool withAudio() const { return m_withAudio; }
    void setWithAudio(bool v);
    bool withHLCMMT() const { return m_withHLCMMT; }
    void setWithHLCMMT(bool v);
    QString exportDirUrl() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;

    Q_INVOKABLE void init();
    // The labels of the export types that can be written, in the order the
    // export page offers them.
    Q_INVOKABLE static QStringList exportTypes();

signals:
    void projectUrlsChanged();
    void saveRootUrlChanged();
    void exportTypeChanged();
    void withSpeakerChanged();
    void withTimeChanged();
    void withAudioChanged();
    void withHLCMMTChanged();

protected:
    QString itemName(int row) const override;
    QString itemErr(int row) const override;
    int itemStatus(int row) const override;
    int itemProgress(int row) const override;
    void cancelJobs() override;

private:
    struct ExportItem;

    ExportItem *makeItem(const QString &url);
    void onItemProgress(ExportItem *item, int v);
    void onItemFinished(ExportItem *item, const QString &projectDir, const QDir &itemDir);
    void endItem(ExportItem *item, const QString &err);
    void waitForAudioCopies();
    void refreshItem(ExportItem *item);
    void updateFinished();

    QVariantList m_projectUrls;
    QString m_saveRootUrl;
    QString m_exportType;
    bool m_withSpeaker = false;
    bool m_withTime = false;
    bool m_withAudio = false;
    bool m_withHLCMMT = false;
    QList<ExportItem *> items;
    QDir exportDir;
    // exportDir is only meaningful once init() has named it, and is only ever
    // removed when init() made it.
    bool exportDirNamed = false;
    bool exportDirMade = false;
};

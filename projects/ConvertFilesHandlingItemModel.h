#pragma once
// Converts several media files in one batch: each file into a new project of
// its own, through a private controller, strictly one after another. One row
// per file with its state, progress and error.

#include "projects/BatchHandlingItemModel.h"

#include <QString>
#include <QVariantList>

#include <memory>
#include <vector>

class ProjectMainController;

struct ConvertFileJob
{
    QString projectUrl;
    QString fileUrl;
    QString err;
    QString name;
    int status = 0;
    int progress = 0;
    // Null when the project could not be made, and once the row has ended.
    ProjectMainController *controller = nullptr;
};

class ConvertFilesHandlingItemModel : public BatchHandlingItemModel
{
    Q_OBJECT
    Q_PROPERTY(QVariantList fileUrls READ fileUrls WRITE setFileUrls NOTIFY fileUrlsChanged)
    Q_PROPERTY(QString rootUrl READ rootUrl WRITE setRootUrl NOTIFY rootUrlChanged)
    Q_PROPERTY(QString lang READ lang WRITE setLang NOTIFY langChanged)
    Q_PROPERTY(double speechRate READ speechRate WRITE setSpeechRate NOTIFY speechRateChanged)

public:
    explicit ConvertFilesHandlingItemModel(QObject *parent = nullptr);
    ~ConvertFilesHandlingItemModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;

    QVariantList fileUrls() const { return m_fileUrls; }
    void setFileUrls(const QVariantList &v);
    QString rootUrl() const { return m_rootUrl; }
    void setRootUrl(const QString &v);
    QString lang() const { return m_lang; }
    void setLang(const QString &v);
    double speechRate() const { return m_speechRate; }
    void setSpeechRate(double v);

    // Makes one project per file and starts the first conversion. Once only.
    Q_INVOKABLE void init();

signals:
    void fileUrlsChanged();
    void rootUrlChanged();
    void langChanged();
    void speechRateChanged();

protected:
    QString itemName(int row) const override;
    QString itemErr(int row) const override;
    int itemStatus(int row) const override;
    int itemProgress(int row) const override;
    void cancelJobs() override;

private:
    ConvertFileJob *job(int row) const;
    ConvertFileJob *currentJob() const { return job(current); }
    void connectJob(ConvertFileJob *j);
    void processNext();
    void onJobStarted(ConvertFileJob *j, bool suc);
    void onJobProgress(ConvertFileJob *j);
    void onJobStopped(ConvertFileJob *j);
    void endJob(ConvertFileJob *j, int status, const QString &err);
    static void releaseController(ConvertFileJob *j);

    QObject *context;
    QVariantList m_fileUrls;
    QString m_rootUrl;
    QString m_lang;
    double m_speechRate = 0;
    std::vector<std::unique_ptr<ConvertFileJob>> jobs;
    int current = -1;
    bool inited = false;
};

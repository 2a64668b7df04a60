#pragma once
// Base of the exporters. The export batch model is the parent of each one;
// the exporters' worker threads read its options and cancel flag through it.

#include <QObject>
#include <QString>

class BatchHandlingItemModel;

class IExportHandling : public QObject
{
    Q_OBJECT

public:
    explicit IExportHandling(QObject *parent = nullptr);

    // Set together by setErr before finished() on a failure; the batch model
    // reads them after finished().
    bool hasErr = false;
    QString err;

    void setErr(const QString &e);
    // The parent batch's cancel flag; safe from the worker thread.
    bool isCanceled() const;

signals:
    void finished();
    void progress(int v);

public slots:
    virtual void start() = 0;
    virtual void stop() = 0;

private:
    // Kept at construction so that worker threads never walk the object tree.
    const BatchHandlingItemModel *m_batch = nullptr;
};

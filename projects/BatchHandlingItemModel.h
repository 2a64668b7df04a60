#pragma once
// Base of the list models behind the batch pages (file conversion, export):
// one row per job, the batch-wide counters and the cancel flag. The whole row
// reaches QML as one map under the role "d".

#include <QAbstractItemModel>
#include <QAtomicInt>
#include <QString>

class BatchHandlingItemModel : public QAbstractItemModel
{
    Q_OBJECT
    Q_PROPERTY(int finished READ finished WRITE setFinished NOTIFY finishedChanged)
    Q_PROPERTY(int total READ total WRITE setTotal NOTIFY totalChanged)
    Q_PROPERTY(bool totalFinished READ totalFinished WRITE setTotalFinished NOTIFY totalFinishedChanged)

public:
    enum Roles {
        IdxRole = 1,
        DRole = 2,
    };

    explicit BatchHandlingItemModel(QObject *parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    int finished() const { return m_finished.loadRelaxed(); }
    void setFinished(int v);
    int total() const { return m_total.loadRelaxed(); }
    void setTotal(int v);
    bool totalFinished() const { return m_totalFinished.loadRelaxed() != 0; }
    void setTotalFinished(bool v);

    Q_INVOKABLE void cancel();
    // Read by the exporters' worker threads while the GUI thread may set it.
    Q_INVOKABLE bool isCanceled() const { return m_canceled.loadAcquire() != 0; }

signals:
    void finishedChanged();
    void totalChanged();
    void canceled();
    void totalFinishedChanged();

protected:
    virtual QString itemName(int row) const = 0;
    virtual QString itemErr(int row) const = 0;
    virtual int itemStatus(int row) const = 0;
    virtual int itemProgress(int row) const = 0;
    virtual void cancelJobs() = 0;

    // dataChanged over one row, with no role list (every role may differ).
    void rowChanged(int row);

private:
    QAtomicInt m_finished { 0 };
    QAtomicInt m_total { 0 };
    QAtomicInt m_canceled { 0 };
    QAtomicInt m_totalFinished { 0 };
};

#include "projects/BatchHandlingItemModel.h"

#include <QVariantMap>

BatchHandlingItemModel::BatchHandlingItemModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

QModelIndex BatchHandlingItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    return createIndex(row, column);
}

QModelIndex BatchHandlingItemModel::parent(const QModelIndex &) const
{
    return {};
}

// One column at the top, so that the model is a proper list for Qt's own
// checks; QML reads column 0 only.
int BatchHandlingItemModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant BatchHandlingItemModel::data(const QModelIndex &index, int role) const
{
    const int r = index.row();
    if (!index.isValid() || r < 0 || r >= rowCount(QModelIndex()))
        return {};
    if (role == IdxRole)
        return r;
    if (role == DRole) {
        QVariantMap d;
        d.insert(QStringLiteral("name"), itemName(r));
        d.insert(QStringLiteral("err"), itemErr(r));
        d.insert(QStringLiteral("status"), itemStatus(r));
        d.insert(QStringLiteral("progress"), itemProgress(r));
        return d;
    }
    return {};
}

QHash<int, QByteArray> BatchHandlingItemModel::roleNames() const
{
    return { { IdxRole, "idx" }, { DRole, "d" } };
}

void BatchHandlingItemModel::setFinished(int v)
{
    if (finished() == v)
        return;
    m_finished.fetchAndStoreOrdered(v);
    emit finishedChanged();
}

void BatchHandlingItemModel::setTotal(int v)
{
    if (total() == v)
        return;
    m_total.fetchAndStoreOrdered(v);
    emit totalChanged();
}

void BatchHandlingItemModel::setTotalFinished(bool v)
{
    if (totalFinished() == v)
        return;
    m_totalFinished.fetchAndStoreOrdered(v ? 1 : 0);
    emit totalFinishedChanged();
}

void BatchHandlingItemModel::cancel()
{
    m_canceled.fetchAndStoreOrdered(1);
    emit canceled();
    cancelJobs();
}

void BatchHandlingItemModel::rowChanged(int row)
{
    if (row < 0 || row >= rowCount(QModelIndex()))
        return;
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, {});
}

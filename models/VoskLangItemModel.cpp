#include "models/VoskLangItemModel.h"

#include "storage/LangDb.h"

VoskLangItemModel::VoskLangItemModel(QObject *parent)
    : QAbstractItemModel(parent)
{
    m_rows = LangDb::instance()->list(QString());
}

void VoskLangItemModel::search(QString kw)
{
    if (!m_rows.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, m_rows.size() - 1);
        m_rows.clear();
        endRemoveRows();
    }
    QList<Sqlite3Row> rows = LangDb::instance()->list(kw);
    if (!rows.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, rows.size() - 1);
        m_rows = std::move(rows);
        endInsertRows();
    }
}

QModelIndex VoskLangItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex VoskLangItemModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int VoskLangItemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int VoskLangItemModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant VoskLangItemModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_rows.size())
        return QVariant();
    const Sqlite3Row &row = m_rows.at(index.row());
    switch (role) {
    case IdxRole:
        return index.row();
    case IdRole:
        return row.value(QStringLiteral("id"));
    case NameRole:
        return row.value(QStringLiteral("native"));
    case FnRole:
        return row.value(QStringLiteral("fn"));
    case HasSRole:
        return !row.value(QStringLiteral("file1")).toString().isEmpty();
    case HasHRole:
        return !row.value(QStringLiteral("file2")).toString().isEmpty();
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> VoskLangItemModel::roleNames() const
{
    return {
        {IdxRole, "idx"}, {IdRole, "id"}, {NameRole, "name"}, {FnRole, "fn"}, {HasSRole, "has_s"}, {HasHRole, "has_h"},
    };
}

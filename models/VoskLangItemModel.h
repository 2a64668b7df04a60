#pragma once
// The languages of the catalogue as a list for QML, with a keyword search.

#include "storage/Sqlite3DB.h"

#include <QAbstractItemModel>
#include <QList>

class VoskLangItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Roles {
        IdxRole = Qt::UserRole + 1,
        IdRole,
        NameRole,
        FnRole,
        HasSRole,
        HasHRole,
    };

    explicit VoskLangItemModel(QObject *parent = nullptr);

    Q_INVOKABLE void search(QString kw);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    QList<Sqlite3Row> m_rows;
};

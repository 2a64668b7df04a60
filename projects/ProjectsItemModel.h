#pragma once
// The list behind the Projects page: every catalogued project folder that
// still holds a manifest, newest first. Rows can be ticked, exported, deleted
// from disk, and a project folder can be imported into the catalogue. The
// page makes a new model each time it is shown; that is when the list is read.

#include <QAbstractItemModel>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

class ProjectsItemModel : public QAbstractItemModel
{
    Q_OBJECT
    Q_PROPERTY(int checkedCount READ checkedCount WRITE setCheckedCount NOTIFY checkedCountChanged)
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)

public:
    enum Roles {
        IdxRole = 1,
        DRole = 2,
        StatusRole = 3,
    };

    explicit ProjectsItemModel(QObject *parent = nullptr);
    ~ProjectsItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    int checkedCount() const { return m_checked.size(); }
    // The count follows the ticks; QML cannot set it.
    void setCheckedCount(int) {}
    QString lastErr() const { return m_lastErr; }
    void setLastErr(const QString &err);

    Q_INVOKABLE bool isChecked(qlonglong id) const;
    Q_INVOKABLE void setChecked(qlonglong id, bool checked);
    Q_INVOKABLE void setCheckedAll(bool checked);
    // Adds the project folder at projectUrl to the catalogue and the list.
    // True also when it is listed already; false with lastErr otherwise.
    Q_INVOKABLE bool importProject(const QString &projectUrl);
    // Delete the projects' own files from disk, and their rows. Files of the
    // user's stay; lastErr then says which and where, or why a project that
    // could not go stays listed. A project whose manifest cannot be read
    // only leaves the list.
    Q_INVOKABLE void deleteSelProjects();
    Q_INVOKABLE void deleteProject(int idx);
    // File URLs of the ticked projects, in list order.
    Q_INVOKABLE QVariantList selProjectUrls() const;

signals:
    void checkedCountChanged();
    void lastErrChanged();

private:
    // Deletes the project of row from disk, or only from the list; true
    // when the row is to go. What the user should know goes into notes.
    bool deleteFromDisk(int row, QStringList &notes);
    void dropRow(int row);
    void allRowsChanged();

    QList<QVariantMap> m_rows;
    QSet<qint64> m_checked;
    QString m_lastErr;
};

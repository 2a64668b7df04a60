#pragma once
// The highlights and comments of the open project, newest first, each with
// its replies oldest first. Loaded off the GUI thread through Initable; the
// rows reach the model, and its views, on the model's own thread.

#include "app/Initable.h"

#include <QAbstractItemModel>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

class ProjectMainController;
class VoskProDb;

class CommentItemModel : public QAbstractItemModel, public Initable
{
    Q_OBJECT
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)
    Q_PROPERTY(qlonglong focusInputCItemId READ focusInputCItemId WRITE setFocusInputCItemId NOTIFY focusInputCItemIdChanged)

public:
    enum Roles {
        IdxRole = Qt::UserRole + 1,
        DRole,
    };

    explicit CommentItemModel(QObject *parent = nullptr);
    ~CommentItemModel() override;

    bool init(QString &err) override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString lastErr() const { return m_lastErr; }
    void setLastErr(const QString &err);
    qlonglong focusInputCItemId() const { return m_focusInputCItemId; }
    void setFocusInputCItemId(qlonglong id);

signals:
    void highlightDeleted(qlonglong segId, qlonglong hlId);
    void lastErrChanged();
    void focusInputCItemIdChanged();

public slots:
    void onMainCtrlNewHighLight(QVariant hl);
    void onAfterDeleteSeg(qlonglong segId);
    void onAfterClearConvertTmp(qlonglong convertId);

public:
    Q_INVOKABLE void addReply(int idx, QString text);
    Q_INVOKABLE void removeReply(int idx, qlonglong replyId);
    Q_INVOKABLE qlonglong addHighlight(qlonglong segId, QString text);
    Q_INVOKABLE qlonglong addComment(qlonglong segId, QString text);
    Q_INVOKABLE void removeCItem(qlonglong segId, qlonglong cid);
    Q_INVOKABLE int idxFromCItemId(qlonglong cid);

private:
    void takeOver(ProjectMainController *ctrl, const QSharedPointer<VoskProDb> &projectDb, const QVariantList &items);
    qlonglong addCItem(qlonglong segId, int type, const QString &text);
    void insertFirst(const QVariant &item);
    void reloadReplies(int idx);
    void removeWhere(const QString &key, qlonglong value);

    ProjectMainController *cp = nullptr;
    QVariantList citems;
    QString m_lastErr;
    qlonglong m_focusInputCItemId = -1;
    QSharedPointer<VoskProDb> db;
};

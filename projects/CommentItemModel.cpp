#include "projects/CommentItemModel.h"

#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "storage/VoskProDb.h"

#include <QTimer>

namespace {

QVariant itemValue(const QVariant &item, const char *key)
{
    return item.toMap().value(QLatin1String(key));
}

}

CommentItemModel::CommentItemModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

CommentItemModel::~CommentItemModel() = default;

void CommentItemModel::setLastErr(const QString &err)
{
    if (m_lastErr == err)
        return;
    m_lastErr = err;
    emit lastErrChanged();
}

void CommentItemModel::setFocusInputCItemId(qlonglong id)
{
    if (m_focusInputCItemId == id)
        return;
    m_focusInputCItemId = id;
    emit focusInputCItemIdChanged();
}

bool CommentItemModel::init(QString &err)
{
    ProjectMainController *ctrl = ProjectsMgr::instance()->cp();
    if (!ctrl || !ctrl->db) {
        err = QStringLiteral("invalid controller.");
        QMetaObject::invokeMethod(this, [this, err] { setLastErr(err); });
        return false;
    }
    const QSharedPointer<VoskProDb> projectDb = ctrl->db;
    QVariantList items = projectDb->loadCItems();
    for (QVariant &item : items) {
        QVariantMap m = item.toMap();
        m.insert(QStringLiteral("replies"), projectDb->loadComments(m.value(QStringLiteral("id")).toLongLong()));
        item = m;
    }
    // The rows and the controller's signals belong to the thread the views
    // read on; posted there ahead of the opening thread's report, so the page
    // finds the rows in place, announced to every view already attached.
    QMetaObject::invokeMethod(this, [this, ctrl, projectDb, items] { takeOver(ctrl, projectDb, items); });
    return true;
}

void CommentItemModel::takeOver(ProjectMainController *ctrl, const QSharedPointer<VoskProDb> &projectDb,
                                const QVariantList &items)
{
    cp = ctrl;
    db = projectDb;
    if (!items.isEmpty()) {
        beginInsertRows(QModelIndex(), citems.size(), citems.size() + items.size() - 1);
        citems.append(items);
        endInsertRows();
    }
    connect(cp, &ProjectMainController::newHighlight, this, &CommentItemModel::onMainCtrlNewHighLight);
    connect(cp, &ProjectMainController::afterClearConvertTmp, this, &CommentItemModel::onAfterClearConvertTmp);
}

QModelIndex CommentItemModel::index(int row, int column, const QModelIndex &) const
{
    return createIndex(row, column);
}

QModelIndex CommentItemModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int CommentItemModel::rowCount(const QModelIndex &) const
{
    return citems.size();
}

int CommentItemModel::columnCount(const QModelIndex &) const
{
    return 0;
}

QVariant CommentItemModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (row < 0 || row >= citems.size())
        return QVariant();
    switch (role) {
    case IdxRole: return row;
    case DRole: return citems.at(row);
    default: return QVariant();
    }
}

QHash<int, QByteArray> CommentItemModel::roleNames() const
{
    return { { IdxRole, "idx" }, { DRole, "d" } };
}

void CommentItemModel::insertFirst(const QVariant &item)
{
    beginInsertRows(QModelIndex(), 0, 0);
    citems.prepend(item);
    endInsertRows();
    // Every row below moved: its "idx", which replies go by, changed.
    emit dataChanged(index(0, 0), index(citems.size() - 1, 0));
}

void CommentItemModel::onMainCtrlNewHighLight(QVariant hl)
{
    insertFirst(hl);
}

void CommentItemModel::removeWhere(const QString &key, qlonglong value)
{
    for (int i = 0; i < citems.size();) {
        if (citems.at(i).toMap().value(key).toLongLong() == value) {
            beginRemoveRows(QModelIndex(), i, i);
            citems.removeAt(i);
            endRemoveRows();
        } else {
            ++i;
        }
    }
    if (!citems.isEmpty())
        emit dataChanged(index(0, 0), index(citems.size() - 1, 0));
}

void CommentItemModel::onAfterDeleteSeg(qlonglong segId)
{
    removeWhere(QStringLiteral("vres_id"), segId);
}

void CommentItemModel::onAfterClearConvertTmp(qlonglong convertId)
{
    removeWhere(QStringLiteral("item_id"), convertId);
}

void CommentItemModel::reloadReplies(int idx)
{
    QVariantMap m = citems.at(idx).toMap();
    m.insert(QStringLiteral("replies"), db->loadComments(m.value(QStringLiteral("id")).toLongLong()));
    citems[idx] = m;
    emit dataChanged(index(idx, 0), index(idx, 0));
}

void CommentItemModel::addReply(int idx, QString text)
{
    text = text.trimmed();
    if (idx < 0 || idx >= citems.size() || text.isEmpty() || !cp)
        return;
    db->addComment(itemValue(citems.at(idx), "id").toLongLong(), text);
    reloadReplies(idx);
}

void CommentItemModel::removeReply(int idx, qlonglong replyId)
{
    if (idx < 0 || idx >= citems.size() || !cp)
        return;
    db->deleteComment(replyId);
    reloadReplies(idx);
}

qlonglong CommentItemModel::addCItem(qlonglong segId, int type, const QString &text)
{
    if (!cp || text.isEmpty())
        return 0;
    const QVariantMap item = db->addCItem(segId, text, type);
    const qulonglong id = item.value(QStringLiteral("id")).toULongLong();
    if (id == 0)
        return 0;
    insertFirst(item);
    return qlonglong(id);
}

qlonglong CommentItemModel::addHighlight(qlonglong segId, QString text)
{
    return addCItem(segId, 1, text);
}

qlonglong CommentItemModel::addComment(qlonglong segId, QString text)
{
    const qlonglong id = addCItem(segId, 2, text);
    m_focusInputCItemId = id;
    // Gives the view time to make the new row's delegate before it is asked
    // to focus; a precise timer never fires early. The timer dies with this
    // object, so leaving the page meanwhile is harmless.
    QTimer::singleShot(200, Qt::PreciseTimer, this, [this] { emit focusInputCItemIdChanged(); });
    return id;
}

void CommentItemModel::removeCItem(qlonglong segId, qlonglong cid)
{
    if (!cp || !db->deleteCItem(cid))
        return;
    const int i = idxFromCItemId(cid);
    if (i < 0)
        return;
    const int type = itemValue(citems.at(i), "type").toInt();
    beginRemoveRows(QModelIndex(), i, i);
    citems.removeAt(i);
    endRemoveRows();
    if (i < citems.size())
        emit dataChanged(index(i, 0), index(citems.size() - 1, 0));
    if (type == 1)
        emit highlightDeleted(segId, cid);
}

int CommentItemModel::idxFromCItemId(qlonglong cid)
{
    for (int i = 0; i < citems.size(); ++i) {
        if (itemValue(citems.at(i), "id").toLongLong() == cid)
            return i;
    }
    return -1;
}

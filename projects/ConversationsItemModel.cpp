#include "projects/ConversationsItemModel.h"

#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "util/BaseUtil.h"

#include <QRegExp>
#include <QRegularExpression>
#include <QVector>


ConversationsItemModel::ConversationsItemModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

ConversationsItemModel::~ConversationsItemModel() = default;

void ConversationsItemModel::setLastErr(const QString &err)
{
    if (m_lastErr == err)
        return;
    m_lastErr = err;
    emit lastErrChanged();
}

bool ConversationsItemModel::init(QString &err)
{
    ProjectMainController *ctrl = ProjectsMgr::instance()->cp();
    if (!ctrl || !ctrl->db) {
        err = QStringLiteral("invalid controller.");
        QMetaObject::invokeMethod(this, [this, err] { setLastErr(err); });
        return false;
    }
    const QSharedPointer<VoskProDb> projectDb = ctrl->db;
    QList<VoskProSeg> loaded = projectDb->loadSegs(-1);
    const QList<VoskSpeakerInfo> spks = projectDb->loadSpeakers();
    // The rows and the controller's signals belong to the thread the views
    // read on; posted there ahead of the opening thread's report, so the page
    // finds the rows in place, announced to every view already attached.
    // Handed over, not shared: the first row read would copy them all.
    QMetaObject::invokeMethod(this, [this, ctrl, projectDb, loaded = std::move(loaded), spks]() mutable {
        takeOver(ctrl, projectDb, std::move(loaded), spks);
    });
    return true;
}

void ConversationsItemModel::takeOver(ProjectMainController *ctrl, const QSharedPointer<VoskProDb> &projectDb,
                                      QList<VoskProSeg> loaded, const QList<VoskSpeakerInfo> &spks)
{
    cp = ctrl;
    db = projectDb;
    for (const VoskSpeakerInfo &s : spks)
        speakers.insert(s.id, s);
    if (!loaded.isEmpty()) {
        beginInsertRows(QModelIndex(), 0, loaded.size() - 1);
        cleaned.insert(0, loaded.size(), false);
        loaded += segs;
        segs = std::move(loaded);
        endInsertRows();
        // The live row moved behind them.
        const int n = segs.size();
        emit dataChanged(index(n, 0), index(n, 0));
    }
    connect(cp, &ProjectMainController::partialResult, this, &ConversationsItemModel::partialResult);
    connect(cp, &ProjectMainController::newResult, this, &ConversationsItemModel::newResult);
    connect(cp, &ProjectMainController::afterClearConvertTmp, this, &ConversationsItemModel::onAfterClearConvertTmp);
}

QModelIndex ConversationsItemModel::index(int row, int column, const QModelIndex &) const
{
    return createIndex(row, column);
}

QModelIndex ConversationsItemModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int ConversationsItemModel::rowCount(const QModelIndex &) const
{
    return segs.size() + 1;
}

int ConversationsItemModel::columnCount(const QModelIndex &) const
{
    return 0;
}

QVariant ConversationsItemModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    const int n = segs.size();
    if (row < 0 || row > n)
        return QVariant();

    if (row == n) {
        switch (role) {
        case IdxRole: return n;
        case IdRole: return 0;
        case SendRole: return partialDev == 1;
        case TimeRole: return QString();
        case MessageRole: return partialHtml;
        case SpeakerRole: return QString();
        case SpeakerColorRole: return QString();
        case PartialRole: return true;
        default: return QVariant();
        }
    }

    const VoskProSeg &seg = segs.at(row);
    switch (role) {
    case IdxRole: return row;
    case IdRole: return qlonglong(seg.id);
    case SendRole: return seg.device == 1;
    case TimeRole: return BaseUtil::formatMSecs(BaseUtil::secsToMSecs(seg.start));
    case MessageRole: return message(row);
    case SpeakerRole: {
        const auto it = speakers.constFind(seg.spkId);
        return it == speakers.constEnd() ? QString() : it->name;
    }
    case SpeakerColorRole: {
        const auto it = speakers.constFind(seg.spkId);
        if (it == speakers.constEnd() || it->color.isEmpty())
            return QStringLiteral("red");
        return it->color;
    }
    case PartialRole: return false;
    case FstartRole: return double(seg.fstart);
    case FendRole: return double(seg.fend);
    default: return QVariant();
    }
}

// A project made elsewhere may hold any markup: a row shows what the editor
// would store, whose layout cannot stall the view. Cleaned when the row is
// first read, not when the project opens, which it would slow down.
const QString &ConversationsItemModel::message(int row) const
{
    VoskProSeg &seg = segs[row];
    if (!cleaned.at(row)) {
        seg.html = BaseUtil::htmlBody(seg.html);
        cleaned[row] = true;
    }
    return seg.html;
}

QHash<int, QByteArray> ConversationsItemModel::roleNames() const
{
    return {
        { IdxRole, "idx" },
        { IdRole, "id" },
        { SendRole, "send" },
        { TimeRole, "time" },
        { MessageRole, "message" },
        { SpeakerRole, "speaker" },
        { SpeakerColorRole, "speakerColor" },
        { PartialRole, "partial" },
        { FstartRole, "fstart" },
        { FendRole, "fend" },
    };
}

void ConversationsItemModel::partialResult(int dev, QString html)
{
    const int oldDev = partialDev;
    partialDev = dev;
    partialHtml = html;
    emit newPartial();

    const int n = segs.size();
    if (dev != oldDev) {
        // The view places the bubble by "send" when it creates the delegate,
        // so the live row is made anew on the other side.
        beginRemoveRows(QModelIndex(), n, n);
        endRemoveRows();
        beginInsertRows(QModelIndex(), n, n);
        endInsertRows();
    }
    emit dataChanged(index(n, 0), index(n, 0));
}

void ConversationsItemModel::newResult(VoskSpeakerInfo spk, VoskProSeg seg)
{
    const int n = segs.size();
    beginInsertRows(QModelIndex(), n, n);
    segs.append(seg);
    cleaned.append(true);
    speakers.insert(spk.id, spk);
    endInsertRows();
    partialHtml.clear();
    emit newPartial();
    emit dataChanged(index(n, 0), index(n + 1, 0));
}

void ConversationsItemModel::removeSegRow(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    segs.removeAt(row);
    cleaned.remove(row);
    endRemoveRows();
}

void ConversationsItemModel::onAfterClearConvertTmp(qlonglong convertId)
{
    for (int i = 0; i < segs.size();) {
        if (segs.at(i).itemId == convertId) {
            removeSegRow(i);
        } else {
            ++i;
        }
    }
    if (!segs.isEmpty())
        emit dataChanged(index(0, 0), index(segs.size() - 1, 0));
}

int ConversationsItemModel::partialIdx()
{
    return segs.size();
}

bool ConversationsItemModel::play(int idx)
{
    if (!cp || !inRange(idx))
        return false;
    const VoskProSeg &seg = segs.at(idx);
    cp->play(idx, seg.fstart, seg.fend);
    return true;
}

bool ConversationsItemModel::updateSegHtml(int idx, QString html)
{
    // Rows exist only once a controller and its database are known.
    if (!inRange(idx))
        return false;
    if (!db->updateSegHtml(segs.at(idx).id, html)) {
        setLastErr(db->lastErr);
        return false;
    }
    segs[idx].html = html;
    cleaned[idx] = true;
    emit dataChanged(index(idx, 0), index(idx, 0));
    return true;
}

bool ConversationsItemModel::updateSpeakerName(int idx, QString name)
{
    if (!inRange(idx))
        return false;
    const qint64 spkId = segs.at(idx).spkId;
    if (!db->updateSpeakerName(spkId, name)) {
        setLastErr(db->lastErr);
        return false;
    }
    const auto it = speakers.find(spkId);
    if (it == speakers.end())
        return true;
    it->name = name;
    // Every row of this speaker shows the name, wherever it stands.
    int first = -1;
    int last = -1;
    for (int i = 0; i < segs.size(); ++i) {
        if (segs.at(i).spkId == spkId) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first >= 0)
        emit dataChanged(index(first, 0), index(last, 0), { SpeakerRole });
    return true;
}

bool ConversationsItemModel::deleteSeg(int idx)
{
    if (!inRange(idx))
        return false;
    const qint64 segId = segs.at(idx).id;
    if (!db->deleteSeg(segId)) {
        setLastErr(db->lastErr);
        return false;
    }
    emit afterDeleteSeg(segId);
    removeSegRow(idx);
    // The rows after it changed their "idx"; there are none after the last.
    if (idx < segs.size())
        emit dataChanged(index(idx, 0), index(segs.size() - 1, 0));
    return true;
}

namespace {

// The colours that the editor writes for a highlight on the spans inside its
// anchor; a span left with no other style goes, its content stays.
QString withoutHighlightColours(const QString &html)
{
    static const QRegularExpression spanTag(QStringLiteral("<(/?)span\\b([^>]*)>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression styleAttr(QStringLiteral("\\bstyle\\s*=\\s*\"([^\"]*)\""), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression colour(
        QStringLiteral("\\s*(?<![\\w-])(background-color\\s*:\\s*#a7e4fb|color\\s*:\\s*#333333|text-decoration\\s*:\\s*underline)\\s*;?"),
        QRegularExpression::CaseInsensitiveOption);

    QString out;
    QVector<bool> dropped;
    int from = 0;
    for (auto it = spanTag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += html.midRef(from, m.capturedStart() - from);
        from = m.capturedEnd();
        if (!m.captured(1).isEmpty()) {
            if (dropped.isEmpty() || !dropped.takeLast())
                out += m.captured(0);
            continue;
        }
        QString attrs = m.captured(2);
        const QRegularExpressionMatch style = styleAttr.match(attrs);
        if (style.hasMatch()) {
            QString decls = style.captured(1);
            decls.remove(colour);
            if (decls.trimmed().isEmpty())
                attrs.remove(style.capturedStart(), style.capturedLength());
            else
                attrs.replace(style.capturedStart(1), style.capturedLength(1), decls);
        }
        const bool drop = attrs.trimmed().isEmpty();
        dropped.append(drop);
        if (!drop)
            out += QLatin1String("<span") + attrs + QLatin1Char('>');
    }
    out += html.midRef(from);
    return out;
}

}

QString ConversationsItemModel::unwrapHighlight(const QString &html, qint64 hlId)
{
    QRegExp open(QStringLiteral("<a[^<>]*href=\"#hl%1\"[^<>]*>").arg(hlId), Qt::CaseInsensitive, QRegExp::RegExp);
    QRegExp tag(QStringLiteral("<(/?)a(?:[\\s/>])"), Qt::CaseInsensitive, QRegExp::RegExp);

    QString out;
    int from = 0;
    int at;
    while ((at = open.indexIn(html, from)) >= 0) {
        out += html.midRef(from, at - from);
        const int innerStart = at + open.matchedLength();
        // Find the anchor's own end tag: a picture link inside the highlight
        // has an end tag of its own.
        int depth = 1;
        int pos = innerStart;
        int innerEnd = -1;
        int t;
        while ((t = tag.indexIn(html, pos)) >= 0) {
            if (tag.cap(1).isEmpty()) {
                ++depth;
            } else if (--depth == 0) {
                innerEnd = t;
                break;
            }
            pos = t + 2;
        }
        if (innerEnd < 0) {
            // No end tag: leave the rest as it is.
            from = at;
            break;
        }
        out += withoutHighlightColours(html.mid(innerStart, innerEnd - innerStart));
        const int close = html.indexOf(QLatin1Char('>'), innerEnd);
        from = close < 0 ? html.size() : close + 1;
    }
    out += html.midRef(from);
    return out;
}

void ConversationsItemModel::removeHighLight(qlonglong segId, qlonglong hlId)
{
    if (!cp)
        return;
    const int row = idxFromSegId(segId);
    if (row < 0)
        return;
    VoskProSeg &seg = segs[row];
    seg.html = unwrapHighlight(message(row), hlId);
    // The row takes the stored (re-serialised) form even when the write fails.
    db->updateSegHtml(segId, seg.html);
    emit dataChanged(index(row, 0), index(row, 0));
}

int ConversationsItemModel::idxFromSegId(qlonglong segId)
{
    for (int i = 0; i < segs.size(); ++i) {
        if (segs.at(i).id == segId)
            return i;
    }
    return -1;
}

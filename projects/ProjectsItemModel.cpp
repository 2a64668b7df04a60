#include "projects/ProjectsItemModel.h"

#include "projects/JsonFile.h"
#include "projects/ProjectFiles.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "projects/RecentProjectsDb.h"
#include "storage/VoskProDb.h"
#include "util/FileUtil.h"
#include "util/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace {

const QString kManifest = QStringLiteral("manifest");

QString cleanAbsolute(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

// Two spellings of one folder give the same key.
QString pathKey(const QString &path)
{
    const QString clean = cleanAbsolute(path);
    return Platform::fileNameCaseSensitivity() == Qt::CaseSensitive ? clean : clean.toLower();
}

QString rowPath(const QVariantMap &row)
{
    return row.value(QStringLiteral("path")).toString();
}

qint64 rowId(const QVariantMap &row)
{
    return row.value(QStringLiteral("id")).toLongLong();
}

// Newest project first; equal creation times put the later registration first.
bool listedBefore(const QVariantMap &a, const QVariantMap &b)
{
    const qint64 ca = a.value(QStringLiteral("created")).toLongLong();
    const qint64 cb = b.value(QStringLiteral("created")).toLongLong();
    if (ca != cb)
        return ca > cb;
    return rowId(a) > rowId(b);
}

bool hasManifest(const QString &folder)
{
    const QFileInfo manifest(QDir(folder).absoluteFilePath(kManifest));
    return manifest.exists() || manifest.isSymLink();
}

// Folders that hold more than a project: never taken for one, whatever file
// named "manifest" they may hold.
QStringList userFolders()
{
    return QStringList { QDir::rootPath(), QDir::homePath(), ProjectsMgr::defaultRootPath() }
        + QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
}

QString canonicalKey(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return pathKey(canonical.isEmpty() ? path : canonical);
}

// A folder of its own: a link may lead anywhere, and the user's own folders
// hold far more than a project, whatever file named "manifest" they hold.
bool isSeparateFolder(const QString &path)
{
    const QFileInfo folder(path);
    if (FileUtil::isLink(folder) || !folder.isDir())
        return false;
    const QString key = canonicalKey(path);
    for (const QString &f : userFolders()) {
        if (canonicalKey(f) == key)
            return false;
    }
    return true;
}

// The manifest reads as one this program wrote, in the folder's own file
// (not through a link). Without that nothing tells the project's files from
// the user's.
bool manifestReadable(const QString &folder)
{
    QVariantMap map;
    return readJsonObject(QDir(folder).absoluteFilePath(kManifest), map) && ProjectFiles::isManifest(map);
}

// Why the folder at path cannot be imported as a project; empty when it can.
// Nothing is written in it: its database is read from a private copy.
QString importRefusal(const QString &path)
{
    const QDir dir(path);
    if (!isSeparateFolder(path)) {
        const QString link = Platform::linkRefusal(path);
        return !link.isEmpty() ? link
                               : QStringLiteral("It holds far more than a project: it is your home, documents or "
                                                "projects folder.");
    }
    for (const QString &name : ProjectFiles::ownFiles()) {
        const QString link = Platform::linkRefusal(dir.absoluteFilePath(name));
        if (!link.isEmpty())
            return link;
    }
    if (!manifestReadable(path))
        return QStringLiteral("Its manifest does not describe a project of this program.");
    // The program saves the project's work in its folder.
    QStringList written { path };
    for (const QString &name : ProjectFiles::ownFiles()) {
        if (QFileInfo::exists(dir.absoluteFilePath(name)))
            written << dir.absoluteFilePath(name);
    }
    for (const QString &p : written) {
        if (!Platform::mayWrite(p))
            return QStringLiteral("%1 is read-only, and the program saves the project's work there. Make it "
                                  "writable, or copy the project into a folder of yours and import the copy.")
                .arg(QDir::toNativeSeparators(p));
    }
    // A project that was never opened has no database yet.
    const QString data = dir.absoluteFilePath(QStringLiteral("data"));
    VoskProDb db;
    if (QFileInfo::exists(data) && !db.openSnapshot(data))
        return QStringLiteral("Its data is not a project database of this program: %1").arg(db.lastErr);
    return QString();
}

// Every catalogue row of the folder, in whatever spelling it was stored.
bool removeFromCatalogue(const QString &path)
{
    const QString key = pathKey(path);
    bool ok = true;
    for (const RecentProjectRow &r : RecentProjectsDb::instance().list()) {
        if (pathKey(r.path) == key)
            ok = RecentProjectsDb::instance().remove(r.id) && ok;
    }
    return ok;
}

// File names for a message: the first few, then how many more.
QString fileList(const QStringList &names)
{
    constexpr int kShown = 5;
    QString text = names.mid(0, kShown).join(QStringLiteral(", "));
    if (names.size() > kShown)
        text += QStringLiteral(" and %1 more").arg(names.size() - kShown);
    return text;
}

}

ProjectsItemModel::ProjectsItemModel(QObject *parent)
    : QAbstractItemModel(parent)
{
    // Older catalogues may hold one folder under several spellings.
    QSet<QString> seen;
    for (const RecentProjectRow &r : RecentProjectsDb::instance().list()) {
        if (seen.contains(pathKey(r.path)))
            continue;
        seen.insert(pathKey(r.path));
        QVariantMap row = readJsonFile(QDir(r.path).absoluteFilePath(kManifest));
        row.insert(QStringLiteral("path"), r.path);
        row.insert(QStringLiteral("id"), r.id);
        m_rows.append(row);
    }
    std::sort(m_rows.begin(), m_rows.end(), listedBefore);
}

ProjectsItemModel::~ProjectsItemModel() = default;

QModelIndex ProjectsItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    return createIndex(row, column);
}

QModelIndex ProjectsItemModel::parent(const QModelIndex &) const
{
    return {};
}

int ProjectsItemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

// One column at the top, so that the model is a proper list for Qt's own
// checks; QML reads column 0 only.
int ProjectsItemModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant ProjectsItemModel::data(const QModelIndex &index, int role) const
{
    const int r = index.row();
    if (!index.isValid() || r < 0 || r >= m_rows.size())
        return {};
    const QVariantMap &row = m_rows.at(r);
    switch (role) {
    case IdxRole:
        return r;
    case DRole:
        return row;
    case StatusRole: {
        // 0: a conversion that never ended; opening the project resumes it.
        const bool unfinished = !row.value(QStringLiteral("convert")).toString().isEmpty()
            && row.value(QStringLiteral("convert_status")).toInt() == 0;
        return unfinished ? 0 : 1;
    }
    default:
        return {};
    }
}

QHash<int, QByteArray> ProjectsItemModel::roleNames() const
{
    return { { IdxRole, "idx" }, { DRole, "d" }, { StatusRole, "status" } };
}

void ProjectsItemModel::setLastErr(const QString &err)
{
    if (m_lastErr == err)
        return;
    m_lastErr = err;
    emit lastErrChanged();
}

bool ProjectsItemModel::isChecked(qlonglong id) const
{
    return m_checked.contains(id);
}

void ProjectsItemModel::setChecked(qlonglong id, bool checked)
{
    if (checked)
        m_checked.insert(id);
    else
        m_checked.remove(id);
    emit checkedCountChanged();
}

void ProjectsItemModel::setCheckedAll(bool checked)
{
    if (checked) {
        for (const QVariantMap &row : qAsConst(m_rows))
            m_checked.insert(rowId(row));
    } else {
        m_checked.clear();
    }
    emit checkedCountChanged();
    allRowsChanged();
}

QVariantList ProjectsItemModel::selProjectUrls() const
{
    QVariantList urls;
    for (const QVariantMap &row : m_rows) {
        if (m_checked.contains(rowId(row)))
            urls.append(QUrl::fromLocalFile(rowPath(row)).toString());
    }
    return urls;
}

bool ProjectsItemModel::importProject(const QString &projectUrl)
{
    const QString local = QUrl(projectUrl).toLocalFile();
    // Not a folder URL: nothing to resolve against but the working folder.
    if (!QDir::isAbsolutePath(local)) {
        setLastErr(QStringLiteral("Import %1 failed.").arg(projectUrl));
        return false;
    }
    const QString path = cleanAbsolute(local);
    if (!hasManifest(path)) {
        setLastErr(QDir(path).absoluteFilePath(kManifest) + QStringLiteral(" not exists."));
        return false;
    }
    const QString key = pathKey(path);
    for (const QVariantMap &row : qAsConst(m_rows)) {
        if (pathKey(rowPath(row)) == key)
            return true;
    }
    const QString refusal = importRefusal(path);
    if (!refusal.isEmpty()) {
        setLastErr(QStringLiteral("Import %1 failed. %2").arg(path, refusal));
        return false;
    }
    const qint64 id = RecentProjectsDb::addPath(path);
    if (id == 0) {
        setLastErr(QStringLiteral("Import %1 failed.").arg(path));
        return false;
    }

    QVariantMap row = readJsonFile(QDir(path).absoluteFilePath(kManifest));
    row.insert(QStringLiteral("id"), id);
    row.insert(QStringLiteral("path"), path);
    // Straight into its place in the order: the views keep their rows.
    const int at = int(std::upper_bound(m_rows.begin(), m_rows.end(), row, listedBefore) - m_rows.begin());
    beginInsertRows(QModelIndex(), at, at);
    m_rows.insert(at, row);
    endInsertRows();
    // Every later row's "idx" moved.
    allRowsChanged();
    return true;
}

void ProjectsItemModel::deleteProject(int idx)
{
    if (idx < 0 || idx >= m_rows.size())
        return;
    QStringList notes;
    if (deleteFromDisk(idx, notes))
        dropRow(idx);
    setLastErr(notes.join(QStringLiteral("\n\n")));
    allRowsChanged();
    emit checkedCountChanged();
}

void ProjectsItemModel::deleteSelProjects()
{
    QStringList notes;
    for (int i = 0; i < m_rows.size();) {
        if (m_checked.contains(rowId(m_rows.at(i))) && deleteFromDisk(i, notes))
            dropRow(i); // the next row moves into i
        else
            ++i;
    }
    setLastErr(notes.join(QStringLiteral("\n\n")));
    allRowsChanged();
    emit checkedCountChanged();
}

bool ProjectsItemModel::deleteFromDisk(int row, QStringList &notes)
{
    const QString path = cleanAbsolute(rowPath(m_rows.at(row)));
    // Lost its manifest meanwhile: no longer a project, nothing to remove.
    if (!hasManifest(path))
        return true;
    if (!manifestReadable(path)) {
        if (!removeFromCatalogue(path)) {
            notes << QStringLiteral("Could not remove %1 from the list.").arg(path);
            return false;
        }
        notes << QStringLiteral("The manifest in %1 cannot be read as one of this program's projects, so no files "
                                "were deleted. The project was removed from the list; its files stay in that folder.")
                     .arg(path);
        return true;
    }
    if (!isSeparateFolder(path)) {
        notes << QStringLiteral("Delete %1 failed.").arg(path);
        return false;
    }
    // The entered project is left first: its run stops as a user stop would
    // and its database closes before its files go.
    ProjectsMgr *mgr = ProjectsMgr::instance();
    if (mgr->cp() && pathKey(mgr->cp()->projectDir().absolutePath()) == pathKey(path))
        mgr->existProject();
    const ProjectFiles::Removal removal = ProjectFiles::remove(path);
    if (!removal.stayed.isEmpty()) {
        notes << QStringLiteral("Could not delete the project in %1: %2 (%3). These of its files stayed:\n%4")
                     .arg(path, removal.stayed.first(), removal.err, fileList(removal.stayed));
        return false;
    }
    if (!removal.kept.isEmpty())
        notes << QStringLiteral("The project was deleted. Files that were not part of it stay in %1:\n%2")
                     .arg(path, fileList(removal.kept));
    return true;
}

void ProjectsItemModel::dropRow(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_checked.remove(rowId(m_rows.takeAt(row)));
    endRemoveRows();
}

void ProjectsItemModel::allRowsChanged()
{
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows.size() - 1, 0));
}

#include "projects/ProjectsMgr.h"

#include "projects/JsonFile.h"
#include "projects/RecentProjectsDb.h"
#include "util/FileUtil.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

namespace {
ProjectsMgr *g_instance = nullptr;
}

ProjectsMgr::ProjectsMgr(QObject *parent)
    : QObject(parent)
{
}

ProjectsMgr::~ProjectsMgr() = default;

ProjectsMgr *ProjectsMgr::instance()
{
    // First called by main on the GUI thread, before any other thread exists.
    if (!g_instance)
        g_instance = new ProjectsMgr();
    return g_instance;
}

void ProjectsMgr::setLastErr(const QString &err)
{
    if (m_lastErr == err)
        return;
    m_lastErr = err;
    emit lastErrChanged();
}

QString ProjectsMgr::defaultRootPath()
{
    return QDir::home().absoluteFilePath(QStringLiteral("kalvinor-audio2text-projects"));
}

QString ProjectsMgr::defaultRootUrl()
{
    const QString path = defaultRootPath();
    QDir().mkpath(path);
    return QUrl::fromLocalFile(path).toString();
}

QString ProjectsMgr::createProject(const QString &name, const QString &rootUrl, const QString &lang, double speechRate)
{
    // An empty or non-local root would otherwise resolve against the working
    // directory and drop the project somewhere the user never chose.
    const QString rootPath = QUrl(rootUrl).toLocalFile();
    if (rootPath.isEmpty() || !QDir::isAbsolutePath(rootPath)) {
        const QString where = rootUrl.isEmpty() ? name : rootUrl + QLatin1Char('/') + name;
        setLastErr(QStringLiteral("create project %1 failed.").arg(where));
        return QString();
    }

    const QDir root(rootPath);
    const QDir folder(FileUtil::uniqueFilePath(root, name));
    if (!QDir().mkpath(folder.absolutePath())) {
        setLastErr(QStringLiteral("create project %1 failed.").arg(folder.absolutePath()));
        return QString();
    }

    QVariantMap manifest;
    manifest.insert(QStringLiteral("name"), name);
    manifest.insert(QStringLiteral("lang"), lang);
    manifest.insert(QStringLiteral("srate"), speechRate);
    manifest.insert(QStringLiteral("created"), QDateTime::currentSecsSinceEpoch());
    if (!writeJsonFile(folder.absoluteFilePath(QStringLiteral("manifest")), manifest)) {
        setLastErr(QStringLiteral("Save project-manifest failed."));
        FileUtil::removeDirRecursively(folder.absolutePath());
        return QString();
    }

    RecentProjectsDb::instance().addProject(folder.absolutePath());
    return QUrl::fromLocalFile(folder.absolutePath()).toString();
}

void ProjectsMgr::setCp(ProjectMainController *cp)
{
    if (m_cp == cp)
        return;
    m_cp = cp;
    emit cpChanged();
}

bool ProjectsMgr::enterProject(const QString &url)
{
    const QString path = QUrl(url).toLocalFile();
    if (path.isEmpty() || !QFileInfo(QDir(path).absoluteFilePath(QStringLiteral("manifest"))).isFile()) {
        setLastErr(QStringLiteral("invalid project."));
        return false;
    }
    if (m_cp) {
        ProjectMainController *old = m_cp;
        old->stop();
        old->deleteLater();
        setCp(nullptr);
    }
    setCp(new ProjectMainController(this));
    m_cp->setProjectDir(path);
    return true;
}

void ProjectsMgr::existProject()
{
    if (!m_cp)
        return;
    ProjectMainController *old = m_cp;
    old->stop();
    // A second reference keeps the database alive through the close even if
    // the controller lets go of it meanwhile.
    const QSharedPointer<VoskProDb> db = old->db;
    if (db && db->isOpen())
        db->close();
    old->deleteLater();
    setCp(nullptr);
}

void ProjectsMgr::touchProject(const QString &projectPath)
{
    RecentProjectsDb::instance().touch(projectPath);
}

bool ProjectsMgr::hasLoopBackDevices()
{
    return true;
}

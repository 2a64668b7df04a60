#include "common/ProjectFixture.h"

#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"

#include <QUrl>

namespace TestUtil {

ProjectFixture::ProjectFixture() = default;

ProjectFixture::~ProjectFixture()
{
    ProjectsMgr::instance()->existProject();
}

bool ProjectFixture::open(QString &err)
{
    if (!m_root.isValid()) {
        err = QStringLiteral("no temporary folder");
        return false;
    }
    ProjectsMgr *mgr = ProjectsMgr::instance();
    const QString url = mgr->createProject(QStringLiteral("Talk"), QUrl::fromLocalFile(m_root.path()).toString(),
                                           QStringLiteral("en-s"), 0.5);
    if (url.isEmpty()) {
        err = mgr->lastErr();
        return false;
    }
    m_folder = QUrl(url).toLocalFile();
    if (!mgr->enterProject(url) || !mgr->cp()) {
        err = mgr->lastErr();
        return false;
    }
    return mgr->cp()->init(err);
}

ProjectMainController *ProjectFixture::controller() const
{
    return ProjectsMgr::instance()->cp();
}

VoskProDb &ProjectFixture::db() const
{
    return *controller()->db;
}

QString ProjectFixture::url() const
{
    return QUrl::fromLocalFile(m_folder).toString();
}

qint64 ProjectFixture::addSeg(const QString &html, float start, qint64 spkId, qint64 itemId, int device,
                              qint64 fstart, qint64 fend)
{
    VoskProSeg seg;
    seg.device = device;
    seg.html = html;
    seg.start = start;
    seg.end = start + 1;
    seg.fstart = fstart;
    seg.fend = fend;
    seg.spkId = spkId;
    return db().addSeg(seg, QStringLiteral("[]"), itemId);
}

}

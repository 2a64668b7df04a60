#pragma once
// The one object behind the QML context property "prosmgr": it proposes the
// default projects folder and creates projects.

#include <QObject>
#include <QString>

#include "projects/ProjectMainController.h"

class ProjectsMgr : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)
    Q_PROPERTY(ProjectMainController *cp READ cp WRITE setCp NOTIFY cpChanged)

public:
    explicit ProjectsMgr(QObject *parent = nullptr);
    ~ProjectsMgr() override;

    static ProjectsMgr *instance();

    QString lastErr() const { return m_lastErr; }
    void setLastErr(const QString &err);
    // The entered project's controller; null when no project is entered.
    ProjectMainController *cp() const { return m_cp; }
    void setCp(ProjectMainController *cp);

    // "kalvinor-audio2text-projects" in the home folder; not created here.
    static QString defaultRootPath();
    Q_INVOKABLE QString defaultRootUrl();
    // The new project's folder as a file URL; empty on failure (see lastErr).
    Q_INVOKABLE QString createProject(const QString &name, const QString &rootUrl, const QString &lang, double speechRate);
    // Stops and releases the entered project's controller, then makes one for
    // the project at url. False when url holds no project.
    Q_INVOKABLE bool enterProject(const QString &url);
    // Leaves the entered project: stops its run and closes its database.
    Q_INVOKABLE void existProject();
    Q_INVOKABLE void touchProject(const QString &projectPath);
    Q_INVOKABLE bool hasLoopBackDevices();

signals:
    void lastErrChanged();
    void cpChanged();

private:
    QString m_lastErr;
    ProjectMainController *m_cp = nullptr;
};

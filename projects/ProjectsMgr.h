#pragma once
// The one object behind the QML context property "prosmgr": it proposes the
// default projects folder and creates projects.

#include <QObject>
#include <QString>

class ProjectsMgr : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString lastErr READ lastErr WRITE setLastErr NOTIFY lastErrChanged)

public:
    explicit ProjectsMgr(QObject *parent = nullptr);
    ~ProjectsMgr() override;

    static ProjectsMgr *instance();

    QString lastErr() const { return m_lastErr; }
    void setLastErr(const QString &err);

    Q_INVOKABLE QString defaultRootUrl();
    // The new project's folder as a file URL; empty on failure (see lastErr).
    Q_INVOKABLE QString createProject(const QString &name, const QString &rootUrl, const QString &lang, double speechRate);
    Q_INVOKABLE void touchProject(const QString &projectPath);
    Q_INVOKABLE bool hasLoopBackDevices();

    // Entering and leaving a project (cp, enterProject, existProject) sit
    // between lastErrChanged and touchProject once the controller exists.

signals:
    void lastErrChanged();

private:
    QString m_lastErr;
};

#pragma once
// The per-user catalogue "projects.db" of the project folders the user created
// or imported. Rows are never trusted on their own: a row counts only while
// its folder still holds a "manifest". Paths are stored cleaned. A file that
// lost its table gets it back; a damaged one is moved aside and made anew.

#include "storage/Sqlite3DB.h"

#include <QList>
#include <QMutex>
#include <QString>

struct RecentProjectRow
{
    qint64 id = 0;
    QString path;
};

class RecentProjectsDb : public Sqlite3DB
{
public:
    // Opens "projects.db" in the per-user data folder.
    RecentProjectsDb();
    // Opens the catalogue at dbPath (tests, and the instance above).
    explicit RecentProjectsDb(const QString &dbPath);

    static RecentProjectsDb &instance();
    static qint64 addPath(const QString &path);

    QList<RecentProjectRow> list();
    qint64 addProject(const QString &path);
    void touch(const QString &path);
    // Forgets a row; the folder is not touched. False when the catalogue fails.
    bool remove(qint64 id);

    // Exactly the schema a new file receives.
    static const char *schema();

private:
    void openAt(const QString &dbPath);
    bool isSound();
    qint64 scalar(const Sqlite3Query &q);
    void registerFunctions();

    // The GUI thread and a project-opening thread share the connection; one
    // lock keeps a lookup and its insert together.
    QMutex m_lock;
};

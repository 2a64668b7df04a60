#include "projects/RecentProjectsDb.h"

#include "storage/LangDb.h"
#include "util/FileUtil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <sqlcipher/sqlite3.h>

namespace {

void fvalid(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (argc != 1) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QString path = QString::fromUtf8(text ? text : "");
    sqlite3_result_int(ctx, QFileInfo::exists(QDir(path).absoluteFilePath(QStringLiteral("manifest"))) ? 1 : 0);
}

}

const char *RecentProjectsDb::schema()
{
    return "create table projects(\n"
           "id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
           "name varchar,\n"
           "lang varchar,\n"
           "path varchar,\n"
           "dt integer\n"
           ");\n"
           "create index idx_projects_dt on projects(dt);\n"
           "create index idx_projects_path on projects(path);\n";
}

RecentProjectsDb::RecentProjectsDb()
{
    openAt(userDataDir().absoluteFilePath(QStringLiteral("projects.db")));
}

RecentProjectsDb::RecentProjectsDb(const QString &dbPath)
{
    openAt(dbPath);
}

void RecentProjectsDb::openAt(const QString &dbPath)
{
    try {
        const QFileInfo info(dbPath);
        QDir().mkpath(info.absolutePath());
        open(dbPath, QByteArray(), info.exists() ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (!isSound()) {
            // A damaged catalogue would swallow every project made from now
            // on; it is kept aside for whoever wants to look into it.
            sqlite3_close_v2(handle);
            handle = nullptr;
            // Its rollback journal goes along, or it would be played into
            // the new file.
            const QDir folder = info.absoluteDir();
            for (const QString &name : {info.fileName(), info.fileName() + QStringLiteral("-journal")}) {
                if (QFile::exists(folder.filePath(name)))
                    QFile::rename(folder.filePath(name), FileUtil::uniqueFilePath(folder, name + QStringLiteral(".corrupt")));
            }
            open(dbPath, QByteArray(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        }
        // A new file, or one that lost its table (an empty file, say).
        if (scalar("select count(*) from sqlite_master where type='table' and name='projects'") == 0) {
            QString err;
            exec(QString::fromUtf8(schema()), err);
        }
        registerFunctions();
    } catch (...) {
    }
}

bool RecentProjectsDb::isSound()
{
    try {
        Sqlite3Cursor c = select("pragma quick_check");
        if (c.next())
            return c.getText(0) == QLatin1String("ok");
        c.throwIfFailed();
        return true;
    } catch (const Sqlite3Exception &e) {
        // Only damage counts: a catalogue that another program holds locked
        // for a moment is sound.
        const int code = e.code() & 0xff;
        return code != SQLITE_CORRUPT && code != SQLITE_NOTADB;
    }
}

qint64 RecentProjectsDb::scalar(const Sqlite3Query &q)
{
    Sqlite3Cursor c = select(q);
    if (!c.next()) {
        c.throwIfFailed();
        return 0;
    }
    return c.getInt64(0);
}

void RecentProjectsDb::registerFunctions()
{
    const int rc = sqlite3_create_function_v2(handle, "fvalid", 1, SQLITE_ANY, nullptr, &fvalid, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw Sqlite3Exception(handle);
    try {
        run("delete from projects where fvalid(path)=0");
    } catch (const std::exception &) {
    }
}

RecentProjectsDb &RecentProjectsDb::instance()
{
    static RecentProjectsDb db;
    return db;
}

qint64 RecentProjectsDb::addPath(const QString &path)
{
    return instance().addProject(path);
}

QList<RecentProjectRow> RecentProjectsDb::list()
{
    QMutexLocker lock(&m_lock);
    QList<RecentProjectRow> rows;
    try {
        Sqlite3Cursor c = select("select * from projects where fvalid(path)=1 order by dt desc, id desc");
        while (c.next()) {
            RecentProjectRow row;
            row.id = c.getInt64(QStringLiteral("id"));
            row.path = c.getText(QStringLiteral("path"));
            rows.append(row);
        }
        c.throwIfFailed();
    } catch (const std::exception &) {
        return {};
    }
    return rows;
}

qint64 RecentProjectsDb::addProject(const QString &path)
{
    QMutexLocker lock(&m_lock);
    try {
        // "a", "a/" and "./a" are one folder and one row.
        const QString clean = QDir::cleanPath(path);
        Sqlite3Query find("select id from projects where path=?");
        find.bindText(clean);
        Sqlite3Cursor c = select(find);
        if (c.next())
            return c.getInt64(0);
        c.throwIfFailed();

        Sqlite3Row row;
        row.set(QStringLiteral("path"), clean);
        row.set(QStringLiteral("dt"), QDateTime::currentSecsSinceEpoch());
        run(row.toInsertQuery(QStringLiteral("projects"), {}, QStringLiteral("insert into")));
        return lastInsertRowId();
    } catch (const std::exception &) {
        return 0;
    }
}

void RecentProjectsDb::touch(const QString &path)
{
    QMutexLocker lock(&m_lock);
    try {
        Sqlite3Query q("update projects set dt=? where path=?");
        q.bindInt64(QDateTime::currentSecsSinceEpoch());
        q.bindText(QDir::cleanPath(path));
        run(q);
    } catch (const std::exception &) {
    }
}

bool RecentProjectsDb::remove(qint64 id)
{
    QMutexLocker lock(&m_lock);
    try {
        Sqlite3Query q("delete from projects where id=?");
        q.bindInt64(id);
        run(q);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

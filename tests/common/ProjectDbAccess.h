#pragma once
// A second, raw connection to a project database, for checking what the
// project database class wrote and for setting up rows it never writes.

#include "storage/Sqlite3DB.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <memory>

namespace TestUtil {

inline QByteArray projectDbKey()
{
    return QByteArray::fromBase64("bWFkZXVwa2V5Zm9ycHJvamVjdGRiMDEyMzQ1Njc4OWE");
}

// Opens path with the project key (or another key); null when it fails.
inline std::unique_ptr<Sqlite3DB> openRaw(const QString &path, const QByteArray &key = projectDbKey(), int flags = 2)
{
    auto db = std::make_unique<Sqlite3DB>();
    try {
        db->open(path, key, flags);
    } catch (const std::exception &) {
        return nullptr;
    }
    return db;
}

// The first column of the first row, or an invalid QVariant without a row.
inline QVariant scalar(Sqlite3DB &db, const Sqlite3Query &q)
{
    Sqlite3Cursor c = db.select(q);
    if (!c.next()) {
        c.throwIfFailed();
        return QVariant();
    }
    return c.toRow().values().begin().value();
}

inline void exec(Sqlite3DB &db, const QString &sql)
{
    QString err;
    if (db.exec(sql, err) != 0)
        throw Sqlite3Exception(1, err.toUtf8());
}

}

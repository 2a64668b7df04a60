#pragma once
// A second, raw connection to a project database, for checking what the
// project database class wrote and for setting up rows it never writes.

#include "storage/Sqlite3DB.h"
#include "storage/VoskProDb.h"

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

// Makes the project database at path with the project's own class (if it
// is not there yet) and adds n segments to it in one statement, far faster
// than one transaction each. row is the SQL, over i from 0 to n - 1, of each
// segment's start, end, html, raw_words, spk_id, item_id and device.
inline bool addSegments(const QString &path, int n, const QString &row)
{
    if (!VoskProDb().open(path))
        return false;
    const auto raw = openRaw(path);
    QString err;
    return raw
        && raw->exec(QStringLiteral("insert into vres(start, end, html, raw_words, spk_id, item_id, device)"
                                    " with recursive n(i) as (select 0 union all select i + 1 from n where i < %1)"
                                    " select %2 from n")
                         .arg(QString::number(n - 1), row),
                     err)
        == 0;
}

}

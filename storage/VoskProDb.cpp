#include "storage/VoskProDb.h"

#include "storage/Sqlite3DB.h"
#include "util/BaseUtil.h"
#include "util/FileUtil.h"
#include "util/Platform.h"
#include "util/ProductInfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlcipher/sqlite3.h>

#include <stdexcept>

namespace {

// One key for every project database, kept as Base64 text.
const QByteArray &projectKey()
{
    static const QByteArray key = QByteArray::fromBase64(QByteArrayLiteral("bWFkZXVwa2V5Zm9ycHJvamVjdGRiMDEyMzQ1Njc4OWE"));
    return key;
}

const char kSchema[] = R"(
CREATE TABLE item (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name VARCHAR,
    handled BIGINT,
    total BIGINT,
    total_msecs BIGINT,
    status INTEGER
);

CREATE TABLE vres (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    start FLOAT,
    end FLOAT,
    fstart INTEGER,
    fend INTEGER,
    html text,
    raw_words text,
    spk_id INTEGER,
    item_id INTEGER,
    device INTEGER
);

CREATE TABLE speaker (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name VARCHAR,
    vp VARCHAR,
    frames INTEGER,
    item_id INTEGER
);

CREATE TABLE citem (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    vres_id INTEGER,
    text TEXT,
    type INTEGER,
    img BLOB,
    dt INTEGER
);
create index idx_citem_vres_id on citem(vres_id);

CREATE TABLE comment (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    citem_id INTEGER,
    text TEXT,
    dt INTEGER
);
create index idx_comment_citem_id on comment(citem_id);

CREATE TABLE settings (
    name VARCHAR PRIMARY KEY,
    val VARCHAR
);
)";

void execOrThrow(Sqlite3DB &db, const QString &sql)
{
    QString err;
    if (db.exec(sql, err) != SQLITE_OK)
        throw std::runtime_error(err.toUtf8().toStdString());
}

// A failed creation must not leave a file that a later open takes for a
// project.
void removeDatabaseFiles(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

// A write-ahead log is started anew (a new header) when its writer has
// carried everything into the database; a database copied before that and
// a log copied after it would not fit together. Empty without a log; a log
// that is there but cannot be read sets err, since a copy without it would
// lack the newest rows.
QByteArray logHeader(const QString &path, QString &err)
{
    QFile f(path);
    QString e = Platform::openRegularFile(f, QIODevice::ReadOnly);
    if (!e.isEmpty()) {
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            return QByteArray();
    } else {
        const QByteArray header = f.read(32);
        if (f.error() == QFileDevice::NoError)
            return header;
        e = f.errorString();
    }
    const QString name = QDir::toNativeSeparators(path);
    if (err.isEmpty())
        err = e.contains(name) ? e : QStringLiteral("Read %1 failed. %2").arg(name, e);
    return QByteArray();
}

// Copies the database at path with its logs into the folder to. Returns the
// error text, empty when done.
QString copyDatabase(const QString &path, QDir to)
{
    const QString name = QFileInfo(path).fileName();
    QString err;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QStringList logs { path + QStringLiteral("-wal"), path + QStringLiteral("-journal") };
        QList<QByteArray> headers;
        QString unread;
        for (const QString &log : logs)
            headers << logHeader(log, unread);
        if (!unread.isEmpty())
            return unread;
        // Named with the folder: a full temporary folder must say which.
        const auto copyInto = [&to](const QString &from, const QString &copy) {
            const QString e = FileUtil::copyFile(from, copy);
            return e.isEmpty() ? e
                               : QStringLiteral("Copy %1 into %2 failed. %3")
                                     .arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to.absolutePath()), e);
        };
        err = copyInto(path, to.absoluteFilePath(name));
        bool same = err.isEmpty();
        for (int i = 0; same && i < logs.size(); ++i) {
            const QString copy = to.absoluteFilePath(QFileInfo(logs.at(i)).fileName());
            if (!headers.at(i).isEmpty())
                err = copyInto(logs.at(i), copy);
            same = logHeader(logs.at(i), unread) == headers.at(i) && logHeader(copy, unread) == headers.at(i);
        }
        if (!unread.isEmpty())
            return unread;
        if (same)
            return QString();
        // The owner of the database wrote meanwhile (or closed it): again.
        for (const QString &f : to.entryList(QDir::Files))
            to.remove(f);
    }
    return err.isEmpty() ? QStringLiteral("%1 changed while it was read.").arg(QDir::toNativeSeparators(path)) : err;
}

// A link in the place of the database or of a journal may lead to any file
// of the user's: none is read through one.
QString linkedFile(const QString &path)
{
    for (const char *suffix : { "", "-wal", "-shm", "-journal" }) {
        const QString e = Platform::linkRefusal(path + QLatin1String(suffix));
        if (!e.isEmpty())
            return e;
    }
    return QString();
}

// Every private copy lives in one folder of the temporary folder, in a
// folder of its own whose name starts with the id of the process that made
// it: copies of a process that was killed are found and removed by the next.
// Each user has a folder of copies: another's, met under the same name,
// could be neither entered nor used.
QString copiesFolder()
{
    const QString tag = Platform::userTag();
    return QDir(QDir::tempPath())
        .absoluteFilePath(QStringLiteral("%1-copies%2").arg(QLatin1String(ProductInfo::uid),
                                                             tag.isEmpty() ? QString() : QLatin1Char('-') + tag));
}

void removeCopiesOfEndedProcesses(const QString &folder)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.fileName().section(QLatin1Char('-'), 0, 0).toLongLong(&ok);
        if (ok && !entry.isSymLink() && !Platform::processExists(pid))
            FileUtil::removeDirRecursively(entry.absoluteFilePath());
    }
}

QString idArg(const char *sql, qint64 id)
{
    return QString::fromLatin1(sql).arg(id);
}

}

VoskProDb::VoskProDb(QObject *parent)
    : QObject(parent)
{
}

VoskProDb::~VoskProDb()
{
    close();
}

Sqlite3DB &VoskProDb::conn()
{
    if (!db)
        throw Sqlite3Exception(SQLITE_MISUSE, QByteArrayLiteral("project database is not open."));
    return *db;
}

void VoskProDb::fail(const std::exception &e)
{
    lastErr = QString::fromUtf8(e.what());
}

bool VoskProDb::runSql(const Sqlite3Query &q)
{
    try {
        conn().run(q);
        return true;
    } catch (const std::exception &e) {
        fail(e);
        return false;
    }
}

bool VoskProDb::open(const QString &path)
{
    const QByteArray &key = projectKey();
    if (db)
        return true;
    if (const QString link = linkedFile(path); !link.isEmpty()) {
        lastErr = link;
        return false;
    }

    bool created = false;
    try {
        db = new Sqlite3DB;
        if (QFile::exists(path)) {
            // SQLite would wait for ever on a FIFO of that name.
            if (!QFileInfo(path).isFile()) {
                const QString e = QStringLiteral("%1 is not a regular file.").arg(QDir::toNativeSeparators(path));
                throw std::runtime_error(e.toStdString());
            }
            db->open(path, key, SQLITE_OPEN_READWRITE | Sqlite3DB::NoFollow);
            // The key is only checked on the first read: a wrong key, another
            // cipher or a plain SQLite file must fail here, not on the first
            // write of results that would then be lost.
            Sqlite3Cursor c = db->select("select count(*) from sqlite_master");
            const bool hasRow = c.next();
            c.throwIfFailed();
            // A file without a single table never got its schema (the process
            // ended while creating it); give it the schema now.
            if (hasRow && c.getInt64(0) == 0) {
                execOrThrow(*db, QStringLiteral("BEGIN;"));
                execOrThrow(*db, QString::fromUtf8(kSchema));
                execOrThrow(*db, QStringLiteral("COMMIT;"));
            }
        } else {
            db->open(path, key, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | Sqlite3DB::NoFollow);
            created = true;
            // One transaction, so the schema is either all there or not at all.
            execOrThrow(*db, QStringLiteral("BEGIN;"));
            execOrThrow(*db, QString::fromUtf8(kSchema));
            execOrThrow(*db, QStringLiteral("COMMIT;"));
        }
        QString ignored;
        db->exec(QStringLiteral("PRAGMA journal_mode=WAL;"), ignored);
        return true;
    } catch (const std::exception &e) {
        fail(e);
        delete db;
        db = nullptr;
        if (created)
            removeDatabaseFiles(path);
        return false;
    }
}

bool VoskProDb::openSnapshot(const QString &path)
{
    if (db)
        return true;
    if (const QString link = linkedFile(path); !link.isEmpty()) {
        lastErr = link;
        return false;
    }
    const QString folder = copiesFolder();
    QString err = Platform::makePrivateFolder(folder);
    if (!err.isEmpty()) {
        lastErr = QStringLiteral("Create temporary folder failed. ") + err;
        return false;
    }
    removeCopiesOfEndedProcesses(folder);
    auto dir = std::make_unique<QTemporaryDir>(
        QDir(folder).absoluteFilePath(QStringLiteral("%1-XXXXXX").arg(QCoreApplication::applicationPid())));
    if (!dir->isValid()) {
        lastErr = QStringLiteral("Create temporary folder in %1 failed. %2")
                      .arg(QDir::toNativeSeparators(folder), dir->errorString());
        return false;
    }
    err = copyDatabase(path, QDir(dir->path()));
    if (!err.isEmpty()) {
        lastErr = err;
        return false;
    }
    // A copy without its schema (the file was left empty) gets it here, so
    // that it reads as an empty project.
    if (!open(QDir(dir->path()).absoluteFilePath(QFileInfo(path).fileName())))
        return false;
    snapshot = std::move(dir);
    return true;
}

void VoskProDb::close()
{
    if (!db)
        return;
    // A copy is thrown away whole; nothing to carry into it.
    if (sqlite3 *h = db->connection(); h && !snapshot)
        sqlite3_wal_checkpoint(h, nullptr);
    delete db;
    db = nullptr;
    snapshot.reset();
}

// ---- Conversion items --------------------------------------------------------

qint64 VoskProDb::beginItem(const QString &name)
{
    if (name.isEmpty())
        return 0;
    try {
        Sqlite3Query q("select id from item where name=? and (status is null or status <> 1) limit 1");
        q.bindText(name);
        Sqlite3Cursor c = conn().select(q);
        if (c.next())
            return c.getInt64(0);
        c.throwIfFailed();

        Sqlite3Row row;
        row.set(QStringLiteral("name"), name);
        row.set(QStringLiteral("status"), 0);
        conn().run(row.toInsertQuery(QStringLiteral("item"), {}, QStringLiteral("insert into")));
        return conn().lastInsertRowId();
    } catch (const std::exception &e) {
        fail(e);
        return 0;
    }
}

bool VoskProDb::finishItem(qint64 itemId)
{
    return runSql(idArg("update item set status=1 where id=%1", itemId));
}

bool VoskProDb::deleteItem(qint64 itemId)
{
    return runSql(idArg("delete from vres where item_id=%1", itemId))
           && runSql(idArg("delete from item where id=%1", itemId));
}

// ---- Segments ----------------------------------------------------------------

qint64 VoskProDb::addSeg(const VoskProSeg &seg, const QString &rawWords, qint64 itemId)
{
    try {
        Sqlite3Row row;
        row.set(QStringLiteral("start"), double(seg.start));
        row.set(QStringLiteral("end"), double(seg.end));
        row.set(QStringLiteral("fstart"), seg.fstart);
        row.set(QStringLiteral("fend"), seg.fend);
        row.set(QStringLiteral("html"), seg.html);
        row.set(QStringLiteral("raw_words"), rawWords);
        row.set(QStringLiteral("spk_id"), seg.spkId);
        row.set(QStringLiteral("device"), seg.device);
        row.set(QStringLiteral("item_id"), itemId);
        Sqlite3DB &c = conn();
        c.run(row.toInsertQuery(QStringLiteral("vres"), {}, QStringLiteral("insert into")));
        return c.lastInsertRowId();
    } catch (const std::exception &e) {
        fail(e);
        return 0;
    }
}

QList<VoskProSeg> VoskProDb::loadSegs(qint64 itemId)
{
    try {
        Sqlite3Query q("select v.*,s.name as spk_name from vres as v left join speaker as s on s.id=v.spk_id");
        if (itemId >= 0)
            q.append(idArg(" where v.item_id=%1", itemId));
        q.append(QStringLiteral(" order by id asc"));
        Sqlite3Cursor c = conn().select(q);
        QList<VoskProSeg> segs;
        while (c.next()) {
            VoskProSeg s;
            s.id = c.getInt64(QStringLiteral("id"));
            s.device = c.getInt(QStringLiteral("device"));
            s.html = c.getText(QStringLiteral("html"));
            s.start = float(c.getDouble(QStringLiteral("start")));
            s.end = float(c.getDouble(QStringLiteral("end")));
            s.fstart = c.getInt64(QStringLiteral("fstart"));
            s.fend = c.getInt64(QStringLiteral("fend"));
            s.spkId = c.getInt64(QStringLiteral("spk_id"));
            s.spkName = speakerName(s.spkId, c.getText(QStringLiteral("spk_name")));
            s.itemId = c.getInt64(QStringLiteral("item_id"));
            segs.append(s);
        }
        c.throwIfFailed();
        return segs;
    } catch (const std::exception &e) {
        fail(e);
        return {};
    }
}

bool VoskProDb::deleteSeg(qint64 segId)
{
    return runSql(idArg("delete from vres where id=%1", segId));
}

bool VoskProDb::updateSegHtml(qint64 segId, QString &html)
{
    html = BaseUtil::htmlBody(html);
    Sqlite3Query q("update vres set html=? where id=?");
    q.bindText(html);
    q.bindInt64(segId);
    return runSql(q);
}

float VoskProDb::maxSegEnd()
{
    try {
        Sqlite3Cursor c = conn().select("select max(end) from vres");
        const float end = c.next() ? float(c.getDouble(0)) : 0.0f;
        c.throwIfFailed();
        return end;
    } catch (const std::exception &e) {
        fail(e);
        return 0;
    }
}

qint64 VoskProDb::maxSegFend(qint64 upTo)
{
    try {
        Sqlite3Query q(upTo < 0 ? "select max(fend) from vres" : "select max(fend) from vres where fend <= ?");
        if (upTo >= 0)
            q.bindInt64(upTo);
        Sqlite3Cursor c = conn().select(q);
        const qint64 fend = c.next() ? c.getInt64(0) : 0;
        c.throwIfFailed();
        return fend;
    } catch (const std::exception &e) {
        fail(e);
        return -1;
    }
}

// ---- Comment items and replies -------------------------------------------------

QVariantMap VoskProDb::addCItem(qint64 segId, const QString &text, int type)
{
    if (text.isEmpty())
        return {};
    try {
        Sqlite3DB &c = conn();
        const qint64 dt = QDateTime::currentSecsSinceEpoch();
        Sqlite3Row row;
        row.set(QStringLiteral("vres_id"), segId);
        row.set(QStringLiteral("text"), text);
        row.set(QStringLiteral("dt"), dt);
        row.set(QStringLiteral("type"), type);
        c.run(row.toInsertQuery(QStringLiteral("citem"), {}, QStringLiteral("insert into")));

        qint64 itemId = 0;
        {
            Sqlite3Cursor cur = c.select(idArg("select item_id from vres where id=%1", segId));
            if (cur.next())
                itemId = cur.getInt64(0);
            cur.throwIfFailed();
        }

        QVariantMap m;
        m.insert(QStringLiteral("id"), c.lastInsertRowId());
        m.insert(QStringLiteral("vres_id"), segId);
        m.insert(QStringLiteral("type"), type);
        m.insert(QStringLiteral("text"), text);
        m.insert(QStringLiteral("dt"), dt);
        m.insert(QStringLiteral("item_id"), itemId);
        return m;
    } catch (const std::exception &e) {
        fail(e);
        return {};
    }
}

QVariantList VoskProDb::loadCItems()
{
    try {
        Sqlite3Cursor c = conn().select(
            "select c.*, v.item_id from citem as c inner join vres as v on v.id=c.vres_id order by id desc");
        QVariantList items;
        while (c.next()) {
            QVariantMap m;
            m.insert(QStringLiteral("id"), c.getInt64(QStringLiteral("id")));
            m.insert(QStringLiteral("vres_id"), c.getInt64(QStringLiteral("vres_id")));
            m.insert(QStringLiteral("type"), c.getInt(QStringLiteral("type")));
            m.insert(QStringLiteral("text"), c.getText(QStringLiteral("text")));
            m.insert(QStringLiteral("dt"), c.getInt64(QStringLiteral("dt")));
            m.insert(QStringLiteral("item_id"), c.getInt64(QStringLiteral("item_id")));
            items.append(m);
        }
        c.throwIfFailed();
        return items;
    } catch (const std::exception &e) {
        fail(e);
        return {};
    }
}

bool VoskProDb::deleteCItem(qint64 citemId)
{
    return runSql(idArg("delete from citem where id=%1", citemId))
           && runSql(idArg("delete from comment where citem_id=%1", citemId));
}

bool VoskProDb::addComment(qint64 citemId, const QString &text)
{
    if (citemId <= 0)
        return false;
    Sqlite3Row row;
    row.set(QStringLiteral("citem_id"), citemId);
    row.set(QStringLiteral("text"), text);
    row.set(QStringLiteral("dt"), QDateTime::currentSecsSinceEpoch());
    return runSql(row.toInsertQuery(QStringLiteral("comment"), {}, QStringLiteral("insert into")));
}

QVariantList VoskProDb::loadComments(qint64 citemId)
{
    try {
        Sqlite3Cursor c = conn().select(idArg("select * from comment where citem_id=%1 order by id asc", citemId));
        QVariantList replies;
        while (c.next()) {
            QVariantMap m;
            m.insert(QStringLiteral("id"), c.getInt64(QStringLiteral("id")));
            m.insert(QStringLiteral("cid"), citemId);
            m.insert(QStringLiteral("text"), c.getText(QStringLiteral("text")));
            m.insert(QStringLiteral("dt"), c.getInt64(QStringLiteral("dt")));
            replies.append(m);
        }
        c.throwIfFailed();
        return replies;
    } catch (const std::exception &e) {
        fail(e);
        return {};
    }
}

bool VoskProDb::deleteComment(qint64 commentId)
{
    return runSql(idArg("delete from comment where id=%1", commentId));
}

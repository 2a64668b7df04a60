#include "storage/Sqlite3DB.h"

#include "util/Platform.h"

#include <sqlcipher/sqlite3.h>

// ---- Sqlite3Exception ------------------------------------------------------

Sqlite3Exception::Sqlite3Exception(sqlite3 *db)
{
    if (db) {
        m_message = QByteArray(sqlite3_errmsg(db));
        m_code = sqlite3_errcode(db);
    } else {
        // sqlite3_errmsg(NULL) claims "out of memory", which would mislead.
        m_message = QByteArrayLiteral("database is not open");
        m_code = SQLITE_MISUSE;
    }
}

Sqlite3Exception::Sqlite3Exception(int code, const QByteArray &message)
    : m_message(message), m_code(code)
{
}

Sqlite3Exception::~Sqlite3Exception() = default;

const char *Sqlite3Exception::what() const noexcept
{
    return m_message.constData();
}

// ---- Parameters ------------------------------------------------------------

Sqlite3Param::~Sqlite3Param() = default;

static void checkBind(sqlite3 *db, int rc)
{
    if (rc != SQLITE_OK)
        throw Sqlite3Exception(db);
}

// Read by its length, as it was bound: the whole text, zero characters too.
static QString columnText(sqlite3_stmt *stmt, int index)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, index));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, index));
}

void Sqlite3IntParam::bind(sqlite3 *db, sqlite3_stmt *stmt, int index)
{
    checkBind(db, sqlite3_bind_int(stmt, index, value));
}

void Sqlite3Int64Param::bind(sqlite3 *db, sqlite3_stmt *stmt, int index)
{
    checkBind(db, sqlite3_bind_int64(stmt, index, value));
}

void Sqlite3DoubleParam::bind(sqlite3 *db, sqlite3_stmt *stmt, int index)
{
    checkBind(db, sqlite3_bind_double(stmt, index, value));
}

void Sqlite3TextParam::bind(sqlite3 *db, sqlite3_stmt *stmt, int index)
{
    // constData() of an empty QByteArray is "", so an empty text stays a text.
    // Bound by its length: a zero character inside the text must not end it.
    checkBind(db, sqlite3_bind_text(stmt, index, value.constData(), value.size(), SQLITE_STATIC));
}

void Sqlite3BlobParam::bind(sqlite3 *db, sqlite3_stmt *stmt, int index)
{
    // A null pointer would bind NULL; an empty blob must stay a zero-length blob.
    checkBind(db, sqlite3_bind_blob(stmt, index, value.isEmpty() ? "" : value.constData(), value.size(), SQLITE_STATIC));
}

void Sqlite3NullParam::bind(sqlite3 *db, sqlite3_stmt *stmt, int index)
{
    checkBind(db, sqlite3_bind_null(stmt, index));
}

// ---- Sqlite3Query ----------------------------------------------------------

Sqlite3Query::Sqlite3Query(const char *sql)
    : m_sql(QSharedPointer<QByteArray>::create(sql)), m_params(QSharedPointer<ParamList>::create())
{
}

Sqlite3Query::Sqlite3Query(const QString &sql)
    : m_sql(QSharedPointer<QByteArray>::create(sql.toUtf8())), m_params(QSharedPointer<ParamList>::create())
{
}

void Sqlite3Query::append(const QString &text)
{
    m_sql->append(text.toUtf8());
}

void Sqlite3Query::bindText(const QString &v) { add(new Sqlite3TextParam(v.toUtf8())); }
void Sqlite3Query::bindTextBytes(const QByteArray &utf8) { add(new Sqlite3TextParam(utf8)); }
void Sqlite3Query::bindInt(int v) { add(new Sqlite3IntParam(v)); }
void Sqlite3Query::bindInt64(qint64 v) { add(new Sqlite3Int64Param(v)); }
void Sqlite3Query::bindDouble(double v) { add(new Sqlite3DoubleParam(v)); }
void Sqlite3Query::bindBlob(const QByteArray &v) { add(new Sqlite3BlobParam(v)); }
void Sqlite3Query::bindNull() { add(new Sqlite3NullParam); }

void Sqlite3Query::bindAll(sqlite3 *db, sqlite3_stmt *stmt) const
{
    int index = 1;
    for (const auto &p : *m_params)
        p->bind(db, stmt, index++);
}

// ---- Sqlite3Stmt -----------------------------------------------------------

void Sqlite3Stmt::prepare(sqlite3 *db, const Sqlite3Query &q)
{
    finalize();
    if (sqlite3_prepare_v2(db, q.sql().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        Sqlite3Exception e(db);
        finalize();
        throw e;
    }
    q.bindAll(db, stmt);
}

void Sqlite3Stmt::finalize()
{
    if (!stmt)
        return;
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    sqlite3_finalize(stmt);
    stmt = nullptr;
}

// ---- Sqlite3Row ------------------------------------------------------------

int Sqlite3Row::typeTextBytesId()
{
    static const int id = qRegisterMetaType<Sqlite3Row::TypeTextBytes>("Sqlite3Row::TypeTextBytes");
    return id;
}

QVariant &Sqlite3Row::operator[](const QString &name)
{
    return m_values[name.toLower()];
}

void Sqlite3Row::set(const QString &name, const QVariant &value)
{
    m_values.insert(name.toLower(), value);
}

QVariant Sqlite3Row::value(const QString &name) const
{
    return m_values.value(name.toLower());
}

bool Sqlite3Row::contains(const QString &name) const
{
    return m_values.contains(name.toLower());
}

static void bindVariant(Sqlite3Query &q, const QVariant &v)
{
    if (v.userType() == Sqlite3Row::typeTextBytesId()) {
        q.bindTextBytes(v.value<Sqlite3Row::TypeTextBytes>().bytes);
        return;
    }
    switch (v.userType()) {
    case QMetaType::Bool:
        q.bindInt(v.toBool() ? 1 : 0);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
        q.bindInt(v.toInt());
        break;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        q.bindInt64(v.toLongLong());
        break;
    case QMetaType::Double:
        q.bindDouble(v.toDouble());
        break;
    case QMetaType::QChar:
        // toLatin1() gives 0 outside Latin-1; codes above 127 wrap to negative.
        q.bindInt(static_cast<signed char>(v.toChar().toLatin1()));
        break;
    case QMetaType::QString:
        q.bindText(v.toString());
        break;
    case QMetaType::QByteArray:
        q.bindBlob(v.toByteArray());
        break;
    default:
        q.bindNull();
        break;
    }
}

Sqlite3Query Sqlite3Row::toInsertQuery(const QString &table, const QSet<QString> &excluded, const QString &verb) const
{
    QSet<QString> skip;
    for (const QString &name : excluded)
        skip.insert(name.toLower());

    Sqlite3Query q("");
    QStringList columns;
    QStringList marks;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        if (skip.contains(it.key()))
            continue;
        columns << QStringLiteral("[%1]").arg(it.key());
        marks << QStringLiteral("?");
        bindVariant(q, it.value());
    }
    q.append(QStringLiteral("%1 %2(%3) VALUES(%4)").arg(verb, table, columns.join(','), marks.join(',')));
    return q;
}

// ---- Sqlite3Cursor ---------------------------------------------------------

Sqlite3Cursor::Sqlite3Cursor(sqlite3 *db, const Sqlite3Query &q, Sqlite3Stmt *stmt)
    : m_db(db), m_query(q), m_stmt(stmt), m_state(QSharedPointer<State>::create())
{
}

bool Sqlite3Cursor::next()
{
    if (!m_stmt->stmt || failed())
        return false;
    const int rc = sqlite3_step(m_stmt->stmt);
    m_state->onRow = rc == SQLITE_ROW;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        m_state->error.emplace(m_db);
    return m_state->onRow;
}

void Sqlite3Cursor::throwIfFailed() const
{
    if (m_state->error)
        throw *m_state->error;
}

QString Sqlite3Cursor::errorMessage() const
{
    return m_state->error ? QString::fromUtf8(m_state->error->what()) : QString();
}

int Sqlite3Cursor::columnCount() const
{
    return m_stmt->stmt ? sqlite3_column_count(m_stmt->stmt) : 0;
}

int Sqlite3Cursor::columnIndex(const QString &name) const
{
    QMap<QString, int> &columns = m_state->columns;
    if (columns.isEmpty()) {
        const int n = columnCount();
        for (int i = 0; i < n; ++i)
            columns.insert(QString::fromUtf8(sqlite3_column_name(m_stmt->stmt, i)).toLower(), i);
    }
    return columns.value(name.toLower(), -1);
}

// Reading a column is only defined on a row; outside one, or for a column the
// result does not have, the getters answer as for NULL.
bool Sqlite3Cursor::hasColumn(int index) const
{
    return m_state->onRow && index >= 0 && index < columnCount()
           && sqlite3_column_type(m_stmt->stmt, index) != SQLITE_NULL;
}

double Sqlite3Cursor::getDouble(int index) const
{
    return hasColumn(index) ? sqlite3_column_double(m_stmt->stmt, index) : 0.0;
}

qint64 Sqlite3Cursor::getInt64(int index) const
{
    return hasColumn(index) ? sqlite3_column_int64(m_stmt->stmt, index) : 0;
}

int Sqlite3Cursor::getInt(int index) const
{
    return hasColumn(index) ? sqlite3_column_int(m_stmt->stmt, index) : 0;
}

QString Sqlite3Cursor::getText(int index) const
{
    return hasColumn(index) ? columnText(m_stmt->stmt, index) : QString();
}

QByteArray Sqlite3Cursor::getBlob(int index) const
{
    if (!hasColumn(index))
        return QByteArray();
    const void *data = sqlite3_column_blob(m_stmt->stmt, index);
    const int size = sqlite3_column_bytes(m_stmt->stmt, index);
    return size > 0 ? QByteArray(static_cast<const char *>(data), size) : QByteArray();
}

Sqlite3Row Sqlite3Cursor::toRow() const
{
    Sqlite3Row row;
    if (!m_state->onRow)
        return row;
    sqlite3_stmt *st = m_stmt->stmt;
    const int n = columnCount();
    for (int i = 0; i < n; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(st, i));
        QVariant v;
        switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            v = QVariant(static_cast<qint64>(sqlite3_column_int64(st, i)));
            break;
        case SQLITE_FLOAT:
            v = QVariant(sqlite3_column_double(st, i));
            break;
        case SQLITE_TEXT:
            v = QVariant(columnText(st, i));
            break;
        case SQLITE_BLOB:
            v = QVariant(getBlob(i));
            break;
        default:
            break;
        }
        row.set(name, v);
    }
    return row;
}

// ---- Sqlite3DB -------------------------------------------------------------

Sqlite3DB::Sqlite3DB() = default;

Sqlite3DB::~Sqlite3DB()
{
    if (handle) {
        // close_v2 lets live cursors finish; SQLite closes after the last one.
        sqlite3_close_v2(handle);
        handle = nullptr;
    }
    if (noFollow)
        Platform::databaseWithoutLinks(path, false);
}

namespace {
constexpr int kBusyTimeoutMs = 5000;
}

void Sqlite3DB::open(const QString &filePath, const QByteArray &key, int flags)
{
    if (handle)
        throw Sqlite3Exception(SQLITE_MISUSE, QByteArrayLiteral("database is already open"));
    // With the process's first database, before a second thread opens one.
    static const bool linksWatched = Platform::watchDatabaseLinks();
    Q_UNUSED(linksWatched)
    path = filePath;
    noFollow = flags & NoFollow;
    if (noFollow)
        Platform::databaseWithoutLinks(path, true);
    sqlite3 *db = nullptr;
    // From 3.31 on SQLite honours the flag itself, its own way of naming files included.
    const int ownFlags = sqlite3_libversion_number() >= 3031000 ? flags : flags & ~NoFollow;
    const int rc = sqlite3_open_v2(filePath.toUtf8().constData(), &db, ownFlags, nullptr);
    // A connection that failed to open or to take its key is closed at once,
    // so the object never looks open without being usable.
    if (rc != SQLITE_OK || (!key.isEmpty() && sqlite3_key(db, key.constData(), key.size()) != SQLITE_OK)) {
        Sqlite3Exception e = db ? Sqlite3Exception(db) : Sqlite3Exception(rc, QByteArray(sqlite3_errstr(rc)));
        sqlite3_close_v2(db);
        if (noFollow)
            Platform::databaseWithoutLinks(path, false);
        noFollow = false;
        throw e;
    }
    // Another connection to the same file may hold its lock for a moment
    // (a project left and opened again at once: the last close checkpoints
    // the log); wait for it rather than fail the opening.
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    handle = db;
}

int Sqlite3DB::exec(const QString &sql, QString &err)
{
    if (!handle) {
        err = QStringLiteral("database is not open");
        return SQLITE_MISUSE;
    }
    char *msg = nullptr;
    const int rc = sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK)
        err = QString::fromUtf8(msg ? msg : sqlite3_errmsg(handle));
    sqlite3_free(msg);
    return rc;
}

sqlite3 *Sqlite3DB::requireOpen() const
{
    if (!handle)
        throw Sqlite3Exception(nullptr);
    return handle;
}

void Sqlite3DB::run(const Sqlite3Query &q)
{
    sqlite3 *db = requireOpen();
    Sqlite3Stmt st;
    st.prepare(db, q);
    if (sqlite3_step(st.stmt) != SQLITE_DONE)
        throw Sqlite3Exception(db); // st finalizes while the exception leaves
}

Sqlite3Cursor Sqlite3DB::select(const Sqlite3Query &q)
{
    sqlite3 *db = requireOpen();
    auto *st = new Sqlite3Stmt;
    try {
        st->prepare(db, q);
    } catch (...) {
        delete st;
        throw;
    }
    return Sqlite3Cursor(db, q, st);
}

qint64 Sqlite3DB::lastInsertRowId() const
{
    return handle ? sqlite3_last_insert_rowid(handle) : 0;
}

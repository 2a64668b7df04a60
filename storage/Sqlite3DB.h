#pragma once
// A small synchronous layer over the SQLite C API (as SQLCipher provides it):
// a connection, statements with positional "?" parameters, forward-only
// cursors and column-name records. Every failure throws Sqlite3Exception; the
// classes that own a connection catch it at their edge.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

#include <exception>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

class Sqlite3Exception : public std::exception
{
public:
    // Takes the connection's current message and code.
    explicit Sqlite3Exception(sqlite3 *db);
    // For failures the library itself detects, such as a closed connection.
    Sqlite3Exception(int code, const QByteArray &message);
    ~Sqlite3Exception() override;

    const char *what() const noexcept override;
    int code() const { return m_code; }

private:
    QByteArray m_message;
    int m_code = 0;
};

class Sqlite3Param
{
public:
    virtual ~Sqlite3Param();
    virtual void bind(sqlite3 *db, sqlite3_stmt *stmt, int index) = 0;
};

class Sqlite3IntParam : public Sqlite3Param
{
public:
    explicit Sqlite3IntParam(int v) : value(v) {}
    void bind(sqlite3 *db, sqlite3_stmt *stmt, int index) override;
    int value;
};

class Sqlite3Int64Param : public Sqlite3Param
{
public:
    explicit Sqlite3Int64Param(qint64 v) : value(v) {}
    void bind(sqlite3 *db, sqlite3_stmt *stmt, int index) override;
    qint64 value;
};

class Sqlite3DoubleParam : public Sqlite3Param
{
public:
    explicit Sqlite3DoubleParam(double v) : value(v) {}
    void bind(sqlite3 *db, sqlite3_stmt *stmt, int index) override;
    double value;
};

// Bound without a copy: the bytes must outlive the statement, which the
// shared parameter list of Sqlite3Query guarantees.
class Sqlite3TextParam : public Sqlite3Param
{
public:
    explicit Sqlite3TextParam(const QByteArray &utf8) : value(utf8) {}
    void bind(sqlite3 *db, sqlite3_stmt *stmt, int index) override;
    QByteArray value;
};

class Sqlite3BlobParam : public Sqlite3Param
{
public:
    explicit Sqlite3BlobParam(const QByteArray &bytes) : value(bytes) {}
    void bind(sqlite3 *db, sqlite3_stmt *stmt, int index) override;
    QByteArray value;
};

class Sqlite3NullParam : public Sqlite3Param
{
public:
    void bind(sqlite3 *db, sqlite3_stmt *stmt, int index) override;
};

// SQL text plus its parameters. Copies share both, so a bind through any copy
// is seen by all of them.
class Sqlite3Query
{
public:
    Sqlite3Query(const char *sql);
    Sqlite3Query(const QString &sql);

    void append(const QString &text);

    void bindText(const QString &v);
    void bindTextBytes(const QByteArray &utf8);
    void bindInt(int v);
    void bindInt64(qint64 v);
    void bindDouble(double v);
    void bindBlob(const QByteArray &v);
    void bindNull();

    void bindAll(sqlite3 *db, sqlite3_stmt *stmt) const;

    QByteArray sql() const { return *m_sql; }
    int paramCount() const { return m_params->size(); }

private:
    using ParamList = std::vector<std::unique_ptr<Sqlite3Param>>;
    void add(Sqlite3Param *p) { m_params->emplace_back(p); }

    QSharedPointer<QByteArray> m_sql;
    QSharedPointer<ParamList> m_params;
};

class Sqlite3Stmt
{
public:
    Sqlite3Stmt() = default;
    ~Sqlite3Stmt() { finalize(); }
    Sqlite3Stmt(const Sqlite3Stmt &) = delete;
    Sqlite3Stmt &operator=(const Sqlite3Stmt &) = delete;

    void prepare(sqlite3 *db, const Sqlite3Query &q);
    void finalize();

    sqlite3_stmt *stmt = nullptr;
};

class Sqlite3Row
{
public:
    struct TypeTextBytes
    {
        QByteArray bytes;
    };
    static int typeTextBytesId();

    Sqlite3Row() = default;

    QVariant &operator[](const QString &name);
    void set(const QString &name, const QVariant &value);
    QVariant value(const QString &name) const;
    bool contains(const QString &name) const;
    int size() const { return m_values.size(); }
    const QHash<QString, QVariant> &values() const { return m_values; }

    Sqlite3Query toInsertQuery(const QString &table, const QSet<QString> &excluded, const QString &verb) const;

private:
    QHash<QString, QVariant> m_values;
};

Q_DECLARE_METATYPE(Sqlite3Row::TypeTextBytes)

// Forward-only reader of a select. Copies share the statement, which is
// finalized when the last copy goes. The cursor keeps its own copy of the
// query, so bound text and blobs stay alive however long it lives.
class Sqlite3Cursor
{
public:
    // True on a row. False at the end and on a failed step; failed() tells
    // the two apart.
    bool next();
    bool failed() const { return m_state->error.has_value(); }
    // The failed step's error; throws nothing when the cursor has not failed.
    void throwIfFailed() const;
    QString errorMessage() const;

    int columnIndex(const QString &name) const;
    int columnCount() const;

    double getDouble(int index) const;
    qint64 getInt64(int index) const;
    int getInt(int index) const;
    QString getText(int index) const;
    QByteArray getBlob(int index) const;

    double getDouble(const QString &name) const { return getDouble(columnIndex(name)); }
    qint64 getInt64(const QString &name) const { return getInt64(columnIndex(name)); }
    int getInt(const QString &name) const { return getInt(columnIndex(name)); }
    QString getText(const QString &name) const { return getText(columnIndex(name)); }
    QByteArray getBlob(const QString &name) const { return getBlob(columnIndex(name)); }

    Sqlite3Row toRow() const;

private:
    friend class Sqlite3DB;
    Sqlite3Cursor(sqlite3 *db, const Sqlite3Query &q, Sqlite3Stmt *stmt);
    bool hasColumn(int index) const;

    struct State
    {
        std::optional<Sqlite3Exception> error;
        QMap<QString, int> columns;
        bool onRow = false;
    };
    sqlite3 *m_db;
    Sqlite3Query m_query;
    QSharedPointer<Sqlite3Stmt> m_stmt;
    QSharedPointer<State> m_state;
};

class Sqlite3DB
{
public:
    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB &) = delete;
    Sqlite3DB &operator=(const Sqlite3DB &) = delete;

    // SQLite's own value from 3.31 on, honoured here on older versions too:
    // the database's files are opened only where they stand, never through
    // a link.
    static constexpr int NoFollow = 0x01000000;

    // flags: SQLite's open flags (2 read-write, 6 read-write and create),
    // and NoFollow.
    void open(const QString &path, const QByteArray &key, int flags);
    int exec(const QString &sql, QString &err);
    void run(const Sqlite3Query &q);
    Sqlite3Cursor select(const Sqlite3Query &q);
    qint64 lastInsertRowId() const;

    bool isOpen() const { return handle != nullptr; }
    const QString &filePath() const { return path; }
    sqlite3 *connection() const { return handle; }

protected:
    sqlite3 *handle = nullptr;
    QString path;

private:
    bool noFollow = false;
    sqlite3 *requireOpen() const;
};

#include "storage/LangDb.h"

#include "util/FileUtil.h"
#include "util/ProductInfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <mutex>

#ifndef KALVINOR_MODEL_ENDPOINT
#define KALVINOR_MODEL_ENDPOINT "https://www.kalvinor.com/models/"
#endif

namespace {

std::mutex endpointMutex;
QString endpointBase = QStringLiteral(KALVINOR_MODEL_ENDPOINT);

constexpr int SQLITE_OPEN_READWRITE_ONLY = 2;

}

QDir userDataDir()
{
    const QString path = FileUtil::appDataDir().absoluteFilePath(QString::fromLatin1(ProductInfo::uid));
    QDir dir(path);
    if (!dir.exists())
        dir.mkpath(path);
    return dir;
}

LangDb::LangDb(QObject *parent)
    : QObject(parent)
{
}

LangDb *LangDb::instance()
{
    static LangDb *db = nullptr;
    if (!db) {
        db = new LangDb;
        db->open();
    }
    return db;
}

bool LangDb::open()
{
    try {
        const QString path = userDataDir().absoluteFilePath(QStringLiteral("lang.db"));
        if (!QFile::exists(path)) {
            // A copy out of the resources is read-only; the catalogue records
            // installations and use, so its owner must be able to write it.
            QFile::copy(QStringLiteral(":/qrc/lang.db"), path);
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                                      | QFileDevice::WriteUser);
        }
        Sqlite3DB::open(path, QByteArray(), SQLITE_OPEN_READWRITE_ONLY);
        return true;
    } catch (const std::exception &e) {
        setLastErr(e);
        return false;
    }
}

QList<Sqlite3Row> LangDb::list(const QString &filter)
{
    QList<Sqlite3Row> rows;
    try {
        Sqlite3Query q("select * from lang");
        if (!filter.isEmpty()) {
            q.append(QStringLiteral(" where eng like ? or native like ?"));
            const QString pattern = QLatin1Char('%') + filter + QLatin1Char('%');
            q.bindText(pattern);
            q.bindText(pattern);
        }
        q.append(QStringLiteral(" order by dt desc, native asc"));
        Sqlite3Cursor c = select(q);
        while (c.next())
            rows.append(c.toRow());
        c.throwIfFailed();
    } catch (const std::exception &e) {
        setLastErr(e);
        return {};
    }
    return rows;
}

bool LangDb::parseLang(const QString &key, QString &code, bool &isHigh)
{
    // Only "s" and "h" name a model size; a "|" is no size letter. Anchored
    // at the very end, so a trailing line break does not pass either.
    static const QRegularExpression rx(QRegularExpression::anchoredPattern(QStringLiteral("([a-z]{2})-([sh])")),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = rx.match(key);
    if (!m.hasMatch())
        return false;
    code = m.captured(1).toLower();
    isHigh = m.captured(2).toLower() == QLatin1String("h");
    return true;
}

bool LangDb::setLocalPath(const QString &key, const QString &path)
{
    QString code;
    bool isHigh = false;
    if (!parseLang(key, code, isHigh))
        return false;
    try {
        Sqlite3Query q(QStringLiteral("update lang set %1=?, %2=0 where fn=?")
                           .arg(isHigh ? QStringLiteral("local2") : QStringLiteral("local1"),
                                isHigh ? QStringLiteral("invalid2") : QStringLiteral("invalid1")));
        q.bindText(path);
        q.bindText(code);
        run(q);
        return true;
    } catch (const std::exception &e) {
        setLastErr(e);
        return false;
    }
}

QString LangDb::lastErr() const
{
    std::lock_guard<std::mutex> lock(m_errMutex);
    return QString::fromStdString(m_lastErr);
}

void LangDb::setLastErr(const std::exception &e)
{
    std::lock_guard<std::mutex> lock(m_errMutex);
    m_lastErr = e.what();
}

QString LangDb::modelEndpoint()
{
    std::lock_guard<std::mutex> lock(endpointMutex);
    return endpointBase;
}

void LangDb::setModelEndpoint(const QString &base)
{
    std::lock_guard<std::mutex> lock(endpointMutex);
    endpointBase = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
}

QString LangDb::defaultSaveRootUrl()
{
    const QString path = userDataDir().absoluteFilePath(QStringLiteral("models"));
    QDir dir(path);
    if (!dir.exists())
        dir.mkpath(path);
    return QUrl::fromLocalFile(path).toString();
}

QString LangDb::display(const QString &lang)
{
    QString code;
    bool isHigh = false;
    if (!parseLang(lang, code, isHigh))
        return QString();
    try {
        Sqlite3Query q("select native from lang where fn=?");
        q.bindText(code);
        Sqlite3Cursor c = select(q);
        if (!c.next()) {
            c.throwIfFailed();
            return QString();
        }
        return c.getText(0) + (isHigh ? tr("(Higher Accuracy)") : tr("(Standard Accuracy)"));
    } catch (const std::exception &e) {
        setLastErr(e);
        return QString();
    }
}

QString LangDb::modelPath(const QString &lang)
{
    // The key is checked before it becomes part of any path: "", "../x" and
    // the like must not resolve to a folder of their own.
    QString code;
    bool isHigh = false;
    if (!parseLang(lang, code, isHigh))
        return QString();

    // Folder names follow the canonical lower-case key, so "EN-S" finds the
    // same model on a case-sensitive file system as on Windows.
    const QString key = code + (isHigh ? QStringLiteral("-h") : QStringLiteral("-s"));
    const QDir appDir(QCoreApplication::applicationDirPath());
    const QString bundled = appDir.absoluteFilePath(QStringLiteral("../models/") + key);
    if (QFileInfo::exists(bundled))
        return QDir::cleanPath(bundled);

    try {
        Sqlite3Query q(QStringLiteral("select * from lang where fn=? and %1=0")
                           .arg(isHigh ? QStringLiteral("invalid2") : QStringLiteral("invalid1")));
        q.bindText(code);
        Sqlite3Cursor c = select(q);
        if (!c.next()) {
            c.throwIfFailed();
            return QString();
        }
        return c.getText(isHigh ? QStringLiteral("local2") : QStringLiteral("local1"));
    } catch (const std::exception &e) {
        setLastErr(e);
        return QString();
    }
}

bool LangDb::isInstalled(const QString &lang)
{
    const QString path = modelPath(lang);
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString LangDb::downloadUrl(const QString &lang)
{
    QString code;
    bool isHigh = false;
    if (!parseLang(lang, code, isHigh))
        return QString();
    return modelEndpoint() + QStringLiteral("vdata.php?fn=") + lang;
}

void LangDb::touch(const QString &lang)
{
    QString code;
    bool isHigh = false;
    if (!parseLang(lang, code, isHigh))
        return;
    try {
        Sqlite3Query q("update lang set dt=? where fn=?");
        q.bindInt64(QDateTime::currentSecsSinceEpoch());
        q.bindText(code);
        run(q);
    } catch (const std::exception &e) {
        setLastErr(e);
    }
}

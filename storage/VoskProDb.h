#pragma once
// The encrypted database of one project (the file "data" in the project
// folder): conversion items, segments, speakers, highlights and comments with
// their replies. Every statement run on that file lives here. Failures are
// caught at this class's edge and kept in lastErr; no exception leaves it.
// One thread at a time uses an object.

#include "engine/VoskTypes.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVariant>

#include <exception>
#include <memory>

class QTemporaryDir;
class Sqlite3DB;
class Sqlite3Query;

// One stored conversation segment.
struct VoskProSeg
{
    // Readable by the pages that show results as they arrive.
    Q_GADGET
    Q_PROPERTY(qint64 id MEMBER id)
    Q_PROPERTY(int device MEMBER device)
    Q_PROPERTY(QString html MEMBER html)
    Q_PROPERTY(float start MEMBER start)
    Q_PROPERTY(float end MEMBER end)
    Q_PROPERTY(qint64 fstart MEMBER fstart)
    Q_PROPERTY(qint64 fend MEMBER fend)
    Q_PROPERTY(qint64 spkId MEMBER spkId)
    Q_PROPERTY(QString spkName MEMBER spkName)
    Q_PROPERTY(qint64 itemId MEMBER itemId)
public:
    qint64 id = 0;
    int device = 0;     // 1 microphone, 2 any other source
    QString html;
    float start = 0;    // seconds on the project's time line
    float end = 0;
    qint64 fstart = 0;  // byte range of the segment's audio in the PCM data of
    qint64 fend = 0;    // "data.wav" (after its header), end exclusive
    qint64 spkId = 0;
    QString spkName;
    qint64 itemId = 0;  // the conversion item, 0 for live sound
};

struct VoskSpeakerInfo
{
    Q_GADGET
    Q_PROPERTY(qint64 id MEMBER id)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QString color MEMBER color)
public:
    qint64 id = 0;
    QString name;  // the stored name, else "Speaker <id>"
    QString color; // "#RRGGBB" from the speaker palette
};

Q_DECLARE_METATYPE(VoskProSeg)
Q_DECLARE_METATYPE(VoskSpeakerInfo)

class VoskProDb : public QObject
{
    Q_OBJECT
public:
    explicit VoskProDb(QObject *parent = nullptr);
    ~VoskProDb() override;

    bool open(const QString &path);
    // Opens a private copy of the database at path and its write-ahead log,
    // for reading: nothing of the project changes, even while its own
    // connection is open, and a project on a read-only disk can be read
    // (SQLite 3.15 cannot open a database in write-ahead mode read-only
    // without making its log and index files beside it). The copy goes
    // with close().
    bool openSnapshot(const QString &path);
    void close();
    bool isOpen() const { return db != nullptr; }

    // Conversion items
    qint64 beginItem(const QString &name);
    bool finishItem(qint64 itemId);
    bool deleteItem(qint64 itemId);

    // Segments
    qint64 addSeg(const VoskProSeg &seg, const QString &rawWords, qint64 itemId);
    // itemId -1 gives every segment; 0 or above only that item's (0: live sound).
    QList<VoskProSeg> loadSegs(qint64 itemId);
    bool deleteSeg(qint64 segId);
    // html is re-serialised by BaseUtil::htmlBody and handed back as stored.
    bool updateSegHtml(qint64 segId, QString &html);
    float maxSegEnd();
    // Where the last stored segment's audio ends in "data.wav", of those that
    // end at upTo or before when it is given: 0 when none, -1 when the
    // database fails.
    qint64 maxSegFend(qint64 upTo = -1);

    // Highlights and comments (comment items) and their replies
    QVariantMap addCItem(qint64 segId, const QString &text, int type);
    QVariantList loadCItems();
    bool deleteCItem(qint64 citemId);
    bool addComment(qint64 citemId, const QString &text);
    QVariantList loadComments(qint64 citemId);
    bool deleteComment(qint64 commentId);

    // Speakers
    VoskSpeakerInfo matchSpeaker(VoskSpk vp, int frames, qint64 itemId);
    QList<VoskSpeakerInfo> loadSpeakers();
    bool updateSpeakerName(qint64 spkId, const QString &name);
    // Needs no object and no open database; safe from any thread.
    static const char *speakerColor(qint64 spkId);
    static QByteArray vpToJson(const VoskSpk &vp);
    static VoskSpk vpFromJson(const QString &text);
    static float vpCosineDistance(const VoskSpk &a, const VoskSpk &b);

private:
    Sqlite3DB &conn();
    void fail(const std::exception &e);
    bool runSql(const Sqlite3Query &q);
    static QString speakerName(qint64 id, const QString &stored);

    Sqlite3DB *db = nullptr; // null while closed
    std::unique_ptr<QTemporaryDir> snapshot; // the copy that db reads, if any

public:
    // The text of the most recent failure; a later success leaves it as it is.
    QString lastErr;
};

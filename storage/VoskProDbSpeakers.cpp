// The speaker registry of VoskProDb: every final result is assigned to a
// stored speaker, or becomes a new one, by the cosine distance of x-vectors.

#include "storage/VoskProDb.h"

#include "storage/Sqlite3DB.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

// Results shorter than this give unreliable x-vectors; they are only ever
// compared with speakers of the same short class.
constexpr int kLongResultFrames = 500;
constexpr float kSameSpeakerDistance = 0.5f;

}

QString VoskProDb::speakerName(qint64 id, const QString &stored)
{
    return stored.isEmpty() ? QStringLiteral("Speaker %1").arg(id) : stored;
}

const char *VoskProDb::speakerColor(qint64 spkId)
{
    static const char *const palette[55] = {
        "#A22A2B", "#010101", "#0000FD", "#006301", "#FF68B5",
        "#20B2A8", "#32CD34", "#020183", "#FF4503", "#DB71D6",
        "#A01EF0", "#FE0002", "#426AE4", "#FB7F73", "#2F8A58",
        "#FF8248", "#88CEE8", "#708290", "#00FD80", "#4583B4",
        "#D0B38B", "#D7BFD7", "#FF6349", "#02878C", "#8B7F65",
        "#BF00FE", "#FF3F95", "#8AB92A", "#BFBFBF", "#CB5E5B",
        "#FFD700", "#218C22", "#B42222", "#2090FF", "#6A6A6A",
        "#01BEFF", "#FF1496", "#9500D2", "#03CECF", "#2F4D4D",
        "#493C8C", "#9A31CC", "#566931", "#B9870C", "#00FEFE",
        "#6294ED", "#FF8051", "#D4681F", "#81FE02", "#5D9CA1",
        "#DFB98A", "#8B2CE2", "#FFEBD0", "#C2CCCE", "#81FFD5",
    };
    return palette[quint64(spkId) % 55];
}

QByteArray VoskProDb::vpToJson(const VoskSpk &vp)
{
    QJsonArray a;
    for (const float v : vp)
        a.append(double(v));
    return QJsonDocument(a).toJson();
}

VoskSpk VoskProDb::vpFromJson(const QString &text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isArray())
        return {};
    const QJsonArray a = doc.array();
    VoskSpk vp;
    vp.reserve(size_t(a.size()));
    for (const QJsonValue &v : a)
        vp.push_back(float(v.toDouble(0)));
    return vp;
}

float VoskProDb::vpCosineDistance(const VoskSpk &a, const VoskSpk &b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    float dot = 0, na = 0, nb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        dot += a[i] * b[i];
        na += a[i] * a[i];
        nb += b[i] * b[i];
    }
    if (na == 0 || nb == 0)
        return 0;
    return float(1.0 - double(dot) / (std::sqrt(double(nb)) * std::sqrt(double(na))));
}

VoskSpeakerInfo VoskProDb::matchSpeaker(VoskSpk vp, int frames, qint64 itemId)
{
    try {
        Sqlite3DB &c = conn();
        const bool shortResult = frames < kLongResultFrames;
        Sqlite3Query q("select * from speaker");
        q.append(shortResult ? QStringLiteral(" where frames < 500") : QStringLiteral(" where frames >= 500"));
        // The cursor stays open while the row is updated or a new one added.
        Sqlite3Cursor cur = c.select(q);
        while (cur.next()) {
            const float d = vpCosineDistance(vp, vpFromJson(cur.getText(QStringLiteral("vp"))));
            if (!(d < kSameSpeakerDistance) && !shortResult)
                continue;
            const qint64 id = cur.getInt64(QStringLiteral("id"));
            const QString name = speakerName(id, cur.getText(QStringLiteral("name")));
            // Keep the x-vector of the longest result so far.
            if (cur.getInt(QStringLiteral("frames")) < frames) {
                Sqlite3Query up("update speaker set vp=?, frames=? where id=?");
                up.bindText(QString::fromUtf8(vpToJson(vp)));
                up.bindInt(frames);
                up.bindInt64(id);
                c.run(up);
            }
            return {id, name, QString::fromLatin1(speakerColor(id))};
        }
        // A failed step must not pass for "no speaker matched".
        cur.throwIfFailed();

        Sqlite3Row row;
        row.set(QStringLiteral("vp"), QString::fromUtf8(vpToJson(vp)));
        row.set(QStringLiteral("frames"), frames);
        if (itemId != 0)
            row.set(QStringLiteral("item_id"), itemId);
        c.run(row.toInsertQuery(QStringLiteral("speaker"), {}, QStringLiteral("insert into")));
        const qint64 id = c.lastInsertRowId();
        return {id, speakerName(id, QString()), QString::fromLatin1(speakerColor(id))};
    } catch (const std::exception &e) {
        fail(e);
        return {};
    }
}

QList<VoskSpeakerInfo> VoskProDb::loadSpeakers()
{
    try {
        Sqlite3Cursor cur = conn().select("select * from speaker");
        QList<VoskSpeakerInfo> speakers;
        while (cur.next()) {
            const qint64 id = cur.getInt64(QStringLiteral("id"));
            speakers.append({id, speakerName(id, cur.getText(QStringLiteral("name"))),
                             QString::fromLatin1(speakerColor(id))});
        }
        cur.throwIfFailed();
        return speakers;
    } catch (const std::exception &e) {
        fail(e);
        return {};
    }
}

bool VoskProDb::updateSpeakerName(qint64 spkId, const QString &name)
{
    Sqlite3Query q("update speaker set name=? where id=?");
    q.bindText(name);
    q.bindInt64(spkId);
    return runSql(q);
}

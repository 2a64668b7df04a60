#include "common/ExportSample.h"

#include "common/ProjectFixture.h"

#include <QDateTime>

namespace TestUtil {

bool storeExportSample(ProjectFixture &fx, ExportSample &s, QString &err)
{
    VoskProDb &db = fx.db();
    const qint64 anna = db.matchSpeaker({ 1, 0, 0, 0 }, 800, 0).id;
    const qint64 other = db.matchSpeaker({ 0, 1, 0, 0 }, 800, 0).id;
    if (anna <= 0 || other <= 0 || anna == other || !db.updateSpeakerName(anna, QStringLiteral("Anna Berg"))) {
        err = QStringLiteral("speakers: ") + db.lastErr;
        return false;
    }
    const qint64 first = fx.addSeg(QStringLiteral("<p>Good morning, everyone.</p><p>Shall we start?</p>"), 1.5f, anna);
    const qint64 second = fx.addSeg(QStringLiteral("<p>Costs &lt;rose&gt; by 5% &amp; \"more\"</p>"), 3661.25f, other);
    if (first <= 0 || second <= 0) {
        err = QStringLiteral("segments: ") + db.lastErr;
        return false;
    }
    s.times = QStringList { "00:00:01,500", "01:01:01,250" };
    s.speakers = QStringList { "Anna Berg", QStringLiteral("Speaker %1").arg(other) };
    s.texts = QStringList { "Good morning, everyone.\nShall we start?", "Costs <rose> by 5% & \"more\"" };

    const qint64 highlight = db.addCItem(first, QStringLiteral("Shall we start"), 1).value("id").toLongLong();
    const qint64 comment = db.addCItem(second, QStringLiteral("Check the figure"), 2).value("id").toLongLong();
    if (highlight <= 0 || comment <= 0 || !db.addComment(highlight, QStringLiteral("Agreed, a good opening."))) {
        err = QStringLiteral("comment items: ") + db.lastErr;
        return false;
    }
    const QVariantMap reply = db.loadComments(highlight).value(0).toMap();
    s.items = QStringList { "[Comment] Check the figure", "[Highligth] Shall we start" };
    s.replies = QList<QStringList> {
        {},
        { QDateTime::fromSecsSinceEpoch(reply.value("dt").toLongLong()).toString("yyyy/MM/dd hh:mm:ss"),
          reply.value("text").toString() },
    };
    return true;
}

}

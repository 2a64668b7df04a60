// Stores segments one by one in an encrypted project database, as a long run
// does, then loads them all back, as opening the project does. The baseline is
// the same work on a plain SQLite file through the same layer, measured in the
// same run, so the figures say what the encryption and the class cost.
//
//   bench_vosk_pro_db [segments]   (default 100000)

#include "storage/Sqlite3DB.h"
#include "storage/VoskProDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

const char kPlainSchema[] =
    "CREATE TABLE speaker (id INTEGER PRIMARY KEY AUTOINCREMENT, name VARCHAR, vp VARCHAR, frames INTEGER, item_id INTEGER);"
    "CREATE TABLE vres (id INTEGER PRIMARY KEY AUTOINCREMENT, start FLOAT, end FLOAT, fstart INTEGER, fend INTEGER,"
    " html text, raw_words text, spk_id INTEGER, item_id INTEGER, device INTEGER);";

const QString kRawWords = QStringLiteral(
    "[\n    {\n        \"conf\": 1,\n        \"end\": 1.5,\n        \"pre\": 0,\n        \"start\": 1.2,\n"
    "        \"word\": \"hello\"\n    }\n]\n");

VoskProSeg segment(int i)
{
    VoskProSeg s;
    s.device = 2;
    s.start = float(i) * 2.0f;
    s.end = s.start + 1.8f;
    s.fstart = qint64(i) * 64000;
    s.fend = s.fstart + 57600;
    s.spkId = 1 + i % 4;
    s.html = QStringLiteral("hello world number %1<br/>and the next line of it").arg(i);
    return s;
}

struct Rates
{
    double insertPerSec = 0;
    double loadPerSec = 0;
};

double perSec(int rows, qint64 nsecs)
{
    return nsecs > 0 ? rows * 1e9 / double(nsecs) : 0;
}

Rates runPlain(const QString &path, int n)
{
    Sqlite3DB db;
    db.open(path, QByteArray(), 6);
    QString err;
    db.exec(QString::fromLatin1(kPlainSchema), err);
    db.exec(QStringLiteral("PRAGMA journal_mode=WAL;"), err);

    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i) {
        const VoskProSeg s = segment(i);
        Sqlite3Row row;
        row.set(QStringLiteral("start"), double(s.start));
        row.set(QStringLiteral("end"), double(s.end));
        row.set(QStringLiteral("fstart"), s.fstart);
        row.set(QStringLiteral("fend"), s.fend);
        row.set(QStringLiteral("html"), s.html);
        row.set(QStringLiteral("raw_words"), kRawWords);
        row.set(QStringLiteral("spk_id"), s.spkId);
        row.set(QStringLiteral("device"), s.device);
        row.set(QStringLiteral("item_id"), qint64(1));
        db.run(row.toInsertQuery(QStringLiteral("vres"), {}, QStringLiteral("insert into")));
    }
    Rates r;
    r.insertPerSec = perSec(n, t.nsecsElapsed());

    t.restart();
    int rows = 0;
    Sqlite3Cursor c = db.select("select v.*,s.name as spk_name from vres as v left join speaker as s on s.id=v.spk_id order by id asc");
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
        s.spkName = c.getText(QStringLiteral("spk_name"));
        s.itemId = c.getInt64(QStringLiteral("item_id"));
        rows += s.id > 0;
    }
    r.loadPerSec = perSec(rows, t.nsecsElapsed());
    if (rows != n)
        std::fprintf(stderr, "baseline loaded %d of %d rows\n", rows, n);
    return r;
}

Rates runProject(const QString &path, int n, bool &ok)
{
    VoskProDb db;
    ok = db.open(path);
    if (!ok) {
        std::fprintf(stderr, "open failed: %s\n", qPrintable(db.lastErr));
        return {};
    }
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i) {
        if (db.addSeg(segment(i), kRawWords, 1) == 0) {
            std::fprintf(stderr, "addSeg failed: %s\n", qPrintable(db.lastErr));
            ok = false;
            return {};
        }
    }
    Rates r;
    r.insertPerSec = perSec(n, t.nsecsElapsed());

    t.restart();
    const QList<VoskProSeg> segs = db.loadSegs(-1);
    r.loadPerSec = perSec(segs.size(), t.nsecsElapsed());
    if (segs.size() != n) {
        std::fprintf(stderr, "loadSegs returned %d of %d rows: %s\n", int(segs.size()), n, qPrintable(db.lastErr));
        ok = false;
    }
    return r;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (n <= 0) {
        std::fprintf(stderr, "usage: %s [segments]\n", argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }

    const Rates base = runPlain(dir.filePath("plain.db"), n);
    bool ok = false;
    const Rates proj = runProject(dir.filePath("data"), n, ok);
    if (!ok)
        return 1;

    std::printf("segments: %d\n", n);
    std::printf("insert  baseline (plain SQLite): %10.0f rows/s\n", base.insertPerSec);
    std::printf("insert  VoskProDb::addSeg:       %10.0f rows/s  ratio %.2f\n", proj.insertPerSec,
                proj.insertPerSec / base.insertPerSec);
    std::printf("load    baseline (plain SQLite): %10.0f rows/s\n", base.loadPerSec);
    std::printf("load    VoskProDb::loadSegs:     %10.0f rows/s  ratio %.2f\n", proj.loadPerSec,
                proj.loadPerSec / base.loadPerSec);
    return 0;
}

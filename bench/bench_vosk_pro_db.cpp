// Stores segments one by one in an encrypted project database, as a long run
// does, then loads them all back, as opening the project does. The baseline is
// the same work on a plain SQLite file through the same layer, measured in the
// same run and interleaved with it, so the figures say what the encryption
// and the class cost.
//
//   bench_vosk_pro_db [segments]   (default 100000)

#include "storage/Sqlite3DB.h"
#include "storage/VoskProDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

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

double perSec(int rows, qint64 nsecs)
{
    return nsecs > 0 ? rows * 1e9 / double(nsecs) : 0;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    const int n = v.size();
    return n == 0 ? 0 : n % 2 ? v.at(n / 2) : (v.at(n / 2 - 1) + v.at(n / 2)) / 2;
}

// One side of the comparison: a way to store segments and to load them all.
struct Side
{
    std::function<bool(int from, int to)> insert;
    std::function<int()> load;
};

Side plainSide(Sqlite3DB &db, const QString &path)
{
    db.open(path, QByteArray(), 6);
    QString err;
    db.exec(QString::fromLatin1(kPlainSchema), err);
    db.exec(QStringLiteral("PRAGMA journal_mode=WAL;"), err);
    Side side;
    side.insert = [&db](int from, int to) {
        for (int i = from; i < to; ++i) {
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
        return true;
    };
    side.load = [&db] {
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
        return rows;
    };
    return side;
}

Side projectSide(VoskProDb &db)
{
    Side side;
    side.insert = [&db](int from, int to) {
        for (int i = from; i < to; ++i) {
            if (db.addSeg(segment(i), kRawWords, 1) == 0) {
                std::fprintf(stderr, "addSeg failed: %s\n", qPrintable(db.lastErr));
                return false;
            }
        }
        return true;
    };
    side.load = [&db] { return int(db.loadSegs(-1).size()); };
    return side;
}

qint64 timed(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed();
}

// Runs both, first the one that went second the time before.
void inTurns(int k, const std::function<void()> &a, const std::function<void()> &b)
{
    if (k % 2) {
        b();
        a();
    } else {
        a();
        b();
    }
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
    Sqlite3DB plainDb;
    const Side plain = plainSide(plainDb, dir.filePath("plain.db"));
    VoskProDb projectDb;
    if (!projectDb.open(dir.filePath("data"))) {
        std::fprintf(stderr, "open failed: %s\n", qPrintable(projectDb.lastErr));
        return 1;
    }
    const Side project = projectSide(projectDb);

    // Both sides store the same rows in turns, in slices, each slice first
    // on the side that went second before: the disk's flushes fall on both
    // alike. Each slice gives one ratio; the median stands.
    constexpr int kSlices = 20;
    QList<double> plainInserts, projectInserts, insertRatios;
    for (int k = 0; k < kSlices; ++k) {
        const int from = int(qint64(n) * k / kSlices), to = int(qint64(n) * (k + 1) / kSlices);
        if (to == from)
            continue;
        qint64 p = 0, q = 0;
        bool ok = true;
        inTurns(k, [&] { p = timed([&] { plain.insert(from, to); }); },
                [&] { q = timed([&] { ok = project.insert(from, to); }); });
        if (!ok)
            return 1;
        plainInserts << perSec(to - from, p);
        projectInserts << perSec(to - from, q);
        insertRatios << double(p) / double(q);
    }

    constexpr int kLoads = 7;
    QList<double> plainLoads, projectLoads, loadRatios;
    for (int k = 0; k < kLoads; ++k) {
        int pr = 0, qr = 0;
        qint64 p = 0, q = 0;
        inTurns(k, [&] { p = timed([&] { pr = plain.load(); }); }, [&] { q = timed([&] { qr = project.load(); }); });
        if (pr != n || qr != n) {
            std::fprintf(stderr, "loaded %d and %d of %d rows: %s\n", pr, qr, n, qPrintable(projectDb.lastErr));
            return 1;
        }
        plainLoads << perSec(n, p);
        projectLoads << perSec(n, q);
        loadRatios << double(p) / double(q);
    }

    std::printf("segments: %d (inserts in %d interleaved slices, %d interleaved loads; medians)\n", n, kSlices, kLoads);
    std::printf("insert  baseline (plain SQLite): %10.0f rows/s\n", median(plainInserts));
    std::printf("insert  VoskProDb::addSeg:       %10.0f rows/s  ratio %.2f\n", median(projectInserts),
                median(insertRatios));
    std::printf("load    baseline (plain SQLite): %10.0f rows/s\n", median(plainLoads));
    std::printf("load    VoskProDb::loadSegs:     %10.0f rows/s  ratio %.2f\n", median(projectLoads), median(loadRatios));
    return 0;
}

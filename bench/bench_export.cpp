// Exports a large project to TXT, HTML and DOCX through the export batch's
// exporters, each against a bare loop measured in the same run that reads the
// same segments from the project database and writes what that exporter
// writes of them: their plain text (TXT, DOCX) or their stored HTML as it is
// (HTML, which converts nothing). The exports write times and speakers and
// lay out their documents as well; the ratio says what that costs.
//
//   bench_export [segments]   (default 50000)

#include "export/ExportDocx.h"
#include "export/ExportHandlingItemModel.h"
#include "export/ExportHtml.h"
#include "export/ExportTxt.h"
#include "tests/common/ProjectDbAccess.h"
#include "storage/VoskProDb.h"
#include "util/BaseUtil.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

bool fillProject(const QString &dir, int n)
{
    return TestUtil::addSegments(QDir(dir).absoluteFilePath(QStringLiteral("data")), n,
                                 "i * 2.5, i * 2.5 + 2, 'hello world number ' || i || ', and a few more words to"
                                 " read<br/>then the next line of it', '[]', 1 + i % 4, 1,"
                                 " case when i % 3 = 0 then 1 else 2 end");
}

qint64 bareLoop(const QString &projectDir, const QString &outPath, bool plainText)
{
    QElapsedTimer t;
    t.start();
    VoskProDb db;
    QFile out(outPath);
    if (!db.open(QDir(projectDir).absoluteFilePath(QStringLiteral("data"))) || !out.open(QIODevice::WriteOnly))
        return -1;
    const QList<VoskProSeg> segs = db.loadSegs(-1);
    for (const VoskProSeg &s : segs)
        out.write(plainText ? (BaseUtil::html2text(s.html) + QStringLiteral("\n\n")).toUtf8() : s.html.toUtf8());
    out.close();
    return t.nsecsElapsed();
}

template<typename Exporter>
qint64 runExporter(const QString &projectDir, const QString &outDir)
{
    ExportHandlingItemModel batch;
    batch.setWithTime(true);
    batch.setWithSpeaker(true);
    QDir().mkpath(outDir);
    auto *e = new Exporter(QDir(outDir), projectDir, &batch);
    QEventLoop loop;
    QObject::connect(e, &IExportHandling::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QElapsedTimer t;
    t.start();
    e->start();
    loop.exec();
    const qint64 ns = t.nsecsElapsed();
    if (e->hasErr) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(e->err));
        return -1;
    }
    return ns;
}

double ms(qint64 ns)
{
    return ns / 1e6;
}

}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 50000;
    QTemporaryDir dir;
    if (n <= 0 || !dir.isValid()) {
        std::fprintf(stderr, "usage: %s [segments]\n", argv[0]);
        return 2;
    }
    const QString project = dir.filePath(QStringLiteral("project"));
    QDir().mkpath(project);
    if (!fillProject(project, n)) {
        std::fprintf(stderr, "could not make the project\n");
        return 1;
    }

    // The best of three runs each, interleaved, so that a busy machine
    // weighs on all of them alike.
    qint64 bareText = -1, bareHtml = -1, txt = -1, html = -1, docx = -1;
    const auto best = [](qint64 a, qint64 b) { return a < 0 ? b : std::min(a, b); };
    for (int round = 0; round < 3; ++round) {
        const QString out = dir.filePath(QStringLiteral("out%1").arg(round));
        QDir().mkpath(out);
        const qint64 bt = bareLoop(project, out + QStringLiteral("/bare.txt"), true);
        const qint64 bh = bareLoop(project, out + QStringLiteral("/bare.html"), false);
        const qint64 t = runExporter<ExportTxt>(project, out + QStringLiteral("/txt"));
        const qint64 h = runExporter<ExportHtml>(project, out + QStringLiteral("/html"));
        const qint64 d = runExporter<ExportDocx>(project, out + QStringLiteral("/docx"));
        if (bt < 0 || bh < 0 || t < 0 || h < 0 || d < 0)
            return 1;
        bareText = best(bareText, bt);
        bareHtml = best(bareHtml, bh);
        txt = best(txt, t);
        html = best(html, h);
        docx = best(docx, d);
    }

    std::printf("segments: %d\n", n);
    std::printf("bare loop (read, plain text, write):  %8.1f ms\n", ms(bareText));
    std::printf("bare loop (read, stored HTML, write): %8.1f ms\n", ms(bareHtml));
    std::printf("ExportTxt (times and speakers):       %8.1f ms  ratio %.2f to plain text (target <= 2)\n", ms(txt),
                double(txt) / bareText);
    std::printf("ExportHtml (times and speakers):      %8.1f ms  ratio %.2f to stored HTML (target <= 2)\n", ms(html),
                double(html) / bareHtml);
    std::printf("ExportDocx (times and speakers):      %8.1f ms  ratio %.2f to plain text (target <= 3)\n", ms(docx),
                double(docx) / bareText);
    return 0;
}

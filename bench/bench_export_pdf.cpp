// Exports projects of several sizes to PDF through the export batch model
// (the page painters on the GUI thread) and, as the baseline of the same run,
// has LibreOffice (headless) turn the TXT export of the same project into a
// PDF. Prints per size the PDF's bytes per segment, the time of each and
// their ratio; bytes and milliseconds per segment that stay level across the
// sizes show that both grow linearly. LibreOffice makes its profile in a
// first, unmeasured conversion.
//
// "links" exports instead one segment of one paragraph of N links whose
// targets the PDF export rewrites (a parenthesis in each), against the same
// paragraph with plain targets as the baseline. Milliseconds per link that
// stay level across the sizes show that the rewrite grows linearly.
//
//   bench_export_pdf [segments...]   (default 1000 2000 5000)
//   bench_export_pdf links [links...]   (default 1000 10000)

#include "export/ExportHandlingItemModel.h"
#include "projects/JsonFile.h"
#include "storage/VoskProDb.h"
#include "tests/common/ProjectDbAccess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {

bool makeProject(const QString &dir, int n)
{
    return QDir().mkpath(dir)
        && writeJsonFile(QDir(dir).absoluteFilePath("manifest"), { { "name", "Bench" }, { "lang", "en-s" } })
        && TestUtil::addSegments(QDir(dir).absoluteFilePath("data"), n,
                                 "i * 3.0, i * 3.0 + 2.5, 'This is sentence number ' || i || ' of the meeting, where the"
                                 " speaker explains a point at some length so that the line wraps.', '[]', 1 + i % 3,"
                                 " 0, 1 + i % 2");
}

// One segment of one paragraph of n links, their targets made of target over i.
bool makeLinksProject(const QString &dir, int n, const QString &target)
{
    QString html = QStringLiteral("<p>");
    for (int i = 0; i < n; ++i)
        html += QStringLiteral("<a href=\"%1\">link %2</a> ").arg(target.arg(i), QString::number(i));
    html += QStringLiteral("</p>");
    return QDir().mkpath(dir)
        && writeJsonFile(QDir(dir).absoluteFilePath("manifest"), { { "name", "Bench" }, { "lang", "en-s" } })
        && TestUtil::addSegments(QDir(dir).absoluteFilePath("data"), 1, "0, 2.5, '" + html + "', '[]', 1, 0, 1");
}

// Exports the project and returns the item folder, or an empty text.
QString exportAs(const QString &type, const QString &project, const QString &out)
{
    ExportHandlingItemModel model;
    model.setExportType(type);
    model.setSaveRootUrl(QUrl::fromLocalFile(out).toString());
    model.setProjectUrls({ QUrl::fromLocalFile(project).toString() });
    model.setWithSpeaker(true);
    model.setWithTime(true);
    QEventLoop loop;
    QObject::connect(&model, &BatchHandlingItemModel::totalFinishedChanged, &loop, &QEventLoop::quit);
    model.init();
    if (!model.totalFinished())
        loop.exec();
    if (model.data(model.index(0, 0), BatchHandlingItemModel::DRole).toMap().value("status").toInt() != 1)
        return {};
    return QDir(QUrl(model.exportDirUrl()).toLocalFile()).absoluteFilePath("Bench");
}

// Seconds LibreOffice takes to turn the text file into a PDF in outDir; -1 on failure.
double office(const QString &profile, const QString &txt, const QString &outDir)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start("soffice", { "-env:UserInstallation=" + QUrl::fromLocalFile(profile).toString(), "--headless",
                         "--convert-to", "pdf", "--outdir", outDir, txt });
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return t.nsecsElapsed() / 1e9;
}

int pages(const QString &pdf)
{
    QProcess p;
    p.start("pdfinfo", { pdf });
    p.waitForFinished(60000);
    const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// Seconds of the PDF export of a one-segment project of n links; -1 on failure.
double exportLinks(const QString &dir, int n, const QString &target)
{
    if (!makeLinksProject(dir + "/project", n, target))
        return -1;
    QElapsedTimer t;
    t.start();
    if (exportAs(QStringLiteral("PDF Files(*.pdf)"), dir + "/project", dir + "/pdf").isEmpty())
        return -1;
    return t.nsecsElapsed() / 1e9;
}

int benchLinks(QList<int> counts)
{
    if (counts.isEmpty())
        counts = { 1000, 10000 };
    QTemporaryDir tmp;
    std::printf("%9s %11s %11s %10s %8s\n", "links", "rewritten s", "ms/link", "plain s", "ratio");
    for (int n : qAsConst(counts)) {
        const QString run = tmp.filePath(QString::number(n));
        const double rewritten = exportLinks(run + "/rewritten", n, "https://example.org/page_(%1)");
        const double plain = exportLinks(run + "/plain", n, "https://example.org/page_%1");
        if (n <= 0 || rewritten < 0 || plain < 0) {
            std::fprintf(stderr, "export of %d links failed\n", n);
            return 1;
        }
        std::printf("%9d %11.2f %11.3f %10.2f %8.3f\n", n, rewritten, rewritten * 1000 / n, plain, rewritten / plain);
        std::fflush(stdout);
    }
    std::printf("ratio: the export's time with rewritten targets over plain ones (lower is faster)\n");
    return 0;
}

}

int main(int argc, char *argv[])
{
    // Pages are painted into files: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool links = argc > 1 && qstrcmp(argv[1], "links") == 0;
    QList<int> counts;
    for (int i = links ? 2 : 1; i < argc; ++i)
        counts << std::atoi(argv[i]);
    if (links)
        return benchLinks(counts);
    if (counts.isEmpty())
        counts = { 1000, 2000, 5000 };

    QTemporaryDir tmp;
    const QString profile = tmp.filePath("lo-profile");
    const QString warmUp = tmp.filePath("warm-up.txt");
    QFile warm(warmUp);
    const bool written = warm.open(QIODevice::WriteOnly) && warm.write("warm up\n") > 0;
    warm.close();
    if (!written || office(profile, warmUp, tmp.filePath("warm-up")) < 0) {
        std::fprintf(stderr, "soffice failed\n");
        return 1;
    }

    std::printf("%9s %12s %10s %6s %9s %8s %14s %8s\n", "segments", "PDF bytes", "bytes/seg", "pages", "ours s",
                "ms/seg", "LibreOffice s", "ratio");
    for (int n : qAsConst(counts)) {
        const QString run = tmp.filePath(QString::number(n));
        const QString project = run + "/project";
        if (n <= 0 || !makeProject(project, n)) {
            std::fprintf(stderr, "could not make a project of %d segments\n", n);
            return 1;
        }
        QElapsedTimer t;
        t.start();
        const QString pdfDir = exportAs(QStringLiteral("PDF Files(*.pdf)"), project, run + "/pdf");
        const double ours = t.nsecsElapsed() / 1e9;
        const QString txtDir = exportAs(QStringLiteral("Text Files(*.txt)"), project, run + "/txt");
        if (pdfDir.isEmpty() || txtDir.isEmpty()) {
            std::fprintf(stderr, "export failed\n");
            return 1;
        }
        const double lo = office(profile, QDir(txtDir).absoluteFilePath("Bench.txt"), run + "/lo");
        if (lo < 0) {
            std::fprintf(stderr, "soffice failed\n");
            return 1;
        }
        const QString pdf = QDir(pdfDir).absoluteFilePath("Bench.pdf");
        const qint64 bytes = QFileInfo(pdf).size();
        std::printf("%9d %12lld %10.1f %6d %9.2f %8.3f %14.2f %8.3f\n", n, bytes, double(bytes) / n, pages(pdf), ours,
                    ours * 1000 / n, lo, ours / lo);
        std::fflush(stdout);
    }
    std::printf("ratio: our PDF export's time over LibreOffice's for the same text (lower is faster)\n");
    return 0;
}

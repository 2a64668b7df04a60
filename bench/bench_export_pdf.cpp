// Exports a project of 5,000 segments to PDF through the export batch model
// (the page painters on the GUI thread), and, as the baseline of the same run,
// has LibreOffice (headless) turn the TXT export of the same project into a
// PDF. Prints the time, pages and pages per second of each and their ratio.
//
//   bench_export_pdf [segments]   (default 5000)

#include "export/ExportHandlingItemModel.h"
#include "projects/JsonFile.h"
#include "storage/VoskProDb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
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
    QDir().mkpath(dir);
    if (!writeJsonFile(QDir(dir).absoluteFilePath("manifest"), { { "name", "Bench" }, { "lang", "en-s" } }))
        return false;
    VoskProDb db;
    if (!db.open(QDir(dir).absoluteFilePath("data")))
        return false;
    for (int i = 0; i < n; ++i) {
        VoskProSeg s;
        s.device = 1 + i % 2;
        s.start = float(i) * 3.0f;
        s.end = s.start + 2.5f;
        s.spkId = 1 + i % 3;
        s.html = QStringLiteral("This is sentence number %1 of the meeting, where the speaker explains a point"
                                " at some length so that the line wraps.")
                     .arg(i);
        if (db.addSeg(s, QStringLiteral("[]"), 0) <= 0)
            return false;
    }
    return true;
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

int pages(const QString &pdf)
{
    QProcess p;
    p.start("pdfinfo", { pdf });
    p.waitForFinished(60000);
    const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

}

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 5000;
    QTemporaryDir tmp;
    const QString project = tmp.filePath("project");
    if (!makeProject(project, n)) {
        std::fprintf(stderr, "could not make the project\n");
        return 1;
    }

    QElapsedTimer t;
    t.start();
    const QString pdfDir = exportAs(QStringLiteral("PDF Files(*.pdf)"), project, tmp.filePath("pdf"));
    const double ours = t.nsecsElapsed() / 1e9;
    const QString txtDir = exportAs(QStringLiteral("Text Files(*.txt)"), project, tmp.filePath("txt"));
    if (pdfDir.isEmpty() || txtDir.isEmpty()) {
        std::fprintf(stderr, "export failed\n");
        return 1;
    }

    // LibreOffice keeps a profile; give it one of its own.
    QProcess office;
    office.setWorkingDirectory(txtDir);
    t.restart();
    office.start("soffice", { "-env:UserInstallation=" + QUrl::fromLocalFile(tmp.filePath("lo-profile")).toString(),
                              "--headless", "--convert-to", "pdf", "--outdir", tmp.filePath("lo"),
                              QDir(txtDir).absoluteFilePath("Bench.txt") });
    if (!office.waitForFinished(600000) || office.exitCode() != 0) {
        std::fprintf(stderr, "soffice failed\n");
        return 1;
    }
    const double lo = t.nsecsElapsed() / 1e9;

    const int ourPages = pages(QDir(pdfDir).absoluteFilePath("Bench.pdf"));
    const int loPages = pages(QDir(tmp.filePath("lo")).absoluteFilePath("Bench.pdf"));
    std::printf("segments: %d\n", n);
    std::printf("our PDF export:        %7.2f s, %5d pages, %7.1f pages/s\n", ours, ourPages, ourPages / ours);
    std::printf("LibreOffice from TXT:  %7.2f s, %5d pages, %7.1f pages/s\n", lo, loPages, loPages / lo);
    std::printf("time ratio (ours / LibreOffice): %.3f\n", ours / lo);
    return 0;
}

// Exports a small project to PDF under EXPORTROOT and prints the export
// folder (scripts/screenshots.sh draws its first page), and saves a picture of
// the conversation's print preview as OUTDIR/print_preview.png.

#include "export/ExportHandlingItemModel.h"
#include "export/PrintMsgsExec.h"
#include "export/PrintMsgsPreview.h"
#include "projects/JsonFile.h"
#include "storage/VoskProDb.h"
#include "util/BaseUtil.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

const char *const kLines[][2] = {
    { "Ann", "Good morning, everyone. Shall we start with the figures for the last quarter?" },
    { "Bob", "Yes. Sales rose by <b>twelve percent</b>, mostly from the new shop in the harbour." },
    { "Ann", "That is better than we planned. What about the costs?" },
    { "Bob", "Costs stayed flat, although the rent went up in March." },
    { "Cleo", "I would like to add that the online orders doubled since the summer." },
    { "Ann", "Then let us put more of next year's budget there." },
};

bool makeProject(const QString &dir, QList<PrintMsg> &msgs)
{
    QDir().mkpath(dir);
    if (!writeJsonFile(QDir(dir).absoluteFilePath("manifest"), { { "name", "Quarterly meeting" }, { "lang", "en-s" } }))
        return false;
    VoskProDb db;
    if (!db.open(QDir(dir).absoluteFilePath("data")))
        return false;
    qint64 second = 0;
    for (int i = 0; i < int(sizeof kLines / sizeof kLines[0]); ++i) {
        VoskProSeg s;
        s.device = 2;
        s.start = 4.2f * float(i) + 0.6f;
        s.end = s.start + 3.9f;
        s.spkId = QByteArray(kLines[i][0]) == "Ann" ? 1 : QByteArray(kLines[i][0]) == "Bob" ? 2 : 3;
        s.html = QString::fromUtf8(kLines[i][1]);
        const qint64 id = db.addSeg(s, QStringLiteral("[]"), 0);
        if (id <= 0)
            return false;
        if (i == 1)
            second = id;
        msgs << PrintMsg { BaseUtil::formatMSecs(BaseUtil::secsToMSecs(s.start)), s.html, QString(),
                           QString::fromLatin1(VoskProDb::speakerColor(s.spkId)), QString::fromUtf8(kLines[i][0]),
                           i % 2 == 1 };
    }
    const QVariantMap hl = db.addCItem(second, QStringLiteral("Sales rose by twelve percent"), 1);
    db.addComment(hl.value("id").toLongLong(), QStringLiteral("Worth quoting in the summary."));
    db.addCItem(second, QStringLiteral("the new shop in the harbour"), 2);
    return true;
}

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR EXPORTROOT\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir tmp;
    QList<PrintMsg> msgs;
    if (!makeProject(tmp.filePath("project"), msgs)) {
        std::fprintf(stderr, "could not make the project\n");
        return 1;
    }

    ExportHandlingItemModel model;
    model.setExportType(QStringLiteral("PDF Files(*.pdf)"));
    const QString exportRoot = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(exportRoot);
    model.setSaveRootUrl(QUrl::fromLocalFile(exportRoot).toString());
    model.setProjectUrls({ QUrl::fromLocalFile(tmp.filePath("project")).toString() });
    model.setWithSpeaker(true);
    model.setWithTime(true);
    model.setWithHLCMMT(true);
    QEventLoop loop;
    QObject::connect(&model, &BatchHandlingItemModel::totalFinishedChanged, &loop, &QEventLoop::quit);
    model.init();
    if (!model.totalFinished())
        loop.exec();
    std::printf("%s\n", qPrintable(QUrl(model.exportDirUrl()).toLocalFile()));

    PrintMsgsPreview preview(nullptr, QSize(1000, 760));
    QObject::connect(&preview, &PrintMsgsPreview::previewPaintRequest, [&](PrintMsgsPreview *, QPrinter *printer) {
        PrintMsgsExec exec;
        exec.setItems(printer, msgs, true, true, 0, 0);
        exec.exec();
    });
    bool saved = false;
    QTimer::singleShot(1500, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *dlg = qobject_cast<QPrintPreviewDialog *>(w); dlg && dlg->isVisible()) {
                saved = dlg->grab().save(out.absoluteFilePath("print_preview.png"));
                dlg->close();
            }
    });
    preview.exec();
    return saved ? 0 : 1;
}

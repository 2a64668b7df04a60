#pragma once
// Exports one project as PDF: the conversation as speech bubbles and, when
// asked, the highlights and comments. A worker loads the project; the pages
// are then painted in the GUI thread, one record per pass of the event loop.

#include "export/IExportHandling.h"
#include "storage/VoskProDb.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QVariantList>

#include <memory>

class PrintCItemExec;
class PrintMsgsExec;
class QPdfWriter;

class ExportPdf : public IExportHandling
{
    Q_OBJECT

public:
    ExportPdf(QDir outDir, QString projectDir, QObject *parent = nullptr);
    ~ExportPdf() override;

    void start() override;
    void stop() override;

public slots:
    void afterInit(bool res);

private:
    bool loadData();
    void releasePainters();
    void onPainted();
    void onPainterFinished();
    // A painter on writer, reporting into done and ended, started at once.
    template<typename Exec, typename Record>
    Exec *startPainter(QPdfWriter *writer, const QList<Record> &records, const Options &opt, int &done, bool &ended);
    std::unique_ptr<QPdfWriter> makeWriter(QFile *file) const;

    QDir outDir;
    QString projectDir;
    PrintMsgsExec *msgsExec = nullptr;
    PrintCItemExec *citemsExec = nullptr;
    // The writers write into these, so that a failed write is seen.
    QFile msgsFile;
    QFile citemsFile;
    std::unique_ptr<QPdfWriter> msgsWriter;
    std::unique_ptr<QPdfWriter> citemsWriter;
    QList<VoskProSeg> segs;
    QVariantList citems; // each with its "replies", loaded by the worker
    int msgsDone = 0;
    int citemsDone = 0;
    int total = 0;
    int lastProgress = -1;
    bool msgsFinished = false;
    bool citemsFinished = false;
    bool stopped = false;
    bool ended = false; // finished() was emitted
};

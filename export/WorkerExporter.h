#pragma once
// An exporter whose whole export runs in one worker thread: start() runs
// doExport() there; stop() waits for it (the loops end through the batch's
// cancel flag, set before stop() is called). Every subclass's destructor must
// wait for the worker too, since doExport() uses the subclass.

#include "export/IExportHandling.h"
#include "storage/VoskProDb.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QVariantList>

class WorkerExporter : public IExportHandling
{
    Q_OBJECT

public:
    WorkerExporter(QDir outDir, QString projectDir, QObject *parent);

    void start() override;
    void stop() override;

    // Runs in the worker; emits finished() once on every path.
    virtual bool doExport() = 0;

protected:
    // What an export reads and writes: the batch's options, the project's
    // database with its segments (and comment items when asked for), the
    // conversation document and the highlights document when asked for.
    struct Source
    {
        Options opt;
        VoskProDb db;
        QList<VoskProSeg> segs;
        QVariantList citems;
        QFile main;
        QFile highlights;
    };
    // Both fail the export on their way out (setErr, finished(), false);
    // finishExport() emits finished() on success as well.
    bool beginExport(Source &src, const QString &ext);
    bool finishExport(Source &src);

    QDir outDir;        // the project's export item folder
    QString projectDir; // the project folder
};

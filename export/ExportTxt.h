#pragma once
// Writes one project as UTF-8 text: the conversation in a file named after
// its export item folder and, on request, the highlights and comments with
// their replies beside it. The work runs in a worker thread.

#include "export/WorkerExporter.h"

class ExportTxt final : public WorkerExporter
{
    Q_OBJECT

public:
    ExportTxt(QDir outDir, QString projectDir, QObject *parent);
    ~ExportTxt() override;

    bool doExport() override;
};

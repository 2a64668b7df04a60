#pragma once
// Writes one project as Word documents: the conversation in a file named
// after its export item folder and, on request, the highlights and comments
// with their replies beside it, one paragraph per line of the text export.
// The work runs in a worker thread.

#include "export/WorkerExporter.h"

class ExportDocx final : public WorkerExporter
{
    Q_OBJECT

public:
    ExportDocx(QDir outDir, QString projectDir, QObject *parent);
    ~ExportDocx() override;

    bool doExport() override;
};

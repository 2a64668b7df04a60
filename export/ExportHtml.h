#pragma once
// Writes one project as a self-contained HTML page laid out like the chat
// view (bubbles left and right, time pills between them), named after its
// export item folder, and on request a page of the highlights and comments
// with their replies; the project's pictures are copied beside them. The
// work runs in a worker thread.

#include "export/WorkerExporter.h"

class ExportHtml final : public WorkerExporter
{
    Q_OBJECT

public:
    ExportHtml(QDir outDir, QString projectDir, QObject *parent);
    ~ExportHtml() override;

    bool doExport() override;
};

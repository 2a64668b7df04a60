#pragma once
// A short conversation stored in a test project for the export tests: two
// speakers (one named), texts with a line break and markup characters, a
// highlight with a reply and a comment without one.

#include <QString>
#include <QStringList>

namespace TestUtil {

class ProjectFixture;

struct ExportSample
{
    // Per segment, in order: the start as the exports write it, the speaker's
    // name and the plain text.
    QStringList times;
    QStringList speakers;
    QStringList texts;
    // Newest first, as the exports list them: the labelled text, and the
    // replies as time and text.
    QStringList items;
    QList<QStringList> replies;
};

// False with err set when a step fails.
bool storeExportSample(ProjectFixture &fx, ExportSample &sample, QString &err);

}

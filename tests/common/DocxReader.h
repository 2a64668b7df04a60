#pragma once
// Reads back a written .docx with Info-ZIP's unzip (an independent reader of
// the package) and a namespace-aware XML parser.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace TestUtil {

struct DocxPackage
{
    QString err;                    // empty when every step below succeeded
    QStringList entries;            // in package order
    QStringList dates;              // per entry, as unzip shows them: yyyymmdd.hhmmss
    QMap<QString, QByteArray> parts;
    QStringList bodyChildren;       // local names of w:body's children
    // One list per w:p: "t:" + the text of a text run, or "cr" for a break run.
    QList<QStringList> paragraphs;

    // Each paragraph's text with break runs as line feeds.
    QStringList texts() const;
};

DocxPackage readDocx(const QString &path);

// Empty when bytes are well-formed, namespace-correct XML; else the parser's message.
QString xmlError(const QByteArray &bytes);

}

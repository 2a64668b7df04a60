#pragma once
// Builds one minimal Word document (.docx) out of plain-text paragraphs. The
// main document part is held as an XML tree while paragraphs are added; the
// core properties are generated when saving; every other part is copied from
// the template under ":/libdocxwriter/template/".

#include "export/MyXmlWriter.h"

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

typedef void *zipFile;

class DocxWriter
{
public:
    DocxWriter();
    DocxWriter(const DocxWriter &) = delete;
    DocxWriter &operator=(const DocxWriter &) = delete;

    // Line breaks inside text become break runs within the one paragraph.
    void appendParagraph(const QString &text);
    // Once, after the last paragraph: the section must be the body's last child.
    void appendSectPr();
    // False when any part cannot be written; no file is left at path then.
    bool save(const QString &path);

    static bool addZipFile(zipFile zip, const QByteArray &data, const char *name);
    static bool addTemplateFile(zipFile zip, const QString &name);

private:
    bool writePackage(zipFile zip);

    pugi::xml_document doc;
    pugi::xml_node body;
};

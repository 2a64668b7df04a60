#include "export/DocxWriter.h"

#include "util/XmlText.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include <minizip/zip.h>

namespace {

const char kSkeleton[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<w:document"
    " xmlns:ve=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
    " xmlns:o=\"urn:schemas-microsoft-com:office:office\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
    " xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\""
    " xmlns:v=\"urn:schemas-microsoft-com:vml\""
    " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
    " xmlns:w10=\"urn:schemas-microsoft-com:office:word\""
    " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
    " xmlns:wne=\"http://schemas.microsoft.com/office/word/2006/wordml\">"
    "<w:body></w:body></w:document>";

// A4 portrait. The revision id must be one of those listed in the template's
// settings part.
const char kSectPr[] =
    "<w:sectPr w:rsidR=\"00B50790\" w:rsidSect=\"00B50790\">\n"
    "<w:pgSz w:w=\"11906\" w:h=\"16838\"/>\n"
    "<w:pgMar w:top=\"1440\" w:right=\"1800\" w:bottom=\"1440\" w:left=\"1800\" w:header=\"851\""
    " w:footer=\"992\" w:gutter=\"0\"/>\n"
    "<w:cols w:space=\"425\"/>\n"
    "<w:docGrid w:type=\"lines\" w:linePitch=\"312\"/>\n"
    "</w:sectPr>";

const char kCoreProps[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<cp:coreProperties"
    " xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\""
    " xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
    " xmlns:dcterms=\"http://purl.org/dc/terms/\""
    " xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
    "    <dc:creator>User</dc:creator>\n"
    "    <cp:lastModifiedBy>User</cp:lastModifiedBy>\n"
    "    <cp:revision>1</cp:revision>\n"
    "    <dcterms:created xsi:type=\"dcterms:W3CDTF\">%1</dcterms:created>\n"
    "    <dcterms:modified xsi:type=\"dcterms:W3CDTF\">%2</dcterms:modified>\n"
    "</cp:coreProperties>";

const char *const kTemplateFiles[] = {
    "_rels/.rels",
    "docProps/app.xml",
    "word/_rels/document.xml.rels",
    "word/theme/theme1.xml",
    "word/fontTable.xml",
    "word/settings.xml",
    "word/styles.xml",
    "word/webSettings.xml",
    "[Content_Types].xml",
};

}

DocxWriter::DocxWriter()
{
    doc.load_string(kSkeleton);
    body = doc.child("w:document").child("w:body");
}

void DocxWriter::appendParagraph(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r?\n\r?"));
    QString runs = QStringLiteral("<w:r><w:t>%1</w:t></w:r>").arg(XmlText::withoutForbidden(text).toHtmlEscaped());
    runs.replace(lineBreak, QStringLiteral("</w:t></w:r><w:r><w:cr/></w:r><w:r><w:t>"));
    const QByteArray utf8 = runs.toUtf8();
    body.append_child("w:p").append_buffer(utf8.constData(), size_t(utf8.size()), pugi::parse_default,
                                           pugi::encoding_utf8);
}

void DocxWriter::appendSectPr()
{
    body.append_buffer(kSectPr, sizeof(kSectPr) - 1);
}

bool DocxWriter::save(const QString &path)
{
    QFile::remove(path);
    zipFile zip = zipOpen(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = writePackage(zip);
    // The central directory is written by the close: without it the file is
    // no package at all.
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok)
        QFile::remove(path);
    return ok;
}

bool DocxWriter::writePackage(zipFile zip)
{
    const QString now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
    if (!addZipFile(zip, QString::fromUtf8(kCoreProps).arg(now, now).toUtf8(), "docProps/core.xml"))
        return false;
    for (const char *name : kTemplateFiles) {
        if (!addTemplateFile(zip, QString::fromUtf8(name)))
            return false;
    }

    if (doc.first_child().type() != pugi::node_declaration) {
        pugi::xml_node decl = doc.prepend_child(pugi::node_declaration);
        decl.append_attribute("version").set_value("1.0");
        decl.append_attribute("encoding").set_value("UTF-8");
        decl.append_attribute("standalone").set_value("yes");
    }
    MyXmlWriter out;
    doc.save(out, "", pugi::format_raw);
    return addZipFile(zip, out.bytes, "word/document.xml");
}

bool DocxWriter::addZipFile(zipFile zip, const QByteArray &data, const char *name)
{
    // Every entry carries the same fixed date; only the core properties tell
    // when the document was written.
    zip_fileinfo info {};
    info.tmz_date.tm_mday = 1;
    info.tmz_date.tm_year = 1980;
    if (zipOpenNewFileInZip4(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0,
                             -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0, 0)
        != ZIP_OK)
        return false;
    const bool written = zipWriteInFileInZip(zip, data.constData(), unsigned(data.size())) >= 0;
    // Closed even after a failed write, so the package's state stays sound.
    return zipCloseFileInZip(zip) == ZIP_OK && written;
}

bool DocxWriter::addTemplateFile(zipFile zip, const QString &name)
{
    QFile f(QStringLiteral(":/libdocxwriter/template/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return addZipFile(zip, f.readAll(), name.toUtf8().constData());
}

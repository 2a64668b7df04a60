// Exports of a project made elsewhere, whose texts hold any markup and any
// characters, read back by independent programs: Chromium's DOM of the web
// page, poppler's text and picture lists of the PDF, qpdf's objects of its
// links, xmllint on every part of the Word document.

#include "common/DocxReader.h"
#include "common/ProjectDbAccess.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "export/ExportHandlingItemModel.h"

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextCodec>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QtTest>

namespace {

const QString kPicture = QStringLiteral("images/0123456789abcdef0123456789abcdef.png");

// Sizes of the pictures a PDF embeds, as "WxH".
QStringList pdfPictures(const QString &pdf)
{
    QStringList sizes;
    const QStringList lines = TestUtil::run("pdfimages", { "-list", pdf }).split('\n').mid(2);
    for (const QString &line : lines) {
        const QStringList f = line.simplified().split(' ');
        if (f.size() > 4)
            sizes << f.at(3) + 'x' + f.at(4);
    }
    return sizes;
}

// Words of a PDF drawn in nothing but their background: rendered at one
// pixel a point, the word's box holds no pixel that stands out.
QStringList invisibleWords(const QString &pdf)
{
    QTemporaryDir pages;
    TestUtil::run("pdftoppm", { "-r", "72", "-png", pdf, pages.filePath("p") });
    const QStringList files = QDir(pages.path()).entryList({ "p-*.png" }, QDir::Files, QDir::Name);
    const QStringList perPage = TestUtil::run("pdftotext", { "-bbox", pdf, "-" }).split("<page ").mid(1);
    QStringList hidden;
    static const QRegularExpression word("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)<");
    for (int p = 0; p < perPage.size() && p < files.size(); ++p) {
        const QImage page(pages.filePath(files.at(p)));
        for (auto it = word.globalMatch(perPage.at(p)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            int lightest = 0, darkest = 255;
            for (int y = qCeil(m.captured(2).toDouble()); y < m.captured(4).toDouble(); ++y) {
                for (int x = qCeil(m.captured(1).toDouble()); x < m.captured(3).toDouble(); ++x) {
                    const int g = qGray(page.pixel(x, y));
                    lightest = qMax(lightest, g);
                    darkest = qMin(darkest, g);
                }
            }
            if (lightest - darkest < 60)
                hidden << m.captured(5);
        }
    }
    return hidden;
}

// The HTML the conversation editor holds once html is pasted into it.
QString pastedIntoEditor(const QString &html)
{
    QTextDocument doc;
    doc.setDefaultStyleSheet("a {text-decoration:none;}");
    QTextCursor(&doc).insertFragment(QTextDocumentFragment::fromHtml(html));
    return doc.toHtml();
}

QString readAgainByEditor(const QString &html)
{
    QTextDocument doc;
    doc.setDefaultStyleSheet("a {text-decoration:none;}");
    doc.setHtml(html);
    return doc.toHtml();
}

}

class TestExportHostileText : public QObject
{
    Q_OBJECT

    TestUtil::ProjectFixture m_project;
    QTemporaryDir m_out;
    int m_n = 0;

    // Exports the project with every option on; the project's export folder.
    QString exportAs(const QString &type)
    {
        const QString root = m_out.filePath(QString::number(++m_n));
        QDir().mkpath(root);
        // The PDF is laid out on this thread: a layout that never ends must
        // fail here rather than hold the test up.
        const TestUtil::Watchdog watchdog(30, "Export as " + type);
        ExportHandlingItemModel model;
        model.setExportType(type);
        model.setSaveRootUrl(QUrl::fromLocalFile(root).toString());
        model.setProjectUrls({ m_project.url() });
        model.setWithTime(true);
        model.setWithSpeaker(true);
        model.setWithHLCMMT(true);
        QSignalSpy done(&model, &BatchHandlingItemModel::totalFinishedChanged);
        model.init();
        if (!model.totalFinished() && !done.wait(60000))
            return QString();
        const QVariantMap row = model.data(model.index(0, 0), BatchHandlingItemModel::DRole).toMap();
        if (row.value("status").toInt() != 1)
            return QString();
        return QDir(QUrl(model.exportDirUrl()).toLocalFile()).absoluteFilePath("Talk");
    }

    void emptyProject()
    {
        auto raw = TestUtil::openRaw(QDir(m_project.folder()).absoluteFilePath("data"));
        QVERIFY(raw);
        TestUtil::exec(*raw, "delete from vres; delete from citem; delete from comment; delete from speaker;"
                             " insert into speaker(id, name) values(1, 'Ann')");
    }

private slots:
    void initTestCase()
    {
        TestUtil::requireSandboxedHome();
        QString err;
        QVERIFY2(m_project.open(err), qPrintable(err));
        QImage own(19, 11, QImage::Format_RGB32);
        own.fill(Qt::blue);
        QVERIFY(QDir(m_project.folder()).mkpath("images"));
        QVERIFY(own.save(QDir(m_project.folder()).absoluteFilePath(kPicture)));
        QImage secret(37, 23, QImage::Format_RGB32);
        secret.fill(Qt::red);
        QVERIFY(secret.save(m_out.filePath("secret.png")));
    }

    void markupFromElsewhere_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("pictures");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<bool>("pasted"); // into the editor, before it is saved
        const QString mark = "document.body.setAttribute('data-ran','1')";
        const QString secret = m_out.filePath("secret.png");
        QTest::newRow("script") << "<p>before <script>" + mark + "</script> after</p>" << QStringList { "before", "after" }
                                << QStringList() << QStringList() << false;
        QTest::newRow("onerror") << "<img src=missing.png onerror=\"" + mark + "\"> caption words"
                                 << QStringList { "caption", "words" } << QStringList() << QStringList() << false;
        QTest::newRow("javascript link") << "<a href=\"javascript:" + mark + "\">click here</a>"
                                         << QStringList { "click", "here" } << QStringList() << QStringList() << false;
        QTest::newRow("svg onload") << "<svg onload=\"" + mark + "\"><text>vector words</text></svg>"
                                    << QStringList { "vector", "words" } << QStringList() << QStringList() << false;
        QTest::newRow("frame") << "<iframe srcdoc=\"<script>parent." + mark + "</script>\"></iframe> frame words"
                               << QStringList { "frame", "words" } << QStringList() << QStringList() << false;
        QTest::newRow("style with url") << "<span style=\"background:url(javascript:x);position:fixed;color:red\">styled words</span>"
                                        << QStringList { "styled", "words" } << QStringList() << QStringList() << false;
        QTest::newRow("local file") << "<img src=\"" + secret + "\"> <img src=\"" + QUrl::fromLocalFile(secret).toString()
                                           + "\"> <img src=\"images/../../secret.png\"> local words"
                                    << QStringList { "local", "words" } << QStringList() << QStringList() << false;
        QTest::newRow("the editor's own markup")
            << "<p style=\" margin-top:0px;\"><span style=\" font-weight:600;\">bold</span> <a href=\"#hl7\""
               " style=\"background-color:#A7E4FB;color:#333333;\">marked</a><br/><a href=\"" + kPicture + "\"><img src=\""
               + kPicture + "\" width=\"19\" height=\"11\"></img></a> end</p>"
            << QStringList { "bold", "marked", "end" } << QStringList { kPicture }
            << QStringList { "#hl7", kPicture } << false;
        QTest::newRow("web page pasted")
            << "<h2>Meeting notes</h2><p>See <a href=\"https://example.org/agenda?id=7&amp;x=1\">the agenda</a> today.</p>"
               "<ul><li>first point</li><li>second point<ol><li>nested item</li></ol></li></ul>"
               "<table border=\"1\" cellpadding=\"4\" width=\"90%\"><tr><th>Name</th><th>Role</th></tr>"
               "<tr><td>Ann</td><td colspan=\"1\">chair</td></tr></table><p>H<sub>2</sub>O <u>under</u> <s>struck</s></p>"
            << QStringList { "Meeting", "agenda", "first", "second", "nested", "Name", "Role", "Ann", "chair", "struck" }
            << QStringList() << QStringList { "https://example.org/agenda?id=7&x=1" } << true;
        QTest::newRow("long preformatted line") << "<pre>" + QString("code ").repeated(60) + "last</pre>"
                                                << QStringList { "code", "last" } << QStringList() << QStringList() << true;
        QTest::newRow("link targets behind blanks and controls")
            << "<a href=\" &#10;HTTPS://example.org/x\">loose</a> <a href=\"java&#9;script:" + mark + "\">tabbed</a> "
               "<a href=\"data:text/html,x\">data</a> <a href=\"file:///etc/passwd\">file</a> <a href=\"other.html\">relative</a>"
            << QStringList { "loose", "tabbed", "data", "file", "relative" } << QStringList()
            << QStringList { "HTTPS://example.org/x" } << false;
        // Each would take the PDF layout minutes or thousands of pages.
        QTest::newRow("line height") << "<p style=\"line-height:99999999%\">one<br/>two</p><p style=\"line-height:9999999px\">three<br/>four</p>"
                                     << QStringList { "one", "two", "three", "four" } << QStringList() << QStringList() << false;
        QTest::newRow("letter spacing") << "<p><span style=\"letter-spacing:99999999px; word-spacing:99999999px\">spaced out words</span></p>"
                                        << QStringList { "spaced", "out", "words" } << QStringList() << QStringList() << false;
        QTest::newRow("cell width")
            << "<table width=\"99999999\" cellpadding=\"99999\" cellspacing=\"99999\" border=\"99999\"><tr><td width=\"99999999\">wide</td>"
               "<td colspan=\"99999\">cell</td></tr></table>"
            << QStringList { "wide", "cell" } << QStringList() << QStringList() << false;
        QTest::newRow("pushed past the bubble")
            << QString("<ul style=\"-qt-list-indent:9; margin-left:99px\"><li style=\"margin-left:99px\">").repeated(9)
                   + "listed</li></ul></li></ul></li></ul></li></ul></li></ul></li></ul></li></ul></li></ul></li></ul>"
                     "<table border=\"99\" cellpadding=\"99\" cellspacing=\"99\"><tr><td width=\"1000\">first</td>"
                     "<td width=\"1000\">middle</td><td width=\"1000\">last</td></tr></table>"
            << QStringList { "listed", "first", "middle", "last" } << QStringList() << QStringList() << false;
        QTest::newRow("tables in cells")
            << "<table><tr>" + QString("<td><table><tr>" + QString("<td>b</td>").repeated(20) + "</tr></table></td>").repeated(19)
                   + "<td>jq</td></tr></table>"
            << QStringList { "jq" } << QStringList() << QStringList() << false;
        QTest::newRow("nested tables") << QString("<table><tr><td>").repeated(30) + "deep table"
                                       << QStringList { "deep", "table" } << QStringList() << QStringList() << false;
        QTest::newRow("nested lists") << QString("<ul><li>").repeated(40) + "deep list"
                                      << QStringList { "deep", "list" } << QStringList() << QStringList() << false;
        // Words the editor's reader drops, or draws in no colour.
        QTest::newRow("words beside the cells")
            << "<table><caption>caption words</caption><tr>row words<td rowspan=\"20\" colspan=\"20\">wide</td></tr>"
               "<tr><td>spanned out</td></tr></table>"
            << QStringList { "caption", "row", "wide", "spanned" } << QStringList() << QStringList() << false;
        QTest::newRow("paragraph marked empty") << "<p style=\"-qt-paragraph-type:empty\">marked words</p>"
                                                << QStringList { "marked", "words" } << QStringList() << QStringList() << false;
        QTest::newRow("transparent colours")
            << "<span style=\"color:transparent\">clear</span> <span style=\"color:rgba(0,0,0,0)\">rgba</span> "
               "<span style=\"color:hsla(0,0%,0%,0)\">hsla</span> <span style=\"color:#00333333\">hex</span> "
               "<span style=\"color:rgba(0,0,0,2)\">faint</span>"
            << QStringList { "clear", "rgba", "hsla", "hex", "faint" } << QStringList() << QStringList() << false;
    }

    // Stored by another program, and saved through the editor's save path:
    // both leave only what the editor writes, with every word.
    void markupFromElsewhere()
    {
        QFETCH(QString, html);
        QFETCH(QStringList, words);
        QFETCH(QStringList, pictures);
        QFETCH(QStringList, links);
        QFETCH(bool, pasted);
        emptyProject();
        if (pasted)
            html = pastedIntoEditor(html);
        m_project.addSeg(html, 1, 1);
        QString saved = html;
        QVERIFY(m_project.db().updateSegHtml(m_project.addSeg("x", 2, 1), saved));
        // The editor reads back what it wrote.
        if (pasted)
            QCOMPARE(readAgainByEditor(saved), html);

        const QString html5 = exportAs("HTML Files(*.html)");
        QVERIFY(!html5.isEmpty());
        const QString dom = TestUtil::run("chromium", { "--headless", "--no-sandbox", "--disable-gpu",
                                                         "--virtual-time-budget=2000", "--dump-dom",
                                                         QUrl::fromLocalFile(html5 + "/Talk.html").toString() });
        const QString body = dom.mid(dom.indexOf("<body"));
        QVERIFY2(body.contains("</body>"), qPrintable(dom));
        QVERIFY2(!body.contains("data-ran") && !body.contains("<script") && !body.contains("<iframe"), qPrintable(body));
        QVERIFY2(!body.contains(QRegularExpression("<[^>]*\\son\\w+=")), qPrintable(body));
        QVERIFY2(!body.contains("javascript:") && !body.contains("url(") && !body.contains("position"), qPrintable(body));
        QStringList shown;
        for (auto it = QRegularExpression("<img[^>]*src=\"([^\"]*)\"").globalMatch(body); it.hasNext();)
            shown << it.next().captured(1);
        QCOMPARE(shown, pictures + pictures);
        QStringList hrefs;
        for (auto it = QRegularExpression("<a[^>]*href=\"([^\"]*)\"").globalMatch(body); it.hasNext();)
            hrefs << it.next().captured(1).replace("&amp;", "&");
        QCOMPARE(hrefs, links + links);
        const QString text = QString(body).remove(QRegularExpression("<[^>]*>"));
        for (const QString &w : words)
            QVERIFY2(text.count(w) >= 2, qPrintable(w + " missing from " + text));

        const QString pdf = exportAs("PDF Files(*.pdf)");
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(pdfPictures(pdf + "/Talk.pdf").filter(QRegularExpression("^(37x23|19x11)$")),
                 QStringList(pictures.isEmpty() ? QStringList() : QStringList { "19x11", "19x11" }));
        const QString pdfWords = TestUtil::run("pdftotext", { pdf + "/Talk.pdf", "-" });
        QCOMPARE(invisibleWords(pdf + "/Talk.pdf"), QStringList());

        const QString txt = exportAs("Text Files(*.txt)");
        QVERIFY(!txt.isEmpty());
        const QString txtWords = QString::fromUtf8(TestUtil::readFile(txt + "/Talk.txt"));
        const QString docx = exportAs("Doc Files(*.docx)");
        QVERIFY(!docx.isEmpty());
        const QString docxWords = TestUtil::readDocx(docx + "/Talk.docx").texts().join('\n');
        for (const QString &w : words) {
            QVERIFY2(pdfWords.count(w) >= 2, qPrintable(w + " missing from " + pdfWords));
            QVERIFY2(txtWords.count(w) >= 2, qPrintable(w + " missing from " + txtWords));
            QVERIFY2(docxWords.count(w) >= 2, qPrintable(w + " missing from " + docxWords));
        }
    }

    void linksReachThePdfWhole_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<int>("links"); // in one paragraph
        for (const char *href : { "https://en.wikipedia.org/wiki/Smile_:-)", "https://example.com/a(b", "https://example.com/a\\b",
                                  "https://x.example/a)>>/A<</S/JavaScript/JS(app.alert(1))/Z(", "https://example.org/stra\u00dfe/\u20ac" })
            QTest::newRow(href) << QString::fromUtf8(href) << 1;
        // Their rewrite takes time in step with them, within the export's watchdog.
        QTest::newRow("30,000 links beyond ASCII") << QString::fromUtf8("https://example.org/stra\u00dfe/\u20ac") << 30000;
    }

    // qpdf reads back a well-formed file whose every link only opens its target.
    void linksReachThePdfWhole()
    {
        QFETCH(QString, href);
        QFETCH(int, links);
        emptyProject();
        m_project.addSeg("<p>" + QString("see <a href=\"" + href.toHtmlEscaped() + "\">the link</a> ").repeated(links) + "</p>", 1, 1);
        const QString pdf = exportAs("PDF Files(*.pdf)") + "/Talk.pdf";
        int code = -1;
        TestUtil::run("qpdf", { "--check", pdf }, {}, &code);
        QCOMPARE(code, 0);
        QStringList targets;
        const QString json = TestUtil::run("qpdf", { "--json=2", "--json-key=qpdf", pdf });
        for (const QJsonValue &object : QJsonDocument::fromJson(json.toUtf8())["qpdf"][1].toObject()) {
            const QJsonValue link = object["value"];
            if (link["/Subtype"] == "/Link") {
                QCOMPARE(link["/A"].toObject().keys(), QStringList({ "/S", "/Type", "/URI" }));
                QCOMPARE(link["/A"]["/S"], QJsonValue("/URI"));
                targets << QUrl::fromPercentEncoding(link["/A"]["/URI"].toString().mid(2).toUtf8()); // "u:" and the text
            }
        }
        targets.removeDuplicates();
        QCOMPARE(targets, QStringList { href });
    }

    void forbiddenCharacters_data()
    {
        QTest::addColumn<QString>("bad");
        QTest::newRow("lone high surrogate and a control") << QString(QChar(0xD800)) + "\x01";
        QTest::newRow("control and a lone low surrogate") << QString("\x02") + QChar(0xDC00);
        QTest::newRow("NUL") << QString::fromUtf8("\0", 1);
        QTest::newRow("C0 controls") << QString("\x08\x0b\x0c\x0e\x1b\x1f");
        QTest::newRow("noncharacters") << QString("\uFFFE\uFFFF");
    }

    // Word parts stay well-formed XML, the web page holds none of them, and
    // every word after them is kept.
    void forbiddenCharacters()
    {
        QFETCH(QString, bad);
        emptyProject();
        // Stored text cannot hold a broken surrogate, but a character
        // reference in a segment's markup can name one.
        QString refs;
        for (const QChar c : bad)
            refs += QStringLiteral("&#x%1;").arg(c.unicode(), 0, 16);
        const qint64 seg = m_project.addSeg("<p>segment" + bad + "middle" + refs + "last</p>", 1, 1);
        QVERIFY(m_project.db().updateSpeakerName(1, "name" + bad + "end"));
        const qint64 cid = m_project.db().addCItem(seg, "comment" + bad + "rest", 2).value("id").toLongLong();
        QVERIFY(m_project.db().addComment(cid, "reply" + bad + "more\nsecond line"));

        const QString docx = exportAs("Doc Files(*.docx)");
        QVERIFY(!docx.isEmpty());
        QStringList texts;
        for (const QString &name : { QString("Talk.docx"), QString("Highlights_and_Comments.docx") }) {
            const TestUtil::DocxPackage pkg = TestUtil::readDocx(docx + '/' + name);
            QCOMPARE(pkg.parts.size(), 11);
            for (auto it = pkg.parts.cbegin(); it != pkg.parts.cend(); ++it) {
                int code = 0;
                TestUtil::run("xmllint", { "--noout", "-" }, it.value(), &code);
                QVERIFY2(code == 0, qPrintable(name + ": " + it.key()));
            }
            texts << pkg.texts();
        }
        for (const char *w : { "segment", "middle", "last", "name", "end", "comment", "rest", "reply", "more", "second line" })
            QVERIFY2(texts.join('\n').contains(w), w);

        const QString page = exportAs("HTML Files(*.html)");
        QVERIFY(!page.isEmpty());
        for (const QString &name : { QString("Talk.html"), QString("Highlights_and_Comments.html") }) {
            const QByteArray bytes = TestUtil::readFile(page + '/' + name);
            QTextCodec::ConverterState state;
            const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
            QCOMPARE(state.invalidChars, 0);
            // Neither the characters nor a stand-in for them.
            QVERIFY2(!text.contains(QRegularExpression("[\\x{0}-\\x{8}\\x{b}\\x{c}\\x{e}-\\x{1f}\\x{fffd}-\\x{ffff}]")),
                     qPrintable(name));
        }
    }
};

QTEST_MAIN(TestExportHostileText)
#include "tst_export_hostile_text.moc"

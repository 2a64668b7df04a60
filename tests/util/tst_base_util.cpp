#include "common/TestUtil.h"
#include "util/BaseUtil.h"

#include <QClipboard>
#include <QDomDocument>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMetaMethod>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlComponent>
#include <QQuickTextDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>
#include <QtTest>

namespace {

// Everything a reader of the stored text sees: its plain text and the
// pictures it shows.
QString visibleText(const QString &html)
{
    QTextDocument doc;
    doc.setHtml(html);
    QString out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b != doc.begin())
            out += '\n';
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().isImageFormat())
                out += "[img:" + f.charFormat().toImageFormat().name() + ']';
            else
                out += f.text();
        }
    }
    return out;
}

// What the QML editor gives back for a stored segment text.
QString throughEditor(const QString &html)
{
    QTextDocument doc;
    doc.setHtml(html);
    return doc.toHtml();
}

}

class TestBaseUtil : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void invokablesInOrder();
    void formatSecs_data();
    void formatSecs();
    void formatMSecs_data();
    void formatMSecs();
    void toHex_data();
    void toHex();
    void genUUID();
    void fileNameAndExt_data();
    void fileNameAndExt();
    void urlFromLocal();
    void totalMemoryMatchesProc();

    void html2text_data();
    void html2text();
    void htmlBody_data();
    void htmlBody();
    void htmlBodyOfEditorDocument();
    void htmlBodyRoundTrip();
    void htmlBodyKeepsTypedText_data();
    void htmlBodyKeepsTypedText();
    void htmlBodyAttributeEscaping();

    void saveImg();
    void saveImgFailures_data();
    void saveImgFailures();
    void clipboard();

    void textEditReplaceSel();
    void textEditAppendBoldFormat();

    void qmlLoadAndRootProperty();

private:
    QQuickTextDocument *makeEditor(const QString &html);
    QQmlEngine m_qml;
    QList<QObject *> m_editors;
};

void TestBaseUtil::initTestCase()
{
    TestUtil::requireSandboxedHome();
}

void TestBaseUtil::invokablesInOrder()
{
    // QML reaches these by name; the order is part of the meta-object.
    const QStringList expected{"formatSecs", "formatMSecs", "toHex", "copyText", "clipboardHasImage",
                               "saveClipboardImage", "textEditReplaceSel", "textEditAppendBoldFormat", "genUUID",
                               "fileExt", "fileName", "saveImg", "html2text", "htmlBody", "qmlLoad",
                               "qmlSetRootProperty", "urlFromLocal", "totalMemory", "textEditAppendHighlightFormat",
                               "textEditLinkRange"};
    const QMetaObject &mo = BaseUtil::staticMetaObject;
    QStringList names;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        names << QString::fromLatin1(mo.method(i).name());
    QCOMPARE(names, expected);
}

void TestBaseUtil::formatSecs_data()
{
    QTest::addColumn<int>("secs");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "00:00:00";
    QTest::newRow("59") << 59 << "00:00:59";
    QTest::newRow("3723") << 3723 << "01:02:03";
    QTest::newRow("100 hours") << 360000 << "100:00:00";
}

void TestBaseUtil::formatSecs()
{
    QFETCH(int, secs);
    QFETCH(QString, text);
    QCOMPARE(BaseUtil::formatSecs(secs), text);
}

void TestBaseUtil::formatMSecs_data()
{
    QTest::addColumn<qlonglong>("msecs");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0LL << "00:00:00,000";
    QTest::newRow("1500") << 1500LL << "00:00:01,500";
    QTest::newRow("59999") << 59999LL << "00:00:59,999";
    QTest::newRow("3723004") << 3723004LL << "01:02:03,004";
    QTest::newRow("100 hours") << 360000000LL << "100:00:00,000";
    QTest::newRow("past 32 bits") << 1000000000000LL << "277777:46:40,000";
}

void TestBaseUtil::formatMSecs()
{
    QFETCH(qlonglong, msecs);
    QFETCH(QString, text);
    QCOMPARE(BaseUtil::formatMSecs(msecs), text);
}

void TestBaseUtil::toHex_data()
{
    QTest::addColumn<QString>("str");
    QTest::addColumn<QString>("hex");
    QTest::newRow("ascii") << "abc" << "616263";
    QTest::newRow("utf-8") << QString::fromUtf8("é中") << "c3a9e4b8ad";
    QTest::newRow("empty") << QString() << QString();
}

void TestBaseUtil::toHex()
{
    QFETCH(QString, str);
    QFETCH(QString, hex);
    QCOMPARE(BaseUtil::toHex(str), hex);
}

void TestBaseUtil::genUUID()
{
    const QRegularExpression form("^[0-9a-f]{32}$");
    QSet<QString> seen;
    for (int i = 0; i < 50; ++i) {
        const QString id = BaseUtil::genUUID();
        QVERIFY2(form.match(id).hasMatch(), qPrintable(id));
        seen.insert(id);
    }
    QCOMPARE(seen.size(), 50);
}

void TestBaseUtil::fileNameAndExt_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::newRow("file url") << "file:///tmp/pics/b.PNG" << "b.PNG" << "PNG";
    QTest::newRow("path") << "/home/u/talk.final.mp3" << "talk.final.mp3" << "mp3";
    QTest::newRow("no dot") << "/home/u/README" << "README" << "";
    QTest::newRow("spaces") << "file:///a/my talk.wav" << "my talk.wav" << "wav";
}

void TestBaseUtil::fileNameAndExt()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QCOMPARE(BaseUtil::fileName(url), name);
    QCOMPARE(BaseUtil::fileExt(url), ext);
}

void TestBaseUtil::urlFromLocal()
{
    const QString url = BaseUtil::urlFromLocal("/tmp/my projects/ä b");
    QCOMPARE(url, QString::fromUtf8("file:///tmp/my projects/ä b"));
    QCOMPARE(QUrl(url).toLocalFile(), QString::fromUtf8("/tmp/my projects/ä b"));
}

void TestBaseUtil::totalMemoryMatchesProc()
{
    QFile f("/proc/meminfo");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QRegularExpression re("^MemTotal:\\s+(\\d+) kB", QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(f.readAll()));
    QVERIFY(m.hasMatch());
    QCOMPARE(BaseUtil::totalMemory(), m.captured(1).toULongLong() * 1024);
}

void TestBaseUtil::html2text_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("entities") << "<p> a &lt;c&gt; R&amp;D &quot;q&quot;</p>" << "a <c> R&D \"q\"";
    QTest::newRow("paragraphs") << "<p>one</p><p>two</p>" << "one\ntwo";
    QTest::newRow("line break") << " one<br/> two" << "one\ntwo";
    QTest::newRow("white space") << "a   \n  b" << "a b";
    QTest::newRow("highlight anchor") << "<a href=\"hl:1\"><span> word</span></a>" << "word";
    QTest::newRow("picture") << "a <img src=\"images/x.png\"/> b" << "a  b";
}

void TestBaseUtil::html2text()
{
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(BaseUtil::html2text(html), text);
}

void TestBaseUtil::htmlBody_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("body");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("words and a break") << "hello<br/>world" << "hello<br/>world";
    QTest::newRow("upper-case break") << "a<BR/>b" << "a<br/>b";
    QTest::newRow("escaped text") << "<p>a &lt;c&gt; R&amp;D</p>" << "<p>a &lt;c&gt; R&amp;D</p>";
    QTest::newRow("quote in text") << "say &quot;hi&quot;" << "say \"hi\"";
    QTest::newRow("cdata") << "<p><![CDATA[x < y]]></p>" << "<p>x &lt; y</p>";
    QTest::newRow("comment and pi dropped") << "a<!-- note --><?pi x?>b" << "ab";
    QTest::newRow("head and style dropped") << "<HTML><HEAD><TITLE>t</TITLE></HEAD><Style>p{}</Style><BODY><P>x</P></BODY></HTML>"
                                            << "<P>x</P>";
    QTest::newRow("after body ignored") << "<html><body><p>in</p></body><p>out</p></html>" << "<p>in</p>";
    QTest::newRow("empty element") << "<p><img src=\"images/0123456789abcdef0123456789abcdef.png\"/></p>"
                                   << "<p><img src=\"images/0123456789abcdef0123456789abcdef.png\"></img></p>";
    QTest::newRow("part of a word bold") << "he<span style=\" font-weight:600;\">llo</span>"
                                         << "he<span style=\" font-weight:600;\">llo</span>";
    QTest::newRow("blank between runs") << "<b>a</b> <b>b</b>" << "<b>a</b> <b>b</b>";
    QTest::newRow("spaces and tabs kept") << "<p>a   b\tc</p>" << "<p><span style=\"white-space:pre-wrap;\">a   b\tc</span></p>";
    QTest::newRow("stored by older versions") << " hello<br/> world" << " hello<br/> world";
    QTest::newRow("highlight link ending in a line feed") << "<a href=\"#hl1&#10;\">x</a>" << "x";
    QTest::newRow("page or drawing in images") << "<a href=\"images/0123456789abcdef0123456789abcdef.html\">x</a>"
                                                  "<img src=\"images/0123456789abcdef0123456789abcdef.svg\"/>"
                                               << "x";
    QTest::newRow("font too small to read") << "<span style=\"font-size:0;color:red\">a</span><b style=\"font-size:2%\">b</b>"
                                            << "<span style=\"color:red\">a</span><b>b</b>";
    // The editor writes a list item's own style and its block's apart.
    QTest::newRow("list item with two styles")
        << "<ol><li style=\" font-weight:600;\" style=\" margin-top:0px; -qt-block-indent:2; text-indent:12px;\">x</li></ol>"
        << "<ol><li style=\" font-weight:600; margin-top:0px; -qt-block-indent:2; text-indent:12px;\">x</li></ol>";
    QTest::newRow("text moved out of sight")
        << "<p style=\"margin-left:999px;-qt-block-indent:99;white-space:nowrap\">a</p><p style=\" margin-top:12px; text-indent:0px;\">b</p>"
        << "<p>a</p><p style=\" margin-top:12px; text-indent:0px;\">b</p>";
}

void TestBaseUtil::htmlBody()
{
    QFETCH(QString, raw);
    QFETCH(QString, body);
    QCOMPARE(BaseUtil::htmlBody(raw), body);
    // Its own output comes back unchanged.
    QCOMPARE(BaseUtil::htmlBody(body), body);
}

void TestBaseUtil::htmlBodyOfEditorDocument()
{
    QTextDocument doc;
    doc.setHtml("<p>first <img src=\"images/0123456789abcdef0123456789abcdef.png\"/></p><p>second</p>");
    const QString full = doc.toHtml();
    QVERIFY(full.contains("<head>") && full.contains("<!DOCTYPE"));

    const QString body = BaseUtil::htmlBody(full);
    for (const char *gone : {"DOCTYPE", "<head", "<meta", "<style", "white-space", "<body", "<html", "font-family"})
        QVERIFY2(!body.contains(gone), gone);
    QVERIFY(body.contains("<img src=\"images/0123456789abcdef0123456789abcdef.png\"></img>"));
    QVERIFY(body.startsWith("<p style="));
    QCOMPARE(body.count("<p "), 2);
    QCOMPARE(visibleText(body), QString("first [img:images/0123456789abcdef0123456789abcdef.png]\nsecond"));
}

void TestBaseUtil::htmlBodyRoundTrip()
{
    // What a user types into a segment, with a picture beside it.
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText("a <c> R&D said \"yes\" & 'no' > 1");
    c.insertImage("images/0123456789abcdef0123456789abcdef.png");
    c.insertBlock();
    c.insertText("<b>not bold</b>");
    const QString expectedVisible = "a <c> R&D said \"yes\" & 'no' > 1[img:images/0123456789abcdef0123456789abcdef.png]\n"
                                    "<b>not bold</b>";
    QCOMPARE(visibleText(doc.toHtml()), expectedVisible);

    // Stored, loaded into the editor and stored again, any number of times.
    const QString stored = BaseUtil::htmlBody(doc.toHtml());
    QCOMPARE(visibleText(stored), expectedVisible);
    QCOMPARE(BaseUtil::html2text(stored), doc.toPlainText().remove(QChar::ObjectReplacementCharacter));

    QString again = stored;
    for (int i = 0; i < 3; ++i) {
        again = BaseUtil::htmlBody(throughEditor(again));
        QCOMPARE(visibleText(again), expectedVisible);
    }
    QCOMPARE(again, stored);
    QCOMPARE(BaseUtil::htmlBody(stored), stored);

    // The stored form is well-formed markup.
    QDomDocument dom;
    QString err;
    QVERIFY2(dom.setContent("<html>" + stored + "</html>", &err), qPrintable(err));
}

void TestBaseUtil::htmlBodyKeepsTypedText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("boldFrom");
    QTest::addColumn<int>("boldTo");
    QTest::newRow("part of a word bold") << "hello" << 2 << 5;
    QTest::newRow("runs of spaces and tabs") << "a   b\t\tc  d" << -1 << -1;
    QTest::newRow("blanks around a bold word") << "one  two   three" << 5 << 8;
    QTest::newRow("pasted: non-breaking space, markup characters") << QString("a\u00a0b <c> & d") << -1 << -1;
}

void TestBaseUtil::htmlBodyKeepsTypedText()
{
    QFETCH(QString, typed);
    QFETCH(int, boldFrom);
    QFETCH(int, boldTo);
    BaseUtil util;
    QQuickTextDocument *doc0 = makeEditor("");
    QVERIFY(doc0);
    QTextCursor(doc0->textDocument()).insertText(typed);
    util.textEditAppendBoldFormat(doc0, boldFrom, boldTo);

    // Saved, shown again and saved again: the same text every time.
    QString stored = BaseUtil::htmlBody(doc0->textDocument()->toHtml());
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(BaseUtil::html2text(stored), QString(typed).replace(QChar::Nbsp, ' '));
        QCOMPARE(visibleText(stored), typed);
        stored = BaseUtil::htmlBody(throughEditor(stored));
    }
}

void TestBaseUtil::htmlBodyAttributeEscaping()
{
    const QString raw = "<span style='font-family:&quot;A B&quot;, &apos;C&apos;'>t</span>";
    const QString body = BaseUtil::htmlBody(raw);
    QVERIFY2(body.contains("style=\"font-family:&quot;A B&quot;, 'C'\""), qPrintable(body));
    QDomDocument dom;
    QVERIFY(dom.setContent(body));
    QCOMPARE(dom.documentElement().attribute("style"), QString("font-family:\"A B\", 'C'"));
}

void TestBaseUtil::saveImg()
{
    QTemporaryDir dir;
    const QString src = dir.filePath("src.png");
    QImage img(7, 5, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(src));

    BaseUtil util;
    const QString target = dir.filePath("project/images/" + BaseUtil::genUUID() + ".jpg");
    QCOMPARE(util.saveImg(QUrl::fromLocalFile(src).toString(), QUrl::fromLocalFile(target).toString()), QSize(7, 5));
    // Re-encoded in the format the target names.
    QFile f(target);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(3).startsWith("\xFF\xD8\xFF"));
    QCOMPARE(QImage(target).size(), QSize(7, 5));
}

void TestBaseUtil::saveImgFailures_data()
{
    QTest::addColumn<QString>("source"); // relative to the temporary folder
    QTest::addColumn<QString>("target");
    QTest::newRow("missing source") << "nothing.png" << "out.png";
    QTest::newRow("not a picture") << "text.png" << "out.png";
    QTest::newRow("unknown target format") << "src.png" << "out.zzz";
}

void TestBaseUtil::saveImgFailures()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    QTemporaryDir dir;
    QImage img(3, 3, QImage::Format_RGB32);
    img.fill(Qt::blue);
    QVERIFY(img.save(dir.filePath("src.png")));
    QVERIFY(TestUtil::writeFile(dir.filePath("text.png"), "just text"));

    BaseUtil util;
    QCOMPARE(util.saveImg(QUrl::fromLocalFile(dir.filePath(source)).toString(),
                          QUrl::fromLocalFile(dir.filePath(target)).toString()),
             QSize(0, 0));
    QVERIFY(!QFile::exists(dir.filePath(target)));
}

void TestBaseUtil::clipboard()
{
    BaseUtil util;
    QClipboard *cb = QGuiApplication::clipboard();
    QTemporaryDir dir;
    const QString target = QUrl::fromLocalFile(dir.filePath("images/pasted.jpg")).toString();

    util.copyText("copied text");
    QTRY_COMPARE(cb->text(), QString("copied text"));
    QVERIFY(!util.clipboardHasImage());
    QCOMPARE(util.saveClipboardImage(target), QSize(0, 0));
    QVERIFY(!QFile::exists(dir.filePath("images/pasted.jpg")));

    QImage img(11, 4, QImage::Format_RGB32);
    img.fill(Qt::green);
    cb->setImage(img);
    QTRY_VERIFY(util.clipboardHasImage());
    QCOMPARE(util.saveClipboardImage(target), QSize(11, 4));
    QCOMPARE(QImage(dir.filePath("images/pasted.jpg")).size(), QSize(11, 4));
}

QQuickTextDocument *TestBaseUtil::makeEditor(const QString &html)
{
    QQmlComponent comp(&m_qml);
    comp.setData("import QtQuick 2.9\nTextEdit { textFormat: TextEdit.RichText }", QUrl());
    QObject *edit = comp.create();
    if (!edit) {
        qWarning() << comp.errors();
        return nullptr;
    }
    m_editors << edit;
    edit->setProperty("text", html);
    return edit->property("textDocument").value<QQuickTextDocument *>();
}

void TestBaseUtil::textEditReplaceSel()
{
    BaseUtil util;
    QQuickTextDocument *doc0 = makeEditor("hello world");
    QVERIFY(doc0);
    QTextDocument *doc = doc0->textDocument();

    util.textEditReplaceSel(doc0, 0, 5, "<a href=\"hl:1\">bye</a>");
    QCOMPARE(doc->toPlainText(), QString("bye world"));
    QCOMPARE(doc->defaultStyleSheet(), QString("a {text-decoration:none;}"));
    QTextCursor c(doc);
    c.setPosition(1);
    QCOMPARE(c.charFormat().anchorHref(), QString("hl:1"));

    // An empty or reversed range inserts at the start without replacing.
    util.textEditReplaceSel(doc0, 4, 4, "<b>big</b> ");
    QCOMPARE(doc->toPlainText(), QString("bye big world"));
    util.textEditReplaceSel(doc0, 3, 1, "!");
    QCOMPARE(doc->toPlainText(), QString("bye! big world"));

    util.textEditReplaceSel(nullptr, 0, 1, "x"); // no editor: nothing happens
}

void TestBaseUtil::textEditAppendBoldFormat()
{
    BaseUtil util;
    QQuickTextDocument *doc0 = makeEditor("hello world");
    QVERIFY(doc0);
    QTextDocument *doc = doc0->textDocument();
    auto weightAt = [doc](int pos) {
        QTextCursor c(doc);
        c.setPosition(pos);
        return c.charFormat().fontWeight();
    };

    const QString before = doc->toHtml();
    util.textEditAppendBoldFormat(doc0, 3, 3);
    QCOMPARE(doc->toHtml(), before);

    util.textEditAppendBoldFormat(doc0, 6, 11);
    QCOMPARE(weightAt(7), 75);
    QVERIFY(weightAt(3) != 75);
    // Applying it again keeps it bold.
    util.textEditAppendBoldFormat(doc0, 6, 11);
    QCOMPARE(weightAt(7), 75);
    QCOMPARE(doc->toPlainText(), QString("hello world"));
}

void TestBaseUtil::qmlLoadAndRootProperty()
{
    BaseUtil util;
    QObject probe;
    probe.setObjectName("probe-object");

    // Without an engine both are harmless.
    BaseUtil::setEngine(nullptr);
    util.qmlSetRootProperty("probe", &probe);
    util.qmlLoad("qrc:/nothing.qml");

    QTemporaryDir dir;
    const QString qml = dir.filePath("Dock.qml");
    QVERIFY(TestUtil::writeFile(qml, "import QtQml 2.0\nQtObject { property string seen: probe.objectName }\n"));

    QQmlApplicationEngine engine;
    BaseUtil::setEngine(&engine);
    util.qmlSetRootProperty("probe", &probe);
    util.qmlLoad(qml);
    util.qmlLoad(QUrl::fromLocalFile(qml).toString());
    QCOMPARE(engine.rootObjects().size(), 2);
    QCOMPARE(engine.rootObjects().at(0)->property("seen").toString(), QString("probe-object"));

    // A published object that goes away leaves null behind, but only while
    // the name still holds it.
    auto *gone = new QObject;
    util.qmlSetRootProperty("probe", gone);
    QCOMPARE(engine.rootContext()->contextProperty("probe").value<QObject *>(), gone);
    delete gone;
    QVERIFY(engine.rootContext()->contextProperty("probe").value<QObject *>() == nullptr);
    auto *old = new QObject;
    util.qmlSetRootProperty("probe", old);
    util.qmlSetRootProperty("probe", &probe);
    delete old;
    QCOMPARE(engine.rootContext()->contextProperty("probe").value<QObject *>(), &probe);
    BaseUtil::setEngine(nullptr);
}

QTEST_MAIN(TestBaseUtil)
#include "tst_base_util.moc"

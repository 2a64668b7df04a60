// Starts the application's window exactly as the program does, walks through
// its main views and saves one PNG per view into the folder given as the
// first argument. scripts/screenshots.sh runs it on a private X server.

#include "app/AppShell.h"
#include "app/CheckUpdateThread.h"
#include "export/ExportHandlingItemModel.h"
#include "projects/JsonFile.h"
#include "projects/ProjectsMgr.h"
#include "storage/LangDb.h"
#include "storage/VoskProDb.h"
#include "util/BaseUtil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace {

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QVariant eval(QObject *root, const QString &js)
{
    QQmlExpression expr(qmlContext(root), root, js);
    const QVariant v = expr.evaluate();
    if (expr.hasError())
        std::fprintf(stderr, "%s: %s\n", qPrintable(js), qPrintable(expr.error().toString()));
    return v;
}

bool waitFor(QObject *root, const QString &js, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (eval(root, js).toBool())
            return true;
        settle(50);
    }
    std::fprintf(stderr, "timed out waiting for %s\n", qPrintable(js));
    return false;
}

QObject *findItem(QQuickItem *item, const QString &name)
{
    if (!item)
        return nullptr;
    if (item->objectName() == name)
        return item;
    for (QQuickItem *child : item->childItems())
        if (QObject *found = findItem(child, name))
            return found;
    return nullptr;
}

// A model endpoint on 127.0.0.1 that sends 42% of every archive and then
// stalls, so a download stays in progress while the popup is shown.
class StallingEndpoint : public QTcpServer
{
public:
    StallingEndpoint()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    if (!s->readAll().contains("\r\n\r\n"))
                        return;
                    s->write("HTTP/1.1 200 OK\r\nContent-Length: 41943040\r\n\r\n");
                    s->write(QByteArray(17616076, '\0'));
                });
            }
        });
    }
};

bool shoot(QQuickWindow *win, const QString &dir, const QString &name)
{
    settle(400); // let popups finish opening and images load
    const QImage img = win->grabWindow();
    const QString path = QDir(dir).absoluteFilePath(name + QStringLiteral(".png"));
    if (img.isNull() || !img.save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The first message of the open project playing: its play bar shows.
bool shootPlaying(QObject *root, QQuickWindow *win, const QString &outDir)
{
    const bool ok = eval(root, QStringLiteral("navUtil.currentPage.convModel.play(0)")).toBool()
        && waitFor(root, QStringLiteral("prosmgr.cp.playIdx === 0")) && shoot(win, outDir, QStringLiteral("project_playing"));
    eval(root, QStringLiteral("prosmgr.cp.playStop()"));
    return ok;
}

// The Projects page with a finished conversion and one that never ended (its
// row greyed), one of them ticked.
bool shootProjects(QObject *root, QQuickWindow *win, const QString &outDir)
{
    const QString rootUrl = ProjectsMgr::instance()->defaultRootUrl();
    const QString media = QUrl::fromLocalFile(QDir::home().absoluteFilePath(QStringLiteral("Documents/lecture.mp3"))).toString();
    const struct { const char *name; int status; } projects[] = { { "Board meeting", 1 }, { "Lecture recording", 0 } };
    for (const auto &p : projects) {
        const QString url = ProjectsMgr::instance()->createProject(QString::fromUtf8(p.name), rootUrl, QStringLiteral("en-s"), 0.5);
        const QString manifest = QDir(QUrl(url).toLocalFile()).absoluteFilePath(QStringLiteral("manifest"));
        QVariantMap m = readJsonFile(manifest);
        m.insert(QStringLiteral("convert"), p.status == 0 ? media : QString());
        m.insert(QStringLiteral("convert_status"), p.status);
        if (url.isEmpty() || !writeJsonFile(manifest, m))
            return false;
    }
    eval(root, QStringLiteral("navUtil.nav('Projects.qml', {})"));
    return waitFor(root, QStringLiteral("navUtil.currentPage.objectName === 'projectsPage' && navUtil.currentPage.list.count >= 2"))
        && eval(root, QStringLiteral("(function() { var m = navUtil.currentPage.model;"
                                     " m.setChecked(m.data(m.index(1, 0), 2).id, true); return true })()")).toBool()
        && shoot(win, outDir, QStringLiteral("projects"));
}

// A project holding an export and a file manager's notes of the user's
// beside its own files, deleted from its row's menu: the message names the
// user's files, which stayed.
bool shootDeleteKept(QObject *root, QQuickWindow *win, const QString &outDir)
{
    const QString url = ProjectsMgr::instance()->createProject(QStringLiteral("Client interview"),
                                                               ProjectsMgr::instance()->defaultRootUrl(), QStringLiteral("en-s"), 0.5);
    const QDir folder(QUrl(url).toLocalFile());
    for (const QString &name : { QStringLiteral("Client interview.docx"), QStringLiteral(".directory"), QStringLiteral("data.wav") }) {
        QFile f(folder.absoluteFilePath(name));
        if (url.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write("kept") != 4)
            return false;
    }
    const auto boxes = [root] { return root->findChildren<QObject *>(QStringLiteral("messageBox")); };
    const QString row = QStringLiteral("(function() { var m = navUtil.currentPage.model;"
                                       " for (var i = 0; i < m.rowCount(); ++i)"
                                       "  if (m.data(m.index(i, 0), 2).name === 'Client interview') return i;"
                                       " return -1 })()");
    eval(root, QStringLiteral("navUtil.nav('Projects.qml', {})"));
    const bool ok = waitFor(root, QStringLiteral("navUtil.currentPage.objectName === 'projectsPage' && %1 >= 0").arg(row))
        && eval(root, QStringLiteral("navUtil.currentPage.deleteProject(%1), true").arg(row)).toBool()
        && !boxes().isEmpty() && QMetaObject::invokeMethod(boxes().constFirst(), "answer", Q_ARG(QVariant, QStringLiteral("yes")))
        && waitFor(root, QStringLiteral("%1 < 0").arg(row)) && shoot(win, outDir, QStringLiteral("projects_deleted_kept"));
    for (QObject *box : boxes())
        QMetaObject::invokeMethod(box, "close");
    return ok;
}

// Three files chosen together on the home page, a short one, a long one and
// one that has gone missing: the batch page while the long one converts, and
// once the batch has ended.
bool shootBatch(QObject *root, QQuickWindow *win, const QString &outDir, const QString &speech)
{
    const QDir docs = QFileInfo(speech).dir();
    QStringList files;
    for (const QString &f : { speech, docs.filePath(QStringLiteral("lecture.wav")), docs.filePath(QStringLiteral("missing.mp3")) })
        files << QStringLiteral("'%1'").arg(QUrl::fromLocalFile(f).toString());
    eval(root, QStringLiteral("navUtil.nav('Home.qml', {})"));
    return waitFor(root, QStringLiteral("navUtil.currentPage !== null && navUtil.currentPage.objectName === 'homePage'"))
        && eval(root, QStringLiteral("(function() { var f = navUtil.currentPage.openSettings(2, [%1]); f.lang = 'en-s';"
                                     " return navUtil.currentPage.accept(f) })()").arg(files.join(QLatin1Char(','))))
               .toBool()
        && waitFor(root, QStringLiteral("navUtil.currentPage.objectName === 'convertFilesPage'"))
        && waitFor(root, QStringLiteral("(function() { var m = navUtil.currentPage.model;"
                                        " return m.finished === 1 && m.data(m.index(1, 0), 2).progress > 0 })()"), 60000)
        && shoot(win, outDir, QStringLiteral("batch_converting"))
        && waitFor(root, QStringLiteral("navUtil.currentPage.model.totalFinished"), 120000)
        && shoot(win, outDir, QStringLiteral("batch_converted"));
}

// Exports a project (a folder in the home folder) to Word with times and
// speakers into dir; scripts/screenshots.sh shows the document's first page.
bool exportDocx(const QString &project, const QString &dir)
{
    ExportHandlingItemModel m;
    m.setProjectUrls({ QUrl::fromLocalFile(QDir::home().absoluteFilePath(project)).toString() });
    m.setSaveRootUrl(QUrl::fromLocalFile(dir).toString());
    m.setExportType(QStringLiteral("Doc Files(*.docx)"));
    m.setWithTime(true);
    m.setWithSpeaker(true);
    m.init();
    for (int i = 0; i < 600 && !m.totalFinished(); ++i)
        settle(50);
    const QVariantMap row = m.data(m.index(0, 0), BatchHandlingItemModel::DRole).toMap();
    if (row.value(QStringLiteral("status")).toInt() != 1) {
        std::fprintf(stderr, "Word export failed: %s\n", qPrintable(row.value(QStringLiteral("err")).toString()));
        return false;
    }
    return true;
}

// A small two-speaker project, its export page, and an export of it to HTML
// with times, speakers and the highlights (scripts/screenshots.sh renders the
// exported page in a browser).
bool exportViews(QObject *root, QQuickWindow *win, const QString &outDir)
{
    const QString docs = QUrl::fromLocalFile(QDir::home().absoluteFilePath(QStringLiteral("Documents"))).toString();
    const QString url = ProjectsMgr::instance()->createProject(QStringLiteral("Weekly meeting"), docs,
                                                               QStringLiteral("en-s"), 0.5);
    VoskProDb db;
    if (url.isEmpty() || !db.open(QDir(QUrl(url).toLocalFile()).absoluteFilePath(QStringLiteral("data"))))
        return false;
    const auto speaker = [&](int axis, const QString &name) {
        VoskSpk vp(128, 0.0f);
        vp[axis] = 1.0f;
        const qint64 id = db.matchSpeaker(vp, 1000, 0).id;
        db.updateSpeakerName(id, name);
        return id;
    };
    const qint64 anna = speaker(0, QStringLiteral("Anna"));
    const qint64 ben = speaker(1, QStringLiteral("Ben"));
    const struct { const char *text; float start; qint64 spk; int device; } lines[] = {
        { "Good morning everyone, thanks for joining the weekly meeting.", 2.4f, anna, 2 },
        { "Morning! Shall we start with the release plan?", 7.9f, ben, 1 },
        { "Yes. The export to text and HTML is ready for testing,<br/>and the documentation follows next week.", 12.2f, anna, 2 },
        { "Great, I will ask the team to try it today.", 21.6f, ben, 1 },
    };
    qint64 first = 0;
    for (const auto &l : lines) {
        VoskProSeg seg;
        seg.html = QString::fromUtf8(l.text);
        seg.start = l.start;
        seg.end = l.start + 4;
        seg.spkId = l.spk;
        seg.device = l.device;
        const qint64 id = db.addSeg(seg, QStringLiteral("[]"), 0);
        first = first ? first : id;
    }
    const qint64 c = db.addCItem(first, QStringLiteral("thanks for joining"), 2).value(QStringLiteral("id")).toLongLong();
    db.addComment(c, QStringLiteral("Send the notes afterwards."));
    db.close();

    QObject *form = eval(root, QStringLiteral("Qt.createComponent('qrc:/ExportSetting.qml')"
                                              ".createObject(winroot, { projectUrls: ['%1'] })").arg(url))
                        .value<QObject *>();
    if (!form)
        return false;
    settle(300);
    eval(form, QStringLiteral("folderChosen('%1')").arg(docs));
    for (const char *name : { "withSpeakerSwitch", "withTimeSwitch", "withHLCMMTSwitch" }) {
        if (QObject *sw = findItem(form->property("contentItem").value<QQuickItem *>(), QString::fromLatin1(name)))
            sw->setProperty("checked", true);
    }
    QObject *types = findItem(form->property("contentItem").value<QQuickItem *>(), QStringLiteral("exportTypeBox"));
    const int html = types ? eval(types, QStringLiteral("find('HTML Files(*.html)')")).toInt() : -1;
    if (html < 0)
        return false;
    types->setProperty("currentIndex", html);
    if (!shoot(win, outDir, QStringLiteral("export_setting")))
        return false;
    eval(form, QStringLiteral("save()"));
    return waitFor(root, QStringLiteral("navUtil.currentPage.objectName === 'exportFileHandling'"
                                        " && navUtil.currentPage.model.totalFinished"))
        && shoot(win, outDir, QStringLiteral("export_done"));
}

// A live transcription of the computer's sound in a new project, with its
// control bar at the window's size.
bool shootTranscribe(QObject *root, QQuickWindow *win, const QString &outDir)
{
    eval(root, QStringLiteral("navUtil.nav('Home.qml', {})"));
    bool ok = waitFor(root, QStringLiteral("navUtil.currentPage.objectName === 'homePage'"))
        && eval(root, QStringLiteral("(function() { var f = navUtil.currentPage.openSettings(3, []);"
                                     " f.lang = 'en-s'; f.projectName = 'Meeting';"
                                     " return navUtil.currentPage.accept(f) })()"))
               .toBool()
        && waitFor(root, QStringLiteral("navUtil.currentPage.objectName === 'mainContentFrame' && prosmgr.cp !== null"))
        && waitFor(root, QStringLiteral("prosmgr.cp.isRunning === 1"), 30000)
        && shoot(win, outDir, QStringLiteral("project_transcribe"));
    eval(root, QStringLiteral("if (prosmgr.cp) prosmgr.cp.stop()"));
    return ok;
}

}

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QGuiApplication app(argc, argv);
    const QString outDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(outDir);

    // The update check must not leave this machine: a closed local port.
    CheckUpdateThread::setUpdateEndpoint(QStringLiteral("http://127.0.0.1:9/"));

    // One language installed, and a download that stays in progress.
    StallingEndpoint endpoint;
    LangDb::setModelEndpoint(QStringLiteral("http://127.0.0.1:%1/").arg(endpoint.serverPort()));
    const QString modelDir = userDataDir().absoluteFilePath(QStringLiteral("models/vosk-model-small-en-us-0.15"));
    QDir().mkpath(modelDir);
    LangDb::instance()->setLocalPath(QStringLiteral("en-s"), modelDir);

    AppShell::registerQmlTypes();
    AppShell::installTranslator(&app);
    QQmlApplicationEngine engine;
    BaseUtil::setEngine(&engine);
    AppShell::setRootContextProperties(&engine, &app);
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    QObject *root = engine.rootObjects().constFirst();
    engine.rootContext()->setContextProperty(QStringLiteral("mainwin"), root);
    auto *win = qobject_cast<QQuickWindow *>(root);
    if (!win)
        return 1;

    bool ok = waitFor(root, QStringLiteral("navUtil.currentPage !== null && navUtil.currentPage.objectName === 'homePage'"))
        && shoot(win, outDir, QStringLiteral("home"));

    const auto view = [&](const QString &js, const QString &name) {
        QObject *popup = ok ? eval(root, js).value<QObject *>() : nullptr;
        ok = ok && popup && shoot(win, outDir, name);
        if (popup)
            QMetaObject::invokeMethod(popup, "close");
        settle(200);
    };
    view(QStringLiteral("navUtil.currentPage.openSettings(1, [])"), QStringLiteral("project_settings_record"));
    const QString media = QUrl::fromLocalFile(QDir::home().absoluteFilePath(QStringLiteral("Documents/interview.mp3"))).toString();
    view(QStringLiteral("navUtil.currentPage.openSettings(2, ['%1'])").arg(media), QStringLiteral("project_settings_convert"));
    view(QStringLiteral("header.showAbout()"), QStringLiteral("about"));

    if (ok) {
        QObject *form = eval(root, QStringLiteral("navUtil.currentPage.openSettings(2, [])")).value<QObject *>();
        settle(200);
        QObject *langs = form ? eval(form, QStringLiteral("openLanguages()")).value<QObject *>() : nullptr;
        settle(300);
        QObject *op = langs ? findItem(langs->property("contentItem").value<QQuickItem *>(), QStringLiteral("op_de-s"))
                            : nullptr;
        const QString place = QUrl::fromLocalFile(QDir::home().absoluteFilePath(QStringLiteral("Models"))).toString();
        ok = op && QMetaObject::invokeMethod(op, "install", Q_ARG(QVariant, place));
        if (ok) {
            QObject *status = findItem(qobject_cast<QQuickItem *>(op), QStringLiteral("installStatus"));
            for (int i = 0; i < 100 && status && !status->property("text").toString().contains(QStringLiteral(" of ")); ++i)
                settle(50);
        }
        ok = ok && shoot(win, outDir, QStringLiteral("language_models"));
        if (langs)
            QMetaObject::invokeMethod(langs, "close");
        if (form)
            QMetaObject::invokeMethod(form, "close");
        settle(300);
        // Closing the popup stopped the download, which it says in a box.
        for (QObject *box : root->findChildren<QObject *>(QStringLiteral("messageBox")))
            QMetaObject::invokeMethod(box, "close");
        settle(200);
    }
    view(QStringLiteral("msgbox.createObject(winroot).question('', 'Are you sure you want to stop the project?')"),
         QStringLiteral("message_box"));

    // A spoken file converted in a new project, when the script provides the
    // speech and a model for it.
    const QString speech = qEnvironmentVariable("KALVINOR_SHOT_SPEECH");
    const QString model = qEnvironmentVariable("KALVINOR_SHOT_MODEL");
    if (ok && !speech.isEmpty() && !model.isEmpty()) {
        LangDb::instance()->setLocalPath(QStringLiteral("en-s"), model);
        const QString url = QUrl::fromLocalFile(speech).toString();
        ok = eval(root, QStringLiteral("(function() { var f = navUtil.currentPage.openSettings(2, ['%1']);"
                                       " f.lang = 'en-s'; f.projectName = 'Interview';"
                                       " return navUtil.currentPage.accept(f) })()").arg(url))
                 .toBool()
            && waitFor(root, QStringLiteral("navUtil.currentPage.objectName === 'mainContentFrame' && prosmgr.cp !== null"))
            && waitFor(root, QStringLiteral("prosmgr.cp.isRunning === 1"), 30000)
            && waitFor(root, QStringLiteral("prosmgr.cp.isRunning === 0 && prosmgr.cp.isStarting === 0"), 60000);

        // A highlight and a comment with a reply on the first message, made
        // the way the user makes them: a selection and the row's actions.
        QObject *list = ok ? findItem(win->contentItem(), QStringLiteral("conversationList")) : nullptr;
        ok = list && waitFor(root, QStringLiteral("navUtil.currentPage.convModel.rowCount() > 1"));
        if (ok) {
            list->setProperty("currentIndex", 0);
            settle(200);
            QObject *msg = findItem(qobject_cast<QQuickItem *>(list), QStringLiteral("msg_0"));
            QObject *edit = msg ? findItem(qobject_cast<QQuickItem *>(msg), QStringLiteral("messageEdit")) : nullptr;
            // Selects words [from, to) of the message's plain text.
            const auto selectWords = [&](int from, int to) {
                return eval(edit, QStringLiteral("(function() { var p = getText(0, length); var re = /\\S+/g; var m;"
                                                 " var s = -1, e = -1, i = 0;"
                                                 " while ((m = re.exec(p)) !== null) {"
                                                 "  if (i === %1) s = m.index; if (i === %2 - 1) e = m.index + m[0].length; ++i }"
                                                 " if (s < 0) return false; if (e < 0) e = p.length;"
                                                 " select(s, e); return true })()").arg(from).arg(to))
                    .toBool();
            };
            ok = edit && selectWords(1, 3) && eval(msg, QStringLiteral("highlight(false)")).toLongLong() > 0
                && selectWords(4, 6) && eval(msg, QStringLiteral("comment()")).toLongLong() > 0;
            if (ok) {
                eval(root, QStringLiteral("navUtil.currentPage.commentModel.addReply(0, 'Worth quoting in the summary.')"));
                QMetaObject::invokeMethod(edit, "deselect");
                settle(300);
            }
        }
        ok = ok && waitFor(root, QStringLiteral("navUtil.currentPage.takeawaysOpen"))
            && shoot(win, outDir, QStringLiteral("project_converted"));
        ok = ok && shootPlaying(root, win, outDir);
        ok = ok && shootTranscribe(root, win, outDir);
        ok = ok && shootBatch(root, win, outDir, speech);
    }

    ok = ok && shootProjects(root, win, outDir);
    ok = ok && shootDeleteKept(root, win, outDir);
    ok = ok && exportViews(root, win, outDir);
    const QString wordDir = qEnvironmentVariable("KALVINOR_SHOT_EXPORT");
    ok = ok && (wordDir.isEmpty() || exportDocx(QStringLiteral("Documents/Weekly meeting"), wordDir));

    std::fflush(stdout);
    return ok ? 0 : 1;
}

// Opens a project of many segments as the project page does (the controller,
// the conversation model and the comment model initialised on an
// InitablesThread, then the conversation page made) and scrolls the list from
// top to bottom, one screen per frame. Needs a display (run it under Xvfb).
//
// Baselines, measured in the same run on the same project:
//  - opening: loading the same segments straight from the project database;
//  - scrolling: the same list with a plain one-line text per row.
//
//   bench_conversation_view [segments] [open]   (default 50000; "open": the
//   opening alone, without the scrolling)

#include "app/AppShell.h"
#include "app/InitablesThread.h"
#include "projects/CommentItemModel.h"
#include "projects/ConversationsItemModel.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsMgr.h"
#include "storage/VoskProDb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "bench_conversation_view: %s\n", what);
    std::exit(1);
}

// Renders one frame of the window and waits until it is on screen.
void frame(QQuickWindow *win)
{
    QEventLoop loop;
    QObject::connect(win, &QQuickWindow::frameSwapped, &loop, &QEventLoop::quit);
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    win->update();
    loop.exec();
}

bool runInits(const QVariantList &inits)
{
    InitablesThread t;
    t.setInits(inits);
    bool ok = false;
    QEventLoop loop;
    QObject::connect(&t, &InitablesThread::initFinished, &loop, [&](bool res, const QString &) {
        ok = res;
        loop.quit();
    });
    t.start();
    loop.exec();
    t.wait();
    return ok;
}

// Scrolls the list from top to bottom, one view height per frame.
// Returns the time in ms and the number of frames.
qint64 scroll(QQuickWindow *win, QQuickItem *list, int *frames)
{
    QElapsedTimer t;
    t.start();
    list->setProperty("contentY", 0);
    frame(win);
    *frames = 1;
    for (;;) {
        const qreal h = list->height();
        const qreal y = list->property("contentY").toReal();
        QMetaObject::invokeMethod(list, "forceLayout");
        const qreal end = list->property("contentHeight").toReal() + list->property("originY").toReal() - h;
        if (y >= end - 0.5)
            break;
        list->setProperty("contentY", qMin(y + h, end));
        frame(win);
        ++*frames;
    }
    return t.elapsed();
}

}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 50000;
    const bool openOnly = argc > 2 && qstrcmp(argv[2], "open") == 0;
    if (n <= 0)
        fail("segment count must be positive");

    QTemporaryDir root;
    if (!root.isValid())
        fail("no temporary folder");
    ProjectsMgr *mgr = ProjectsMgr::instance();
    const QString url = mgr->createProject(QStringLiteral("Bench"), QUrl::fromLocalFile(root.path()).toString(),
                                           QStringLiteral("en-s"), 0.5);
    if (url.isEmpty() || !mgr->enterProject(url) || !runInits({ QVariant::fromValue<QObject *>(mgr->cp()) }))
        fail("cannot make the project");

    {
        VoskProDb &db = *mgr->cp()->db;
        QList<qint64> spks;
        for (int s = 0; s < 4; ++s) {
            VoskSpk vp(4, 0.0f);
            vp[size_t(s)] = 1.0f;
            spks << db.matchSpeaker(vp, 800, 0).id;
        }
        for (int i = 0; i < n; ++i) {
            VoskProSeg seg;
            seg.device = i % 7 == 0 ? 1 : 2;
            seg.start = float(i) * 2.0f;
            seg.end = seg.start + 1.8f;
            seg.fstart = qint64(i) * 64000;
            seg.fend = seg.fstart + 57600;
            seg.spkId = spks[i % 4];
            seg.html = i % 3 == 0 ? QStringLiteral(" hello world number %1<br/> and the next line of it").arg(i)
                                  : QStringLiteral(" a somewhat longer sentence of segment %1 that may wrap "
                                                   "once the bubble reaches its widest")
                                        .arg(i);
            db.addSeg(seg, QStringLiteral("[]"), 0);
        }
    }
    mgr->existProject();

    // Baseline: the bare database load of the same rows.
    QElapsedTimer t;
    t.start();
    {
        VoskProDb db;
        if (!db.open(QDir(QUrl(url).toLocalFile()).absoluteFilePath(QStringLiteral("data"))))
            fail("cannot open the database");
        if (db.loadSegs(-1).size() != n)
            fail("wrong segment count");
    }
    const qint64 loadMs = t.elapsed();

    AppShell::registerQmlTypes();
    QQmlApplicationEngine engine;
    AppShell::setRootContextProperties(&engine, &app);

    // Opening as the page does: enter, initialise off the GUI thread, make the
    // page, until its list knows every row.
    t.restart();
    if (!mgr->enterProject(url))
        fail("cannot enter the project");
    auto *conv = new ConversationsItemModel(&app);
    auto *comments = new CommentItemModel(&app);
    if (!runInits({ QVariant::fromValue<QObject *>(mgr->cp()), QVariant::fromValue<QObject *>(conv),
                    QVariant::fromValue<QObject *>(comments) }))
        fail("opening failed");
    QQmlComponent comp(&engine);
    comp.setData("import QtQuick 2.15\nimport QtQuick.Window 2.15\n"
                 "Window { width: 1000; height: 700; visible: true\n"
                 "  property alias plain: plainList\n"
                 "  ListView { id: plainList; anchors.fill: parent; visible: false; model: null\n"
                 "    delegate: Text { width: plainList.width; height: 60; text: message; textFormat: Text.PlainText } }\n"
                 "}\n",
                 QUrl(QStringLiteral("qrc:/bench.qml")));
    QObject *root0 = comp.create();
    auto *win = qobject_cast<QQuickWindow *>(root0);
    if (!win)
        fail(qPrintable(comp.errorString()));
    QQmlComponent pageComp(&engine, QUrl(QStringLiteral("qrc:/Conversations.qml")));
    QObject *pageObj = pageComp.beginCreate(engine.rootContext());
    auto *page = qobject_cast<QQuickItem *>(pageObj);
    if (!page)
        fail(qPrintable(pageComp.errorString()));
    page->setProperty("cp", QVariant::fromValue<QObject *>(mgr->cp()));
    page->setProperty("commentModel", QVariant::fromValue<QObject *>(comments));
    page->setProperty("convModel", QVariant::fromValue<QObject *>(conv));
    page->setParentItem(win->contentItem());
    page->setSize(QSizeF(1000, 700));
    pageComp.completeCreate();
    QQuickItem *list = page->findChild<QQuickItem *>(QStringLiteral("conversationList"));
    if (!list || list->property("count").toInt() != n + 1)
        fail(qPrintable(QStringLiteral("the conversation list is not filled: %1 %2").arg(list != nullptr).arg(list ? list->property("count").toInt() : -1)));
    frame(win);
    const qint64 openMs = t.elapsed();

    std::printf("segments: %d\n", n);
    std::printf("open project until the list is filled: %lld ms (database load alone: %lld ms, ratio %.2f)\n",
                (long long)openMs, (long long)loadMs, loadMs > 0 ? double(openMs) / double(loadMs) : 0.0);
    std::fflush(stdout);
    if (!openOnly) {
        int pageFrames = 0;
        const qint64 pageScrollMs = scroll(win, list, &pageFrames);

        // Baseline scroll: hide the page, show the plain list over the same model.
        page->setVisible(false);
        auto *plain = win->property("plain").value<QQuickItem *>();
        plain->setProperty("model", QVariant::fromValue<QObject *>(conv));
        plain->setVisible(true);
        frame(win);
        int plainFrames = 0;
        const qint64 plainScrollMs = scroll(win, plain, &plainFrames);

        std::printf("scroll top to bottom: %lld ms over %d frames, %.2f ms per frame\n", (long long)pageScrollMs,
                    pageFrames, double(pageScrollMs) / pageFrames);
        std::printf("plain-text list baseline: %lld ms over %d frames, %.2f ms per frame (per-frame ratio %.2f)\n",
                    (long long)plainScrollMs, plainFrames, double(plainScrollMs) / plainFrames,
                    plainScrollMs > 0 ? (double(pageScrollMs) / pageFrames) / (double(plainScrollMs) / plainFrames) : 0.0);
        std::fflush(stdout);
    }
    delete page;
    delete root0;
    mgr->existProject();
    return 0;
}

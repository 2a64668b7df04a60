// Qt Quick tests of the window shell: every tst_*.qml in this folder runs
// with the program's own QML types, translation and root context properties.

#include "app/AppShell.h"
#include "app/CheckUpdateThread.h"
#include "common/AudioTestUtil.h"
#include "common/ProjectDbAccess.h"
#include "common/UrlRecorder.h"
#include "engine/VoskApi.h"
#include "projects/JsonFile.h"
#include "projects/ProjectsMgr.h"
#include "storage/LangDb.h"
#include "storage/VoskProDb.h"

#include <QCoreApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>
#include <QtQuickTest>
#include <QtTest/qtestmouse.h>

// Clicks through the window system, where Qt itself tells a double click
// (Qt Quick Test sends its events past it): a click marked second follows
// the one before within the double-click time, however long the test waited.
// Not through QTest's own click, which takes the application for a
// QApplication here.
class WindowMouse : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE void click(QWindow *window, const QPointF &at, bool second)
    {
        // Every click ends a double-click time after its release.
        int &time = QTest::lastMouseTimestamp;
        if (second)
            time -= QTest::mouseDoubleClickInterval;
        const QPointF global = window->mapToGlobal(at.toPoint());
        qt_handleMouseEvent(window, at, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress,
                            Qt::NoModifier, ++time);
        qt_handleMouseEvent(window, at, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease,
                            Qt::NoModifier, ++time);
        QCoreApplication::processEvents();
        time += QTest::mouseDoubleClickInterval;
    }
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        // The window's update check must stay on this machine: a closed port.
        CheckUpdateThread::setUpdateEndpoint(QStringLiteral("http://127.0.0.1:9/"));
        // Segments play without a sound card.
        qputenv("SDL_AUDIODRIVER", "dummy");
        AppShell::registerQmlTypes();
        AppShell::installTranslator(QCoreApplication::instance());
        // Projects in "en-s" recognise with the synthetic test model.
        vosk_set_log_level(-1);
        LangDb::instance()->setLocalPath(QStringLiteral("en-s"), QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test"));
        // A short spoken file and a long one (the short one thirty times).
        const QString text = QStringLiteral("the quick brown fox jumps over the lazy dog");
        AudioTestUtil::makeSpokenWav(text, tmp.filePath(QStringLiteral("speech.wav")));
        AudioTestUtil::makeSpokenWav(text, tmp.filePath(QStringLiteral("long.wav")), 30);
        bigProjectUrl = makeBigProject();
        lostTailUrl = makeLostTailProject();
        // A segment taller than any window, between two short ones.
        tallUrl = makeProject(QStringLiteral("tall"), 3, QStringLiteral("case i when 1 then '%1' else 'short words' end").arg(tallHtml));
        // Many short segments, then one that wraps.
        wrapUrl = makeProject(QStringLiteral("wrap"), 61, QStringLiteral("case i when 60 then '%1' else 'short words' end")
                                                              .arg(QStringLiteral("the meeting went on and ").repeated(8)));
        // Rows the list cannot guess from its first ones: three of one line,
        // then many of two.
        mixedUrl = makeProject(QStringLiteral("mixed"), 5003,
                               QStringLiteral("case when i < 3 then 'short words' else 'first line<br/>second line' end"));
        playedUrl = makePlayedProject();
        // Thirty rows, 5 and 11 monologues of 3,000 words; 5 and 6 have a
        // comment each.
        longUrl = makeProject(QStringLiteral("long"), 30, QStringLiteral("case when i in (5, 11) then '%1' else 'short words' end")
                                                              .arg(QStringLiteral("and the meeting went on ").repeated(600)));
        TestUtil::exec(*TestUtil::openRaw(QUrl(longUrl).toLocalFile() + QStringLiteral("/data")),
                       QStringLiteral("insert into citem(vres_id, text, type, dt) values (6, 'the monologue', 2, 0), (7, 'after it', 2, 0)"));
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        AppShell::setRootContextProperties(engine, QCoreApplication::instance());
        QQmlContext *ctx = engine->rootContext();
        ctx->setContextProperty(QStringLiteral("openedUrls"), &urls);
        ctx->setContextProperty(QStringLiteral("windowMouse"), &mouse);
        ctx->setContextProperty(QStringLiteral("testRootUrl"), QUrl::fromLocalFile(tmp.path()).toString());
        ctx->setContextProperty(QStringLiteral("testSpeechUrl"), QUrl::fromLocalFile(tmp.filePath(QStringLiteral("speech.wav"))).toString());
        ctx->setContextProperty(QStringLiteral("testLongSpeechUrl"), QUrl::fromLocalFile(tmp.filePath(QStringLiteral("long.wav"))).toString());
        ctx->setContextProperty(QStringLiteral("testBigProjectUrl"), bigProjectUrl);
        ctx->setContextProperty(QStringLiteral("testLostTailUrl"), lostTailUrl);
        ctx->setContextProperty(QStringLiteral("testTallUrl"), tallUrl);
        ctx->setContextProperty(QStringLiteral("testWrapUrl"), wrapUrl);
        ctx->setContextProperty(QStringLiteral("testMixedUrl"), mixedUrl);
        ctx->setContextProperty(QStringLiteral("testPlayedUrl"), playedUrl);
        ctx->setContextProperty(QStringLiteral("testLongUrl"), longUrl);
    }

private:
    // A project whose opening takes a while: many segments and highlights.
    QString makeBigProject()
    {
        const QString url = ProjectsMgr::instance()->createProject(QStringLiteral("big"), QUrl::fromLocalFile(tmp.path()).toString(),
                                                                   QStringLiteral("en-s"), 0.5);
        const QString data = QUrl(url).toLocalFile() + QStringLiteral("/data");
        VoskProDb db;
        if (url.isEmpty() || !db.open(data))
            qFatal("big project: %s", qPrintable(ProjectsMgr::instance()->lastErr()));
        db.close();
        const auto raw = TestUtil::openRaw(data);
        if (!raw)
            qFatal("big project: no raw connection");
        TestUtil::exec(*raw, QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000)"
                                            " insert into vres(start, end, fstart, fend, html, raw_words, spk_id, device, item_id)"
                                            " select i, i + 1, 0, 0, ' words of segment ' || i, '[]', 1, 2, 0 from n"));
        TestUtil::exec(*raw, QStringLiteral("insert into citem(vres_id, text, type, dt) select id, 'words', 1, 0 from vres"));
        return url;
    }

    // A project of n segments, row i's html given by the SQL html over i.
    QString makeProject(const QString &name, int n, const QString &html)
    {
        const QString url = ProjectsMgr::instance()->createProject(name, QUrl::fromLocalFile(tmp.path()).toString(),
                                                                   QStringLiteral("en-s"), 0.5);
        if (url.isEmpty() || !TestUtil::addSegments(QUrl(url).toLocalFile() + QStringLiteral("/data"), n,
                                                    QStringLiteral("i, i + 1, %1, '[]', 1, 0, 2").arg(html)))
            qFatal("%s project", qPrintable(name));
        return url;
    }

    // Twelve segments with their recording, seven seconds each; row 2 is
    // taller than any window.
    QString makePlayedProject()
    {
        const QString url = makeProject(QStringLiteral("played"), 12,
                                        QStringLiteral("case i when 2 then '%1' else 'short words' end").arg(tallHtml));
        const QString dir = QUrl(url).toLocalFile();
        const auto raw = TestUtil::openRaw(dir + QStringLiteral("/data"));
        if (!raw || !QFile::copy(tmp.filePath(QStringLiteral("long.wav")), dir + QStringLiteral("/data.wav")))
            qFatal("played project");
        TestUtil::exec(*raw, QStringLiteral("update vres set fstart = (id - 1) * 224000, fend = id * 224000"));
        return url;
    }

    // A recording killed before its words were stored, in a language whose
    // model is gone.
    QString makeLostTailProject()
    {
        const QString url = ProjectsMgr::instance()->createProject(QStringLiteral("lost tail"), QUrl::fromLocalFile(tmp.path()).toString(),
                                                                   QStringLiteral("en-s"), 0.5);
        const QString dir = QUrl(url).toLocalFile();
        QVariantMap info;
        if (url.isEmpty() || !QFile::copy(tmp.filePath(QStringLiteral("speech.wav")), dir + QStringLiteral("/data.wav"))
            || !readJsonObject(dir + QStringLiteral("/manifest"), info))
            qFatal("lost tail project");
        info.insert(QStringLiteral("live_fstart"), 0);
        info.insert(QStringLiteral("live_lang"), QStringLiteral("de-s"));
        writeJsonFile(dir + QStringLiteral("/manifest"), info);
        return url;
    }

    const QString tallHtml = QStringLiteral("a line of the long note<br/>").repeated(100);
    QTemporaryDir tmp;
    QString bigProjectUrl;
    QString lostTailUrl;
    QString tallUrl;
    QString wrapUrl;
    QString mixedUrl;
    QString playedUrl;
    QString longUrl;
    TestUtil::UrlRecorder urls { { QStringLiteral("http") } };
    WindowMouse mouse;
};

QUICK_TEST_MAIN_WITH_SETUP(qml, Setup)

#include "tst_qml.moc"

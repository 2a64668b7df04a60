// Qt Quick tests of the window shell: every tst_*.qml in this folder runs
// with the program's own QML types, translation and root context properties.

#include "app/AppShell.h"
#include "app/CheckUpdateThread.h"
#include "common/AudioTestUtil.h"
#include "engine/VoskApi.h"
#include "storage/LangDb.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QUrl>
#include <QtQuickTest>

// Takes the addresses that pages hand to the desktop, in place of a browser.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE QString last() const { return m_last; }

public slots:
    void open(const QUrl &url) { m_last = url.toString(); }

private:
    QString m_last;
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        // The window's update check must stay on this machine: a closed port.
        CheckUpdateThread::setUpdateEndpoint(QStringLiteral("http://127.0.0.1:9/"));
        AppShell::registerQmlTypes();
        AppShell::installTranslator(QCoreApplication::instance());
        // Projects in "en-s" recognise with the synthetic test model.
        vosk_set_log_level(-1);
        LangDb::instance()->setLocalPath(QStringLiteral("en-s"), QStringLiteral(KALVINOR_TEST_DATA_DIR "/vosk-model-test"));
        // A short spoken file and a long one (the short one thirty times).
        const QString text = QStringLiteral("the quick brown fox jumps over the lazy dog");
        AudioTestUtil::makeSpokenWav(text, tmp.filePath(QStringLiteral("speech.wav")));
        AudioTestUtil::makeSpokenWav(text, tmp.filePath(QStringLiteral("long.wav")), 30);
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        AppShell::setRootContextProperties(engine, QCoreApplication::instance());
        QQmlContext *ctx = engine->rootContext();
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &urls, "open");
        ctx->setContextProperty(QStringLiteral("openedUrls"), &urls);
        ctx->setContextProperty(QStringLiteral("testRootUrl"), QUrl::fromLocalFile(tmp.path()).toString());
        ctx->setContextProperty(QStringLiteral("testSpeechUrl"), QUrl::fromLocalFile(tmp.filePath(QStringLiteral("speech.wav"))).toString());
        ctx->setContextProperty(QStringLiteral("testLongSpeechUrl"), QUrl::fromLocalFile(tmp.filePath(QStringLiteral("long.wav"))).toString());
    }

private:
    QTemporaryDir tmp;
    UrlRecorder urls;
};

QUICK_TEST_MAIN_WITH_SETUP(qml, Setup)

#include "tst_qml.moc"

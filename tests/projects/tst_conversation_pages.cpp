// Qt Quick tests of the conversation pages over a real project: the page's
// models are opened by an InitablesThread as the project page does it.

#include "app/AppShell.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// Stands in for the browser and the file manager: what the page opens.
class OpenedUrls : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList urls MEMBER m_urls NOTIFY changed)

public slots:
    void open(const QUrl &url)
    {
        m_urls << url.toString();
        emit changed();
    }
    void clear()
    {
        m_urls.clear();
        emit changed();
    }

signals:
    void changed();

private:
    QStringList m_urls;
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        TestUtil::requireSandboxedHome();
        AppShell::registerQmlTypes();
        AppShell::installTranslator(QCoreApplication::instance());
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        AppShell::setRootContextProperties(engine, QCoreApplication::instance());
        QString err;
        if (!fx.open(err))
            qFatal("project fixture: %s", qPrintable(err));
        VoskProDb &db = fx.db();
        const qint64 a = db.matchSpeaker({ 1, 0, 0, 0 }, 800, 0).id;
        const qint64 b = db.matchSpeaker({ 0, 1, 0, 0 }, 800, 0).id;
        fx.addSeg(QStringLiteral(" good morning everyone"), 0.5f, a);
        fx.addSeg(QStringLiteral(" thank you for coming"), 3.0f, b, 0, 1);
        fx.addSeg(QStringLiteral(" let us begin"), 6.25f, a);
        engine->rootContext()->setContextProperty(QStringLiteral("fixtureSpeakerA"), a);
        for (const char *scheme : { "http", "https", "file" })
            QDesktopServices::setUrlHandler(scheme, &opened, "open");
        engine->rootContext()->setContextProperty(QStringLiteral("openedUrls"), &opened);
    }

private:
    TestUtil::ProjectFixture fx;
    OpenedUrls opened;
};

QUICK_TEST_MAIN_WITH_SETUP(conversation_pages, Setup)

#include "tst_conversation_pages.moc"

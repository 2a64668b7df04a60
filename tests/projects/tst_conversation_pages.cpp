// Qt Quick tests of the conversation pages over a real project: the page's
// models are opened by an InitablesThread as the project page does it.

#include "app/AppShell.h"
#include "common/ProjectFixture.h"
#include "common/TestUtil.h"
#include "common/UrlRecorder.h"

#include <QCoreApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

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
        engine->rootContext()->setContextProperty(QStringLiteral("openedUrls"), &opened);
    }

private:
    TestUtil::ProjectFixture fx;
    TestUtil::UrlRecorder opened { { QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file") } };
};

QUICK_TEST_MAIN_WITH_SETUP(conversation_pages, Setup)

#include "tst_conversation_pages.moc"

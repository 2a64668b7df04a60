// Qt Quick tests of the window shell: every tst_*.qml in this folder runs
// with the program's own QML types, translation and root context properties.

#include "app/AppShell.h"
#include "app/CheckUpdateThread.h"

#include <QCoreApplication>
#include <QQmlEngine>
#include <QtQuickTest>

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
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        AppShell::setRootContextProperties(engine, QCoreApplication::instance());
    }
};

QUICK_TEST_MAIN_WITH_SETUP(qml, Setup)

#include "tst_qml.moc"

#include "app/AppShell.h"
#include "util/BaseUtil.h"
#include "util/Platform.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QUrl>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QGuiApplication app(argc, argv);

    Platform::keepAwake();
    AppShell::registerQmlTypes();
    AppShell::installTranslator(&app);

    QQmlApplicationEngine engine;
    BaseUtil::setEngine(&engine);

    const QUrl mainUrl(QStringLiteral("qrc:/main.qml"));
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, &app,
        [&engine, mainUrl](QObject *obj, const QUrl &url) {
            if (url != mainUrl)
                return;
            if (!obj) {
                QCoreApplication::exit(-1);
                return;
            }
            engine.rootContext()->setContextProperty(QStringLiteral("mainwin"), obj);
        },
        Qt::QueuedConnection);

    AppShell::setRootContextProperties(&engine, &app);
    engine.load(mainUrl);
    app.exec();

    // Every file is written when it changes, so nothing is left for
    // destructors to do; skipping them also avoids tearing down threads that
    // may still run.
    Platform::terminateProcess(0);
}

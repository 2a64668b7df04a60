#pragma once
// Start-up steps that the program and its QML tests share: the QML types, the
// translation and the root context properties.

class QCoreApplication;
class QQmlEngine;
class QTranslator;

namespace AppShell {

// Each type under a module URI equal to its class name, version 1.0.
void registerQmlTypes();

// Loads ":/kalvinor_en_US.qm" and installs it on the application. The pages'
// "IDS_..." identifiers are found whatever the page's translation context.
QTranslator *installTranslator(QCoreApplication *app);

// engine, the product constants, prosmgr, langdb, settings and baseutil, in
// that order; settings and baseutil become children of app.
void setRootContextProperties(QQmlEngine *engine, QCoreApplication *app);

}

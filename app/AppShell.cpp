#include "app/AppShell.h"

#include "app/CheckUpdateThread.h"
#include "app/InitablesThread.h"
#include "app/MainSettings.h"
#include "engine/LangModelInstallThreadMgr.h"
#include "export/ExportHandlingItemModel.h"
#include "models/VoskLangItemModel.h"
#include "projects/CommentItemModel.h"
#include "projects/ConvertFilesHandlingItemModel.h"
#include "projects/ConversationsItemModel.h"
#include "projects/ProjectMainController.h"
#include "projects/ProjectsItemModel.h"
#include "projects/ProjectsMgr.h"
#include "storage/LangDb.h"
#include "util/BaseUtil.h"
#include "util/ProductInfo.h"

#include <QCoreApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTranslator>
#include <QtQml>

namespace {

// Identifiers live in one shared context of the translation so that a page
// needs no entry of its own for them.
class AppTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *sourceText, const char *disambiguation, int n) const override
    {
        QString t = QTranslator::translate(context, sourceText, disambiguation, n);
        if (t.isEmpty())
            t = QTranslator::translate("IDS", sourceText, disambiguation, n);
        return t;
    }
};

template<typename T>
void registerType(const char *name)
{
    qmlRegisterType<T>(name, 1, 0, name);
}

}

namespace AppShell {

void registerQmlTypes()
{
    registerType<ProjectsMgr>("ProjectsMgr");
    registerType<VoskLangItemModel>("VoskLangItemModel");
    registerType<LangDb>("LangDb");
    registerType<LangModelInstallThreadMgr>("LangModelInstallThreadMgr");
    registerType<ProjectMainController>("ProjectMainController");
    registerType<ConversationsItemModel>("ConversationsItemModel");
    registerType<InitablesThread>("InitablesThread");
    registerType<CommentItemModel>("CommentItemModel");
    registerType<ProjectsItemModel>("ProjectsItemModel");
    registerType<ConvertFilesHandlingItemModel>("ConvertFilesHandlingItemModel");
    registerType<ExportHandlingItemModel>("ExportHandlingItemModel");
    registerType<CheckUpdateThread>("CheckUpdateThread");
}

QTranslator *installTranslator(QCoreApplication *app)
{
    auto *translator = new AppTranslator(app);
    if (translator->load(QStringLiteral(":/kalvinor_en_US.qm")))
        app->installTranslator(translator);
    return translator;
}

void setRootContextProperties(QQmlEngine *engine, QCoreApplication *app)
{
    QQmlContext *ctx = engine->rootContext();
    ctx->setContextProperty(QStringLiteral("engine"), engine);
    ctx->setContextProperty(QStringLiteral("PROD_NAME"),
                            QCoreApplication::translate("main", "Kalvinor Audio To Text Converter"));
    ctx->setContextProperty(QStringLiteral("PROD_VER"), QString::fromLatin1(ProductInfo::version));
    ctx->setContextProperty(QStringLiteral("PROD_VERID"), ProductInfo::versionId);
    ctx->setContextProperty(QStringLiteral("PROD_UID"), QString::fromLatin1(ProductInfo::uid));
    ctx->setContextProperty(QStringLiteral("FONTSIZE_TITLE1"), 20);
    ctx->setContextProperty(QStringLiteral("FONTSIZE_TITLE"), 17);
    ctx->setContextProperty(QStringLiteral("FONTSIZE_DEF"), 14);
    ctx->setContextProperty(QStringLiteral("FONTSIZE_SUB"), 13);
    ctx->setContextProperty(QStringLiteral("FONTSIZE_SUB2"), 11);
    ctx->setContextProperty(QStringLiteral("FONTSIZE_SUB3"), 9);
    ctx->setContextProperty(QStringLiteral("TEXTCOLOR_MAIN"), QStringLiteral("black"));
    ctx->setContextProperty(QStringLiteral("TEXTCOLOR_MAIN2"), QStringLiteral("#333333"));
    ctx->setContextProperty(QStringLiteral("FONTFAMILY_MAIN"), QStringLiteral("Arial"));
    ctx->setContextProperty(QStringLiteral("prosmgr"), ProjectsMgr::instance());
    ctx->setContextProperty(QStringLiteral("langdb"), LangDb::instance());
    ctx->setContextProperty(QStringLiteral("settings"), new MainSettings(app));
    ctx->setContextProperty(QStringLiteral("baseutil"), new BaseUtil(app));
    ctx->setContextProperty(QStringLiteral("UPDATE_ENDPOINT"), CheckUpdateThread::updateEndpoint());
}

}

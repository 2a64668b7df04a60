// Qt Quick tests of the language model popup against a local model endpoint:
// every tst_*.qml in this folder runs with the program's QML types, root
// context properties and a `fixture` object describing the server.

#include "app/AppShell.h"
#include "app/CheckUpdateThread.h"
#include "common/ArchiveWriter.h"
#include "common/AudioTestUtil.h"
#include "common/ModelEndpointServer.h"
#include "engine/VoskApi.h"
#include "storage/LangDb.h"

#include <QCoreApplication>
#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QUrl>
#include <QtQuickTest>

#include <memory>

class Fixture : public QObject
{
    Q_OBJECT

public:
    QTemporaryDir dir;
    std::unique_ptr<ModelEndpointServer> server;
    std::unique_ptr<ModelEndpointServer> slowServer;

    // A fresh folder to install into, as a URL.
    Q_INVOKABLE QString newPlace()
    {
        return QUrl::fromLocalFile(dir.filePath(QStringLiteral("place%1").arg(++m_places))).toString();
    }
    Q_INVOKABLE int requests() const { return server->requests().size(); }
    // Takes an installed model away again, so later cases find it missing.
    Q_INVOKABLE bool removePlace(const QString &url)
    {
        return QDir(QUrl(url).toLocalFile()).removeRecursively();
    }
    // Points the catalogue at a server that holds back every archive for a
    // long time, or back at the usual one.
    Q_INVOKABLE bool setSlow(bool on)
    {
        if (on && !slowServer) {
            slowServer.reset(new ModelEndpointServer(dir.filePath(QStringLiteral("server"))));
            if (!slowServer->start({QStringLiteral("--slow"), QStringLiteral("60")}))
                return false;
        }
        LangDb::setModelEndpoint((on ? slowServer : server)->baseUrl());
        return true;
    }
    Q_INVOKABLE QString rootUrl() const { return QUrl::fromLocalFile(dir.path()).toString(); }
    Q_INVOKABLE QString speechUrl() const
    {
        return QUrl::fromLocalFile(dir.filePath(QStringLiteral("speech.wav"))).toString();
    }

private:
    int m_places = 0;
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        CheckUpdateThread::setUpdateEndpoint(QStringLiteral("http://127.0.0.1:9/"));
        AppShell::registerQmlTypes();
        AppShell::installTranslator(QCoreApplication::instance());

        // en-s and en-h are served; every other key is not on the server.
        const QString root = m_fixture.dir.filePath(QStringLiteral("server"));
        QDir().mkpath(root);
        const auto entries = ArchiveWriter::folderEntries(ArchiveWriter::testModelDir(), QStringLiteral("vosk-model-test"));
        ArchiveWriter::write(root + QStringLiteral("/en-s.zip"), QStringLiteral("zip"), entries);
        ArchiveWriter::write(root + QStringLiteral("/en-h.tar.gz"), QStringLiteral("tar.gz"), entries);
        m_fixture.server.reset(new ModelEndpointServer(root));
        if (!m_fixture.server->start())
            qFatal("model endpoint: %s", qPrintable(m_fixture.server->errorText()));
        LangDb::instance();
        LangDb::setModelEndpoint(m_fixture.server->baseUrl());

        vosk_set_log_level(-1);
        AudioTestUtil::makeSpokenWav(QStringLiteral("the quick brown fox jumps over the lazy dog"),
                                     m_fixture.dir.filePath(QStringLiteral("speech.wav")));
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        AppShell::setRootContextProperties(engine, QCoreApplication::instance());
        engine->rootContext()->setContextProperty(QStringLiteral("fixture"), &m_fixture);
    }

private:
    Fixture m_fixture;
};

QUICK_TEST_MAIN_WITH_SETUP(langpopup, Setup)

#include "tst_language_popup.moc"

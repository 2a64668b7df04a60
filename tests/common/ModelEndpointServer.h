#pragma once
// Runs tools/model_endpoint.py on 127.0.0.1 with a free port for one test and
// stops it again.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class ModelEndpointServer
{
public:
    // root: the folder of archives and plain files the server answers from.
    explicit ModelEndpointServer(const QString &root);
    ~ModelEndpointServer();
    ModelEndpointServer(const ModelEndpointServer &) = delete;
    ModelEndpointServer &operator=(const ModelEndpointServer &) = delete;

    // Starts the server with the given switches ("--chunked", "--md5", "wrong",
    // ...) and waits until it listens. False (with errorText()) otherwise.
    bool start(const QStringList &switches = {});
    void stop();

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>/" (or https:// when started with --cert).
    QString baseUrl() const;
    // Every request received so far, as "METHOD target".
    QStringList requests() const;
    QString errorText() const { return m_error; }

    // A port on 127.0.0.1 that nothing listens on.
    static int closedPort();

private:
    QString m_root;
    QTemporaryDir m_logDir;
    QProcess m_process;
    int m_port = 0;
    bool m_tls = false;
    QString m_error;
};

#include "ModelEndpointServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

ModelEndpointServer::ModelEndpointServer(const QString &root)
    : m_root(root)
{
}

ModelEndpointServer::~ModelEndpointServer()
{
    stop();
}

bool ModelEndpointServer::start(const QStringList &switches)
{
    stop();
    const QString script = QStringLiteral(KALVINOR_SOURCE_DIR "/tools/model_endpoint.py");
    QFile::remove(m_logDir.filePath(QStringLiteral("requests.log")));
    QStringList args{script, QStringLiteral("--root"), m_root, QStringLiteral("--host"),
                     QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QStringLiteral("0"),
                     QStringLiteral("--log"), m_logDir.filePath(QStringLiteral("requests.log"))};
    args += switches;
    m_tls = switches.contains(QStringLiteral("--cert"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), args);
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    QByteArray out;
    const QDeadlineTimer deadline(15000);
    while (!out.contains('\n') && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        out += m_process.readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (!line.startsWith("PORT ")) {
        m_error = QStringLiteral("server did not start: %1").arg(QString::fromUtf8(out));
        stop();
        return false;
    }
    m_port = line.mid(5).toInt();
    return m_port > 0;
}

void ModelEndpointServer::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    m_port = 0;
}

QString ModelEndpointServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2/").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http")).arg(m_port);
}

QStringList ModelEndpointServer::requests() const
{
    QFile f(m_logDir.filePath(QStringLiteral("requests.log")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int ModelEndpointServer::closedPort()
{
    // Bound and released at once: the kernel hands out ports in turn, so it
    // stays free for the short life of a test.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 1;
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
        && getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

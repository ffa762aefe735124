#include "tests/platform/loopbackserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace velkoria::test {

QList<QByteArray> LoopbackServer::Request::values(const QByteArray& name) const {
    QList<QByteArray> found;
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            found << value;
    return found;
}

LoopbackServer::LoopbackServer() {
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_server = new QTcpServer;
            m_server->listen(QHostAddress::LocalHost);
            m_port = m_server->serverPort();
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] { accept(); });
        },
        Qt::BlockingQueuedConnection);
}

LoopbackServer::~LoopbackServer() {
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_context->deleteLater();
    m_thread.quit();
    m_thread.wait();
}

QString LoopbackServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void LoopbackServer::respond(const QByteArray& path, const Response& response) {
    QMutexLocker lock(&m_mutex);
    m_responses.insert(path, response);
}

QList<LoopbackServer::Request> LoopbackServer::requests() const {
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QList<LoopbackServer::Request> LoopbackServer::requestsFor(const QByteArray& path) const {
    QList<Request> found;
    for (const Request& request : requests())
        if (request.path == path)
            found << request;
    return found;
}

void LoopbackServer::accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(m_server);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { readFrom(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LoopbackServer::readFrom(QTcpSocket* socket) {
    QByteArray data = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", data);
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    Request request;
    const QList<QByteArray> lines = data.left(headEnd).split('\n');
    const QList<QByteArray> start = lines.first().trimmed().split(' ');
    request.method = start.value(0);
    request.path = start.value(1);
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const qsizetype length = request.values("Content-Length").value(0, "0").toLongLong();
    if (data.size() < headEnd + 4 + length)
        return;
    request.body = data.mid(headEnd + 4, length);
    socket->setProperty("buffer", QByteArray());

    Response response;
    {
        QMutexLocker lock(&m_mutex);
        m_requests.append(request);
        response = m_responses.value(request.path, Response{200, "text/html", "<html><body>ok</body></html>"});
    }
    if (response.silent)
        return;
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(response.status) +
                       " X\r\nContent-Type: " + response.contentType +
                       "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                       "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + response.body;
    QTimer::singleShot(response.delayMs, socket, [socket, reply] {
        socket->write(reply);
        socket->disconnectFromHost();
    });
}

} // namespace velkoria::test

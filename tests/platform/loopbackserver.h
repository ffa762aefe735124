#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

class QTcpServer;
class QTcpSocket;

namespace velkoria::test {

// A tiny HTTP/1.1 server on the loopback, in a thread of its own (so that its
// answers do not depend on what the thread under test runs). It records every
// request as it came in and answers per path as the test says.
class LoopbackServer {
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QList<QByteArray> values(const QByteArray& name) const;
    };
    struct Response {
        int status = 200;
        QByteArray contentType = "text/html";
        QByteArray body;
        int delayMs = 0;     // answer this much later
        bool silent = false; // never answer
    };

    LoopbackServer();
    ~LoopbackServer();

    QString url(const QString& path) const;
    // Paths without a response get a small page.
    void respond(const QByteArray& path, const Response& response);
    QList<Request> requests() const;
    // The requests for one path (favicon requests and the like are left out).
    QList<Request> requestsFor(const QByteArray& path) const;

private:
    void accept();
    void readFrom(QTcpSocket* socket);

    QThread m_thread;
    QObject* m_context = nullptr;   // lives in m_thread
    QTcpServer* m_server = nullptr; // lives in m_thread
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QHash<QByteArray, Response> m_responses;
    QList<Request> m_requests;
};

} // namespace velkoria::test

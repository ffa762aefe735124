#pragma once

#include "catalog.h"
#include "pages.h"

#include <QAbstractHttpServer>
#include <QFile>
#include <QHash>
#include <QHttpServerResponder>

#include <memory>

class QTcpSocket;

namespace marketsim {

// How a search fails: a 500, a connection that never answers, one reset, a
// redirect to the login page (a logged-out session), an empty body.
enum class FailMode { None, ServerError, Stall, Drop, LoggedOut, Empty };

struct ServerOptions {
    QString account;
    QString password;
};

// The marketplace's HTTP side. It derives from QAbstractHttpServer rather than using QHttpServer's
// routes because it must see every request (404s included) for the log and must be able to answer
// late, never, or by closing the connection: handleRequest hands over the socket, and the
// responder made from it can be kept and written to later.
class MarketServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    MarketServer(Catalog* catalog, ServerOptions options, QObject* parent = nullptr);

    // Appends one JSON line per received request to the file; without it nothing is logged.
    bool openLog(const QString& path, QString* error);

    // The next `count` searches of the key fail with the mode; count < 0 means every one, and
    // count 0 (or mode None) ends a failure plan.
    void setFailure(const QString& key, FailMode mode, int count);
    // Searches of the key are answered after the delay; 0 ends it.
    void setDelay(const QString& key, int milliseconds);
    // The result pages of the key carry the trouble from now on; PageTrouble::None ends it.
    void setTrouble(const QString& key, PageTrouble trouble);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Reply {
        QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok;
        QByteArray contentType;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;
    };
    struct FailurePlan {
        FailMode mode = FailMode::None;
        int remaining = 0; // < 0: every search
    };

    void logRequest(const QHttpServerRequest& request, QTcpSocket* socket);
    Reply search(const QByteArray& body, FailMode* failure, int* delay);
    Reply login(const QByteArray& body) const;
    Reply requestDetail(const QString& id) const;
    FailMode takeFailure(const QString& key);
    void deliver(std::shared_ptr<QHttpServerResponder> responder, QTcpSocket* socket, FailMode failure,
                 const Reply& reply, int delay);

    static Reply htmlReply(const QString& html,
                           QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok);
    static void send(QHttpServerResponder& responder, const Reply& reply);

    Catalog* m_catalog;
    ServerOptions m_options;
    QFile m_log;
    QHash<QString, FailurePlan> m_failures;
    QHash<QString, int> m_delays;
    QHash<QString, PageTrouble> m_troubles;
};

} // namespace marketsim

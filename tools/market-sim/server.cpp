#include "server.h"

#include "pages.h"
#include "sitetext.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QPointer>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTimer>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace marketsim {

namespace {

// The new icon: an 18x9 red "NEW" badge.
const unsigned char kNewIcon[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x12, 0x00, 0x09, 0x00, 0x81, 0x00, 0x00, 0xe6, 0x00, 0x12, 0xff, 0xff, 0xff,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x12, 0x00, 0x09, 0x00, 0x00, 0x02, 0x5c, 0x04,
    0x08, 0x10, 0x20, 0x40, 0x80, 0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x00, 0x01, 0x02, 0x04, 0x08,
    0x10, 0x60, 0x40, 0x84, 0x08, 0x13, 0x22, 0x04, 0x88, 0x10, 0x20, 0xc0, 0x84, 0x08, 0x11, 0x02, 0x44, 0x08, 0x10,
    0x21, 0x40, 0x80, 0x01, 0x13, 0x22, 0x0c, 0x88, 0x10, 0x21, 0x42, 0x80, 0x00, 0x03, 0x22, 0x44, 0x08, 0x10, 0x21,
    0x42, 0x84, 0x00, 0x01, 0x06, 0x44, 0x88, 0x30, 0x21, 0xc0, 0x80, 0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40,
    0x80, 0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x00, 0x01, 0x02, 0x04, 0x0a, 0x00, 0x3b,
};

QByteArray methodName(QHttpServerRequest::Method method) {
    const char* name = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method));
    return QByteArray(name ? name : "Unknown").toUpper();
}

} // namespace

MarketServer::MarketServer(Catalog* catalog, ServerOptions options, QObject* parent)
    : QAbstractHttpServer(parent), m_catalog(catalog), m_options(std::move(options)) {}

bool MarketServer::openLog(const QString& path, QString* error) {
    m_log.setFileName(path);
    if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = u"ログファイル %1 を開けません: %2"_s.arg(path, m_log.errorString());
        return false;
    }
    return true;
}

void MarketServer::setFailure(const QString& key, FailMode mode, int count) {
    if (mode == FailMode::None || count == 0)
        m_failures.remove(key);
    else
        m_failures.insert(key, {mode, count});
}

void MarketServer::setDelay(const QString& key, int milliseconds) {
    if (milliseconds <= 0)
        m_delays.remove(key);
    else
        m_delays.insert(key, milliseconds);
}

void MarketServer::setTrouble(const QString& key, PageTrouble trouble) {
    if (trouble.kind == PageTrouble::None)
        m_troubles.remove(key);
    else
        m_troubles.insert(key, trouble);
}

void MarketServer::logRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (!m_log.isOpen())
        return;
    QJsonObject headers;
    for (const auto& [name, value] : request.headers()) {
        const QString key = QString::fromLatin1(name);
        const QString text = QString::fromLatin1(value);
        headers.insert(key, headers.contains(key) ? headers.value(key).toString() + u", "_s + text : text);
    }
    const QUrl url = request.url();
    const QByteArray body = request.body();
    const QJsonObject entry{
        {u"time"_s, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {u"scheme"_s, qobject_cast<QSslSocket*>(socket) ? u"https"_s : u"http"_s},
        {u"method"_s, QString::fromLatin1(methodName(request.method()))},
        {u"path"_s, url.path(QUrl::FullyEncoded)},
        {u"query"_s, url.query(QUrl::FullyEncoded)},
        {u"headers"_s, headers},
        {u"body_hex"_s, QString::fromLatin1(body.toHex())},
        {u"body_len"_s, body.size()},
    };
    m_log.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    m_log.flush();
}

bool MarketServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    logRequest(request, socket);
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    const QString path = request.url().path();
    const bool isPost = request.method() == QHttpServerRequest::Method::Post;
    const bool isGet = request.method() == QHttpServerRequest::Method::Get;

    FailMode failure = FailMode::None;
    int delay = 0;
    Reply reply;
    if (path == u"/" && isPost && QUrlQuery(request.url()).queryItemValue(u"act"_s) == u"login")
        reply = login(request.body());
    else if (path == u"/" && isPost)
        reply = search(request.body(), &failure, &delay);
    else if (path == u"/" && isGet)
        reply = htmlReply(topPage());
    else if (path.startsWith(u"/browse/request/") && isGet)
        reply = requestDetail(path.mid(16));
    else if (path == u"/img/new.gif" && isGet)
        reply = {QHttpServerResponder::StatusCode::Ok,
                 "image/gif",
                 QByteArray(reinterpret_cast<const char*>(kNewIcon), sizeof kNewIcon),
                 {}};
    else
        reply = htmlReply(notFoundPage(), QHttpServerResponder::StatusCode::NotFound);
    deliver(std::move(responder), socket, failure, reply, delay);
    return true;
}

void MarketServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    // handleRequest answers everything; this is only here because the base class requires it.
    QHttpServerResponder responder = makeResponder(request, socket);
    send(responder, htmlReply(notFoundPage(), QHttpServerResponder::StatusCode::NotFound));
}

MarketServer::Reply MarketServer::search(const QByteArray& body, FailMode* failure, int* delay) {
    const auto form = parseForm(body);
    if (formValue(form, u"menu"_s) != u"browse" || formValue(form, u"act"_s) != u"search_request")
        return htmlReply(badRequestPage(), QHttpServerResponder::StatusCode::BadRequest);
    const QString key = formValue(form, u"key"_s);
    *failure = takeFailure(key);
    *delay = m_delays.value(key);
    SearchPage page;
    page.key = key;
    page.caption = m_catalog->caption(key);
    page.sort = sortTypeFromName(formValue(form, u"sort_type"_s));
    page.requests = m_catalog->requests(key, page.sort);
    page.popular = m_catalog->popular(key);
    page.upperCaseTags = Catalog::upperCaseTags(key);
    page.trouble = m_troubles.value(key);
    return htmlReply(searchResultPage(page));
}

MarketServer::Reply MarketServer::login(const QByteArray& body) const {
    const auto form = parseForm(body);
    if (formValue(form, u"email"_s) != m_options.account || formValue(form, u"pass1"_s) != m_options.password)
        return htmlReply(loginFailedPage());
    Reply reply = htmlReply(myTopPage(m_options.account));
    const quint64 session[2] = {QRandomGenerator::global()->generate64(), QRandomGenerator::global()->generate64()};
    const QByteArray token = QByteArray(reinterpret_cast<const char*>(session), sizeof session).toHex();
    reply.headers.append({"Set-Cookie", "zsession=" + token + "; Path=/; Secure; HttpOnly"});
    return reply;
}

MarketServer::Reply MarketServer::requestDetail(const QString& id) const {
    if (id.isEmpty() || id.contains(u'/'))
        return htmlReply(notFoundPage(), QHttpServerResponder::StatusCode::NotFound);
    const std::optional<MarketRequest> request = m_catalog->find(id);
    return htmlReply(requestDetailPage(id, request ? &*request : nullptr));
}

FailMode MarketServer::takeFailure(const QString& key) {
    const auto it = m_failures.find(key);
    if (it == m_failures.end())
        return FailMode::None;
    const FailMode mode = it->mode;
    if (it->remaining > 0 && --it->remaining == 0)
        m_failures.erase(it);
    return mode;
}

void MarketServer::deliver(std::shared_ptr<QHttpServerResponder> responder, QTcpSocket* socket, FailMode failure,
                           const Reply& reply, int delay) {
    const auto answer = [responder, socket = QPointer<QTcpSocket>(socket), failure, reply] {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            return;
        switch (failure) {
        case FailMode::Stall:
            // The request has been read; the connection stays open and nothing is ever written.
            break;
        case FailMode::Drop:
            socket->abort();
            break;
        case FailMode::ServerError:
            send(*responder, htmlReply(serverErrorPage(), QHttpServerResponder::StatusCode::InternalServerError));
            break;
        case FailMode::LoggedOut:
            send(*responder, {QHttpServerResponder::StatusCode::Found,
                              "text/html",
                              {},
                              {{"Location", "/?menu=my_top&act=login_form"}}});
            break;
        case FailMode::Empty:
            send(*responder, {QHttpServerResponder::StatusCode::Ok, "text/html", {}, {}});
            break;
        case FailMode::None:
            send(*responder, reply);
            break;
        }
    };
    // Closing the socket is left to the event loop: the base class still uses it after
    // handleRequest returns.
    if (delay > 0 || failure == FailMode::Drop)
        QTimer::singleShot(delay, socket, answer);
    else
        answer();
}

MarketServer::Reply MarketServer::htmlReply(const QString& html, QHttpServerResponder::StatusCode status) {
    return {status, "text/html; charset=Shift_JIS", encodeSiteText(html), {}};
}

void MarketServer::send(QHttpServerResponder& responder, const Reply& reply) {
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Cache-Control", "no-store");
    for (const auto& [name, value] : reply.headers)
        responder.writeHeader(name, value);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeBody(reply.body);
}

} // namespace marketsim

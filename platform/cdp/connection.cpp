#include "platform/cdp/connection.h"

#include "platform/cdp/errors.h"
#include "platform/wait.h"

#include <QJsonDocument>
#include <QScopeGuard>

namespace velkoria::cdp {

namespace {
// The most messages one dispatchArrived() takes, so that a browser that keeps
// talking cannot hold the caller there; the rest comes on the next wakeup.
constexpr int kBurst = 256;
} // namespace

Connection::Connection(std::unique_ptr<Transport> transport) : m_transport(std::move(transport)) {
    m_transport->setReadableHandler([this] { dispatchArrived(); });
}

Connection::~Connection() {
    // No handler may run during destruction.
    m_pending.clear();
    m_listeners.clear();
    m_transport->close();
}

void Connection::addEventListener(EventListener listener) {
    m_listeners.push_back(std::move(listener));
}

void Connection::post(const QString& method, const QJsonObject& params, const QString& sessionId,
                      ReplyHandler onReply) {
    if (m_gone) {
        if (onReply)
            onReply({}, m_gone);
        return;
    }
    const qint64 id = m_nextId++;
    QJsonObject message{{QStringLiteral("id"), id}, {QStringLiteral("method"), method}};
    if (!params.isEmpty())
        message.insert(QStringLiteral("params"), params);
    if (!sessionId.isEmpty())
        message.insert(QStringLiteral("sessionId"), sessionId);
    m_pending.emplace(id, Pending{method, std::move(onReply)});
    if (!m_transport->write(QJsonDocument(message).toJson(QJsonDocument::Compact)))
        markGone(); // fails this command with the others
}

QJsonObject Connection::call(const QString& method, const QJsonObject& params, const QString& sessionId,
                             QDeadlineTimer deadline) {
    bool answered = false;
    QJsonObject result;
    std::exception_ptr error;
    const qint64 id = m_nextId;
    post(method, params, sessionId, [&](const QJsonObject& r, std::exception_ptr e) {
        answered = true;
        result = r;
        error = e;
    });
    // Should the wait be left otherwise, the reply must not reach this frame any more.
    const auto forget = qScopeGuard([&] {
        if (!answered)
            m_pending.erase(id);
    });
    const auto arrived = [&] {
        dispatchArrived();
        return answered;
    };
    if (!waitUntil(deadline, arrived)) // its reply, should it still come, is ignored
        throw BrowserCommandError(BrowserError::Kind::NoAnswer, method);
    if (error)
        std::rethrow_exception(error);
    return result;
}

void Connection::dispatchArrived() {
    QByteArray message;
    bool dispatched = false;
    for (int i = 0; i < kBurst; ++i) {
        const Transport::ReadResult read = m_transport->read(message);
        if (read == Transport::ReadResult::Empty)
            break;
        if (read == Transport::ReadResult::Closed) {
            markGone();
            break;
        }
        // Once the browser is gone, what still comes is read and dropped: left
        // unread, it would wake the program again and again.
        if (!m_gone) {
            dispatch(message);
            dispatched = true;
        }
    }
    if (dispatched)
        wakeWaits();
}

void Connection::dispatch(const QByteArray& message) {
    const QJsonObject object = QJsonDocument::fromJson(message).object();
    const QJsonValue id = object.value(QStringLiteral("id"));
    if (!id.isUndefined()) {
        const auto it = m_pending.find(id.toInteger());
        if (it == m_pending.end())
            return; // the caller stopped waiting for it
        Pending pending = std::move(it->second);
        m_pending.erase(it);
        if (!pending.onReply)
            return;
        if (object.contains(QStringLiteral("error"))) {
            const QJsonObject error = object.value(QStringLiteral("error")).toObject();
            pending.onReply(
                {}, std::make_exception_ptr(BrowserCommandError(BrowserError::Kind::Refused, pending.method,
                                                                error.value(QStringLiteral("message")).toString(),
                                                                error.value(QStringLiteral("code")).toInteger())));
        } else {
            pending.onReply(object.value(QStringLiteral("result")).toObject(), nullptr);
        }
        return;
    }
    const QString method = object.value(QStringLiteral("method")).toString();
    if (method.isEmpty())
        return;
    const QJsonObject params = object.value(QStringLiteral("params")).toObject();
    const QString sessionId = object.value(QStringLiteral("sessionId")).toString();
    for (const EventListener& listener : m_listeners)
        listener(method, params, sessionId);
}

void Connection::markGone() {
    if (m_gone)
        return;
    m_gone = std::make_exception_ptr(BrowserGoneError());
    std::map<qint64, Pending> pending;
    pending.swap(m_pending);
    for (auto& [id, command] : pending)
        if (command.onReply)
            command.onReply({}, m_gone);
    wakeWaits();
}

void Connection::throwIfGone() {
    dispatchArrived();
    if (m_gone)
        std::rethrow_exception(m_gone);
}

void Connection::close() {
    m_transport->close();
    markGone();
}

} // namespace velkoria::cdp

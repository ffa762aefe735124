#include "platform/cdp/connection.h"

#include "platform/waitpump.h"

#include <QJsonDocument>
#include <QScopeGuard>

namespace velkoria::cdp {

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

void Connection::throwIfGone() const {
    if (m_gone)
        throw BrowserGoneError();
}

void Connection::post(const QString& method, const QJsonObject& params, const QString& sessionId,
                      ReplyHandler onReply) {
    throwIfGone();
    const qint64 id = m_nextId++;
    QJsonObject message{{QStringLiteral("id"), id}, {QStringLiteral("method"), method}};
    if (!params.isEmpty())
        message.insert(QStringLiteral("params"), params);
    if (!sessionId.isEmpty())
        message.insert(QStringLiteral("sessionId"), sessionId);
    m_pending.emplace(id, Pending{method, std::move(onReply)});
    if (!m_transport->write(QJsonDocument(message).toJson(QJsonDocument::Compact))) {
        markGone();
        throw BrowserGoneError();
    }
}

QJsonObject Connection::call(const QString& method, const QJsonObject& params, const QString& sessionId,
                             QDeadlineTimer deadline) {
    bool answered = false;
    QJsonObject result;
    std::optional<RuntimeError> error;
    const qint64 id = m_nextId;
    post(method, params, sessionId, [&](const QJsonObject& r, const std::optional<RuntimeError>& e) {
        answered = true;
        result = r;
        error = e;
    });
    // Should the wait end otherwise (the user ends the program from it), the
    // reply must not reach this frame any more.
    const auto forget = qScopeGuard([&] {
        if (!answered)
            m_pending.erase(id);
    });
    while (!answered) {
        // The limit holds even while events keep coming without the reply.
        if (deadline.hasExpired() || pump(deadline) == Pumped::Timeout) {
            // A last read before giving up: time the program spent elsewhere
            // (a message box, a window being moved) must not cost a reply that
            // is already there.
            dispatchArrived();
            if (answered)
                break;
            // Its reply, should it come, is ignored.
            throw makeError(AutomationError, QStringLiteral("ブラウザが応答しません (%1)").arg(method));
        }
    }
    // A call that failed because the browser went away fails as such.
    throwIfGone();
    if (error)
        throw *error;
    return result;
}

bool Connection::waitForMessage(QDeadlineTimer deadline) {
    throwIfGone();
    const Pumped pumped = pump(deadline);
    throwIfGone();
    return pumped == Pumped::Dispatched;
}

void Connection::dispatchArrived() {
    if (m_gone)
        return;
    QByteArray message;
    // A burst is bounded, so that a browser that keeps talking cannot hold the
    // caller here; what is left is read on the next wakeup.
    constexpr int kBurst = 256;
    for (int i = 0; i < kBurst; ++i) {
        switch (m_transport->read(message, QDeadlineTimer(0))) {
        case Transport::ReadResult::Message:
            dispatch(message);
            if (m_gone)
                return;
            continue;
        case Transport::ReadResult::Closed:
            markGone();
            return;
        case Transport::ReadResult::Timeout:
            return;
        }
    }
}

Connection::Pumped Connection::pump(QDeadlineTimer deadline) {
    if (m_gone)
        return Pumped::Gone;
    QByteArray message;
    for (bool read = false; !read;) {
        // In short slices while the program has windows to keep alive: a slow or
        // stalled site must not freeze them.
        const bool sliced = haveWaitPump() && (deadline.isForever() || deadline.remainingTime() > kWaitPumpSliceMs);
        const QDeadlineTimer slice = sliced ? QDeadlineTimer(kWaitPumpSliceMs) : deadline;
        switch (m_transport->read(message, slice)) {
        case Transport::ReadResult::Timeout: {
            if (!sliced || deadline.hasExpired())
                return Pumped::Timeout;
            // The program's event loop may hand arrived messages over by
            // itself (the Windows pipe does): those count as this wait's.
            const quint64 before = m_dispatched;
            runWaitPump();
            if (m_gone)
                return Pumped::Gone;
            if (m_dispatched != before)
                return Pumped::Dispatched;
            continue;
        }
        case Transport::ReadResult::Closed:
            markGone();
            return Pumped::Gone;
        case Transport::ReadResult::Message:
            read = true;
            break;
        }
    }
    dispatch(message);
    // Whatever came in the same burst goes too, so that one wakeup sees it all.
    dispatchArrived();
    return m_gone ? Pumped::Gone : Pumped::Dispatched;
}

void Connection::dispatch(const QByteArray& message) {
    ++m_dispatched;
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
        const QJsonObject error = object.value(QStringLiteral("error")).toObject();
        if (object.contains(QStringLiteral("error"))) {
            const QString text = QStringLiteral("ブラウザがコマンドを拒否しました (%1): %2 [%3]")
                                     .arg(pending.method, error.value(QStringLiteral("message")).toString())
                                     .arg(error.value(QStringLiteral("code")).toInteger());
            pending.onReply({}, makeError(AutomationError, text));
        } else {
            pending.onReply(object.value(QStringLiteral("result")).toObject(), std::nullopt);
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
    m_gone = true;
    std::map<qint64, Pending> pending;
    pending.swap(m_pending);
    const RuntimeError gone = makeError(BrowserGone);
    for (auto& [id, call] : pending)
        if (call.onReply)
            call.onReply({}, gone);
}

void Connection::close() {
    m_transport->close();
    markGone();
}

} // namespace velkoria::cdp

#pragma once

#include "platform/cdp/transport.h"
#include "platform/errors.h"

#include <QJsonObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace velkoria::cdp {

// A DevTools protocol connection over a transport. One read path routes every
// message: a reply (it has an "id") to whoever sent that command, an event (it
// has a "method") to the event listeners. Reading happens only inside the
// calls below and in dispatchArrived(); nothing here runs the event loop.
//
// Once the browser is gone (the transport closes, or markGone() is called)
// every pending command fails with 462 at once and so does every later call.
class Connection {
public:
    using ReplyHandler = std::function<void(const QJsonObject& result, const std::optional<RuntimeError>& error)>;
    using EventListener =
        std::function<void(const QString& method, const QJsonObject& params, const QString& sessionId)>;

    explicit Connection(std::unique_ptr<Transport> transport);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Listeners run while a message is dispatched; they must not wait (no call()).
    void addEventListener(EventListener listener);

    // Sends a command without waiting; onReply (if any) runs when its reply is
    // dispatched, or with error 462 when the browser goes first. Throws 462 at
    // once when the browser is already gone.
    void post(const QString& method, const QJsonObject& params = {}, const QString& sessionId = {},
              ReplyHandler onReply = {});
    // Sends a command and dispatches messages until its reply arrives. Throws
    // AutomationError naming the command when the browser refuses it or does
    // not answer by the deadline (a later reply is then ignored), 462 when the
    // browser goes.
    QJsonObject call(const QString& method, const QJsonObject& params, const QString& sessionId,
                     QDeadlineTimer deadline);

    // Waits for the browser's next message and dispatches it (and whatever else
    // has arrived). True when something was dispatched, false at the deadline;
    // throws 462 as soon as the browser is gone.
    bool waitForMessage(QDeadlineTimer deadline);
    // Dispatches what has already arrived, without waiting and without throwing.
    void dispatchArrived();

    // The browser is gone although the transport is still open (its page was
    // closed): fail everything pending and every later call with 462.
    void markGone();
    bool isGone() const { return m_gone; }

    // Closes the transport; the browser notices and ends itself.
    void close();

private:
    enum class Pumped { Dispatched, Timeout, Gone };
    Pumped pump(QDeadlineTimer deadline);
    void dispatch(const QByteArray& message);
    void throwIfGone() const;

    struct Pending {
        QString method;
        ReplyHandler onReply;
    };

    std::unique_ptr<Transport> m_transport;
    std::map<qint64, Pending> m_pending;
    std::vector<EventListener> m_listeners;
    qint64 m_nextId = 1;
    bool m_gone = false;
    // Messages dispatched so far, wherever from: a wait sees what its pump took.
    quint64 m_dispatched = 0;
};

} // namespace velkoria::cdp

#pragma once

#include "platform/cdp/errors.h"
#include "platform/cdp/transport.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace velkoria::cdp {

// A DevTools protocol connection over a transport. One read path routes every
// message, whether the program idles or waits (platform/wait.cpp): the
// transport's readable handler calls dispatchArrived(), which hands a reply
// (it has an "id") to whoever sent that command and an event (it has a
// "method") to the event listeners, then wakes the waits.
//
// The browser is gone once the transport closes, a write fails or markGone()
// is called (its page was closed). The connection then makes the one
// BrowserGoneError: every pending command fails with it at once, and so does
// every later call.
class Connection {
public:
    // error is null for an answer; otherwise BrowserGoneError or BrowserCommandError.
    using ReplyHandler = std::function<void(const QJsonObject& result, std::exception_ptr error)>;
    using EventListener =
        std::function<void(const QString& method, const QJsonObject& params, const QString& sessionId)>;

    explicit Connection(std::unique_ptr<Transport> transport);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Listeners run while a message is dispatched; they must not wait (no call()).
    void addEventListener(EventListener listener);

    // Sends a command without waiting and never throws: onReply (if any) runs
    // when its reply is dispatched, or with BrowserGoneError when the browser
    // is gone (at once, if it already is).
    void post(const QString& method, const QJsonObject& params = {}, const QString& sessionId = {},
              ReplyHandler onReply = {});
    // Sends a command and waits for its reply. Throws BrowserCommandError
    // naming the command when the browser refuses it or does not answer by
    // the deadline (a later reply is then ignored), BrowserGoneError when the
    // browser goes.
    QJsonObject call(const QString& method, const QJsonObject& params, const QString& sessionId,
                     QDeadlineTimer deadline);

    // Dispatches what has already arrived, without waiting and without throwing.
    void dispatchArrived();

    // The browser is gone although the transport is still open (its page was
    // closed): fail everything pending and every later call.
    void markGone();
    bool isGone() const { return m_gone != nullptr; }
    // Takes what has arrived, then throws BrowserGoneError if the browser is gone.
    void throwIfGone();

    // Closes the transport; the browser notices and ends itself.
    void close();

private:
    void dispatch(const QByteArray& message);

    struct Pending {
        QString method;
        ReplyHandler onReply;
    };

    std::unique_ptr<Transport> m_transport;
    std::map<qint64, Pending> m_pending;
    std::vector<EventListener> m_listeners;
    qint64 m_nextId = 1;
    std::exception_ptr m_gone; // the BrowserGoneError, once the browser is gone
};

} // namespace velkoria::cdp

#pragma once

#include "platform/cdp/errors.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <exception>
#include <functional>

namespace velkoria::cdp {

class Connection;
class PageSession;

// The browser's start, without waiting for it: its first answer, then its
// page made in a minimized window of its own and its session set up, each
// step as its answer arrives, all within one limit. It ends started
// or failed; a failure is kept (every later wait throws it) and told once, by
// failed(), from the event loop.
class BrowserStart : public QObject {
    Q_OBJECT
public:
    // What a failed start becomes: made from the failure's cause, whether the
    // browser had answered at all and whether it has gone. It may also throw
    // the BrowserError to tell instead.
    using Explain = std::function<BrowserStartError(const BrowserError& cause, bool answered, bool gone)>;

    // attached: the page the start took, as soon as it is known.
    BrowserStart(Connection& connection, PageSession& session, std::function<void(const QString& targetId)> attached);

    void begin(int limitMs, Explain explain);
    bool started() const { return m_started; }
    std::exception_ptr failure() const { return m_failure; }
    // Waits for the start to end (within its limit); throws its failure.
    void wait();

signals:
    void failed(std::exception_ptr failure);

private:
    // Each step posts its command, and its answer takes the next.
    void step(const QString& method, const QJsonObject& params, std::function<void(const QJsonObject&)> next);
    void attachTo(const QString& targetId);
    void succeed();
    void fail(std::exception_ptr cause);
    void timedOut();

    Connection& m_connection;
    PageSession& m_session;
    std::function<void(const QString&)> m_attached;
    Explain m_explain;
    QDeadlineTimer m_deadline;
    QTimer m_limit; // ends the start while nothing waits for it
    QString m_step; // the command it waits for
    bool m_answered = false;
    bool m_started = false;
    std::exception_ptr m_failure;
};

} // namespace velkoria::cdp

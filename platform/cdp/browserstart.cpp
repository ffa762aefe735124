#include "platform/cdp/browserstart.h"

#include "platform/cdp/connection.h"
#include "platform/cdp/json.h"
#include "platform/cdp/pagesession.h"
#include "platform/wait.h"

#include <QJsonArray>

namespace velkoria::cdp {

BrowserStart::BrowserStart(Connection& connection, PageSession& session, std::function<void(const QString&)> attached)
    : m_connection(connection), m_session(session), m_attached(std::move(attached)) {
    m_limit.setSingleShot(true);
    QObject::connect(&m_limit, &QTimer::timeout, this, [this] { timedOut(); });
}

void BrowserStart::begin(int limitMs, Explain explain) {
    m_explain = std::move(explain);
    m_deadline = QDeadlineTimer(limitMs);
    m_limit.start(limitMs);
    // Also the "are you there": a browser that cannot start ends here. The
    // browser answers its commands in order, so its page is asked for at once.
    // The browser starts without a window (--no-startup-window): the page's
    // window is made minimized, so it is never on the screen before the user
    // asks for it. A click that waits to show it restores it once started.
    step(QStringLiteral("Browser.getVersion"), {}, [this](const QJsonObject&) { m_answered = true; });
    step(QStringLiteral("Target.createTarget"),
         {{QStringLiteral("url"), QStringLiteral("about:blank")},
          {QStringLiteral("newWindow"), true},
          {QStringLiteral("background"), true},
          {QStringLiteral("windowState"), QStringLiteral("minimized")}},
         [this](const QJsonObject& created) { attachTo(text(created, "targetId")); });
}

void BrowserStart::step(const QString& method, const QJsonObject& params,
                        std::function<void(const QJsonObject&)> next) {
    m_step = method;
    m_connection.post(method, params, {},
                      [this, next = std::move(next)](const QJsonObject& result, std::exception_ptr error) {
                          if (error)
                              fail(error);
                          else if (!m_failure)
                              next(result);
                      });
}

void BrowserStart::attachTo(const QString& targetId) {
    m_attached(targetId);
    m_session.start(targetId);
    succeed();
}

void BrowserStart::succeed() {
    if (m_failure)
        return;
    m_started = true;
    m_limit.stop();
}

void BrowserStart::fail(std::exception_ptr cause) {
    if (m_started || m_failure)
        return;
    m_limit.stop();
    try {
        try {
            std::rethrow_exception(cause);
        } catch (const BrowserError& error) {
            if (!m_explain)
                throw;
            throw m_explain(error, m_answered, m_connection.isGone());
        }
    } catch (const BrowserError&) {
        m_failure = std::current_exception();
    }
    wakeWaits();
    // Told from the event loop, never from inside the dispatch that brought
    // the failure. The pipe is closed first: a browser that did not answer
    // ends by itself.
    QTimer::singleShot(0, this, [this] {
        m_connection.close();
        emit failed(m_failure);
    });
}

void BrowserStart::timedOut() {
    fail(std::make_exception_ptr(BrowserCommandError(BrowserError::Kind::NoAnswer, m_step)));
}

void BrowserStart::wait() {
    if (!m_started && !m_failure && !velkoria::waitUntil(m_deadline, [this] {
            m_connection.dispatchArrived();
            return m_started || m_failure;
        }))
        timedOut();
    if (m_failure)
        std::rethrow_exception(m_failure);
}

} // namespace velkoria::cdp

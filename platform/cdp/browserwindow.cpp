#include "platform/cdp/browserwindow.h"

#include "platform/cdp/errors.h"
#include "platform/wait.h"

namespace velkoria::cdp {

namespace {

// How long a window manager may take to carry out a state change.
constexpr int kWindowStateLimitMs = 1000;

// Settles when the page's visibility is %1 ("hidden" or "visible"), or after %2 ms.
const QString kVisibilityChange = QStringLiteral(R"js(new Promise(settle => {
  const wanted = '%1';
  const check = () => {
    if (document.visibilityState !== wanted) return;
    document.removeEventListener('visibilitychange', check);
    settle(true);
  };
  document.addEventListener('visibilitychange', check);
  setTimeout(() => settle(false), %2);
  check();
}))js");

} // namespace

QJsonObject BrowserWindow::call(const QString& method, const QJsonObject& params, const QString& session) {
    return m_connection.call(method, params, session, QDeadlineTimer(m_callLimitMs));
}

QJsonObject BrowserWindow::bounds() {
    // Looked up each time: the user may have dragged the tab into another window.
    return call(QStringLiteral("Browser.getWindowForTarget"), {{QStringLiteral("targetId"), m_targetId}})
        .value(u"bounds")
        .toObject();
}

void BrowserWindow::setBounds(const QJsonObject& bounds) {
    const int windowId = call(QStringLiteral("Browser.getWindowForTarget"), {{QStringLiteral("targetId"), m_targetId}})
                             .value(u"windowId")
                             .toInt();
    call(QStringLiteral("Browser.setWindowBounds"),
         {{QStringLiteral("windowId"), windowId}, {QStringLiteral("bounds"), bounds}});
}

void BrowserWindow::hide(bool pageSettingUp) {
    if (pageSettingUp && m_hidden && !m_minimizeLands.hasExpired())
        return;
    setBounds({{QStringLiteral("windowState"), QStringLiteral("minimized")}});
    m_hidden = true;
    m_minimizeLands = QDeadlineTimer(kWindowStateLimitMs);
}

void BrowserWindow::show(const QString& session) {
    if (!m_minimizeLands.hasExpired())
        waitForState(QStringLiteral("minimized"), session, m_minimizeLands);
    m_minimizeLands = QDeadlineTimer(0);
    // Restoring the window activates it, and so does bringing the page to the
    // front; a permission to do so lasts only until the user's next input.
    if (m_allowForeground)
        m_allowForeground();
    setBounds({{QStringLiteral("windowState"), QStringLiteral("normal")}});
    m_hidden = false;
    // Bounds can only be set on a window in the normal state.
    waitForState(QStringLiteral("normal"), session, QDeadlineTimer(kWindowStateLimitMs));
    if (m_pendingTop) {
        setBounds({{QStringLiteral("top"), *m_pendingTop}});
        m_pendingTop.reset();
    }
    if (m_allowForeground)
        m_allowForeground();
    call(QStringLiteral("Page.bringToFront"), {}, session);
}

void BrowserWindow::setTop(int top) {
    if (m_hidden)
        m_pendingTop = top;
    else
        setBounds({{QStringLiteral("top"), top}});
}

bool BrowserWindow::waitForState(const QString& state, const QString& session, QDeadlineTimer deadline) {
    // The page sees the change the protocol does not report: it turns hidden
    // when its window is minimized and visible when restored. A promise in the
    // page that settles on that change makes the browser's answer the event
    // to wait for. Without a window manager minimizing is ignored altogether:
    // hence the limit.
    const QString visibility = state == u"minimized" ? QStringLiteral("hidden") : QStringLiteral("visible");
    for (;;) {
        if (bounds().value(u"windowState").toString() == state)
            return true;
        if (deadline.hasExpired())
            return false;
        const qint64 remaining = qMax<qint64>(1, deadline.remainingTime());
        try {
            m_connection.call(QStringLiteral("Runtime.evaluate"),
                              {{QStringLiteral("expression"), kVisibilityChange.arg(visibility).arg(remaining)},
                               {QStringLiteral("awaitPromise"), true},
                               {QStringLiteral("returnByValue"), true},
                               {QStringLiteral("silent"), true}},
                              session, QDeadlineTimer(remaining + 200));
        } catch (const BrowserCommandError&) {
            // A page in the middle of a navigation answers late or not at all:
            // the state itself is what counts.
        }
        // The browser may learn of the new state a moment after its page:
        // look again, shortly.
        if (bounds().value(u"windowState").toString() == state)
            return true;
        waitUntil(QDeadlineTimer(qMin<qint64>(20, qMax<qint64>(0, deadline.remainingTime()))), [] { return false; });
    }
}

} // namespace velkoria::cdp

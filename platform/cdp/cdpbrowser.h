#pragma once

#include "platform/browser.h"
#include "platform/cdp/connection.h"
#include "platform/cdp/loadwatcher.h"
#include "platform/cdp/postinterceptor.h"

#include <QJsonObject>
#include <QJsonValue>
#include <functional>
#include <memory>

namespace velkoria::cdp {

class BrowserProcess;

// The browser over the DevTools protocol: one page (tab) of a Chromium-family
// browser, reached through its session. Waiting is done by blocking on the
// connection (waitForActivity), never by running the program's event loop;
// while the program is idle, the connection's readable handler dispatches
// whatever the browser sends, so paused requests continue and the load state
// stays current.
class CdpBrowser : public Browser {
public:
    // connection: to a browser that has answered. process (may be null) is
    // kept until the browser has ended. callLimitMs bounds every command.
    CdpBrowser(std::unique_ptr<Connection> connection, int callLimitMs, std::unique_ptr<BrowserProcess> process = {});
    // Closes the pipe; the browser ends by itself (it is not asked to quit).
    ~CdpBrowser() override;

    // Finds the browser's page, asks for its window to be hidden and starts
    // attaching to it. Does not wait for the page's session: its answers are
    // handled as they arrive, and every member that needs the page waits for
    // them first (a failure of the setup is thrown from there).
    void attach();

    void setVisible(bool visible) override;
    void setTop(int top) override;
    void navigate(const QString& url, const QByteArray& postData, const QString& headers) override;
    bool busy() override;
    int readyState() override;
    bool lastLoadFailed() override;
    bool waitForActivity(QDeadlineTimer deadline) override;
    QString documentHtml() override;

    // The value of a script expression in the current page (for measurements).
    QJsonValue evaluate(const QString& expression);
    // The window's bounds and windowState ("normal", "minimized", ...) as the browser reports them.
    QJsonObject windowBounds();
    // Closes the page as the user closing the window does (for tests).
    void closePageForTest();
    BrowserProcess* process() const { return m_process.get(); }

private:
    QJsonObject call(const QString& method, const QJsonObject& params = {}, bool onPage = true);
    void refresh();
    void throwIfGone();
    void setupStep(const QString& method, const QJsonObject& params, bool onPage,
                   std::function<void(const QJsonObject&)> next);
    void ensureAttached();
    void onEvent(const QString& method, const QJsonObject& params, const QString& sessionId);
    void postQuietly(const QString& method, const QJsonObject& params);
    void disableFetchWhenSettled();
    int windowId();
    void setWindowBounds(const QJsonObject& bounds);
    void requestMinimize();
    // Waits until the browser reports its window in that state; false at the deadline.
    bool waitForWindowState(const QString& state, QDeadlineTimer deadline);

    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<BrowserProcess> m_process;
    int m_callLimitMs;
    QString m_targetId;
    QString m_sessionId;
    LoadWatcher m_watcher;
    PostInterceptor m_interceptor;
    bool m_fetchEnabled = false;
    int m_navigations = 0;
    bool m_hidden = false;
    // Until when a minimize asked for may still be landing (the window
    // manager's moment); expired when none is.
    QDeadlineTimer m_minimizeLands{0};
    std::optional<int> m_pendingTop;
    int m_setupUnanswered = 0;
    std::optional<RuntimeError> m_setupError;
};

} // namespace velkoria::cdp

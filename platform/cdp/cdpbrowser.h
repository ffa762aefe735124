#pragma once

#include "platform/browser.h"
#include "platform/cdp/browserwindow.h"
#include "platform/cdp/connection.h"
#include "platform/cdp/interception.h"
#include "platform/cdp/loadwatcher.h"
#include "platform/cdp/pagesession.h"

#include <QJsonObject>
#include <QJsonValue>
#include <memory>

namespace velkoria::cdp {

class BrowserProcess;

// The browser over the DevTools protocol: one page (tab) of a Chromium-family
// browser, reached through its session. Its parts: the page's session
// (PageSession), the load state derived from its events (LoadWatcher), the
// POSTs and the interception they need (Interception) and the window
// (BrowserWindow). Whatever the browser sends is dispatched by the connection
// as it arrives, while the program idles or waits (platform/wait.cpp), so
// paused requests continue, the load state stays current, and a JavaScript
// dialog that opens all the same while the window is hidden (PageSession
// keeps them quiet there) is dismissed at once; a shown page keeps its
// dialogs for the user.
class CdpBrowser : public Browser {
public:
    // connection: to a browser that has answered. process (may be null) is
    // kept until the browser has ended. callLimitMs bounds every command.
    CdpBrowser(std::unique_ptr<Connection> connection, int callLimitMs, std::unique_ptr<BrowserProcess> process = {});
    // Closes the pipe; the browser ends by itself (it is not asked to quit).
    ~CdpBrowser() override;

    // Finds the browser's page, asks for its window to be hidden and starts
    // attaching to it. Does not wait for the page's session: every member
    // that needs the page waits for it first (and throws a failed setup).
    void attach();

    void setVisible(bool visible) override;
    void setTop(int top) override;
    void navigate(const QString& url, const QByteArray& postData, const QString& headers) override;
    bool busy() override;
    int readyState() override;
    bool lastLoadFailed() override;
    void stopPage() override;
    bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) override;
    QString documentHtml() override;

    // The value of a script expression in the current page (for measurements).
    QJsonValue evaluate(const QString& expression);
    // The window's bounds and windowState as the browser reports them.
    QJsonObject windowBounds();
    BrowserProcess* process() const { return m_process.get(); }
    bool gone() const { return m_connection->isGone(); }

private:
    QJsonObject call(const QString& method, const QJsonObject& params = {}, bool onPage = true);
    // The value of the expression, or (byValue false) the page's object that
    // holds it, kept in the reading group until that is released.
    QJsonValue evaluate(const QString& expression, bool byValue);
    // The result (a remote object) of a script command; throws the script's exception.
    static QJsonValue remoteObject(const QString& method, const QJsonObject& reply);
    // The page's session is set up and the browser is still there.
    void refresh();
    void onEvent(const QString& method, const QJsonObject& params, const QString& sessionId);
    void releaseInterception();

    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<BrowserProcess> m_process;
    int m_callLimitMs;
    QString m_targetId;
    LoadWatcher m_watcher;
    PageSession m_session;
    Interception m_interception;
    BrowserWindow m_window;
    int m_navigations = 0;
};

} // namespace velkoria::cdp

#pragma once

#include "platform/cdp/browser.h"
#include "platform/cdp/browserstart.h"
#include "platform/cdp/browserwindow.h"
#include "platform/cdp/connection.h"
#include "platform/cdp/interception.h"
#include "platform/cdp/loadwatcher.h"
#include "platform/cdp/pagesession.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QJsonValue>
#include <QTimer>
#include <exception>
#include <functional>
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
    // connection: to the browser, which start() then waits for. process (may
    // be null) is kept until the browser has ended. callLimitMs bounds every
    // command.
    CdpBrowser(std::unique_ptr<Connection> connection, int callLimitMs, std::unique_ptr<BrowserProcess> process = {});
    // Sends Browser.close and closes the pipe; the browser ends by itself
    // within the process object's limit, or is killed.
    ~CdpBrowser() override;

    // Starts talking to the browser without waiting for it (BrowserStart),
    // within firstAnswerLimitMs. Hiding and the top edge need none of it;
    // every other member waits for the start first, and from a failed start
    // on throws what explain made of it.
    void start(int firstAnswerLimitMs, BrowserStart::Explain explain = {});
    void onStartFailure(std::function<void(std::exception_ptr failure)> failed) override;

    void setVisible(bool visible) override;
    void setTop(int top) override;
    void navigate(const QString& url, const QByteArray& postData, const QString& headers) override;
    bool busy() override;
    int readyState() override;
    bool lastLoadFailed() override;
    void stopPage() override;
    bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) override;
    QString documentHtml() override;
    QString documentUrl() override;

    // For the check kit and the real-browser tests, which check what the browser itself
    // reports: the value of a script expression in the current page, and the
    // window's bounds and windowState.
    QJsonValue evaluate(const QString& expression);
    QJsonObject windowBounds();
    // Bounds the whole reading of a page's markup (the page load limit);
    // the call limit until set.
    void setReadLimit(int milliseconds) { m_readLimitMs = milliseconds; }

    BrowserProcess* process() const { return m_process.get(); }
    bool gone() const { return m_connection->isGone(); }

private:
    QJsonObject call(const QString& method, const QJsonObject& params = {}, bool onPage = true);
    // Takes what has arrived; throws a failed start or the browser's end.
    void throwIfGone();
    // The value of the expression, or (byValue false) the page's object that
    // holds it, kept in the reading group until that is released.
    QJsonValue evaluate(const QString& expression, bool byValue);
    // The result (a remote object) of a script command; throws the script's exception.
    static QJsonValue remoteObject(const QString& method, const QJsonObject& reply);
    // Waits until the start has ended and the page's session is set up;
    // throws a failed start, or the browser's end.
    void waitUntilReady();
    void onEvent(const QString& method, const QJsonObject& params, const QString& sessionId);
    void releaseInterception();

    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<BrowserProcess> m_process;
    int m_callLimitMs;
    int m_readLimitMs;
    QString m_targetId;
    LoadWatcher m_watcher;
    PageSession m_session;
    Interception m_interception;
    BrowserWindow m_window;
    int m_navigations = 0;

    BrowserStart m_start;
};

} // namespace velkoria::cdp

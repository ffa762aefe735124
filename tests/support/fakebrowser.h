#pragma once

#include "platform/cdp/browser.h"
#include "tests/support/fakes.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace velkoria::test {

// A browser that records what the program asks of it and answers as a test
// scripts it. Time is the fake clock's: a navigation's page is complete
// loadMs after it started (with the page that `pageFor` gives for it), and a
// wait moves the clock on to that moment, or by its whole limit when the page
// stalls. No test waits for real time.
class FakeBrowser : public Browser {
public:
    struct Navigation {
        QString url;
        QByteArray body;
        QString headers;
    };
    struct Page {
        QString html;
        bool failed = false;       // network error or HTTP status >= 400
        bool stalls = false;       // never completes: waits run into their limit
        bool commandsFail = false; // busy() and documentHtml() fail: the browser does not answer in time
        QString url;               // where the navigation ended; empty: the address navigated to
    };

    void setVisible(bool visible) override;
    void setTop(int top) override;
    void navigate(const QString& url, const QByteArray& postData, const QString& headers) override;
    bool busy() override;
    int readyState() override;
    bool lastLoadFailed() override;
    QString documentUrl() override;
    void stopPage() override;
    bool waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) override;
    QString documentHtml() override;
    void onStartFailure(std::function<void(std::exception_ptr)> failed) override { m_onStartFailed = failed; }

    // The user closes the browser window: at once, or right before the named
    // call ("visible", "navigate", "html"), or ("load") while the next page
    // loads. Every call from then on throws BrowserGoneError.
    void close(const QString& when = {});
    // The browser fails its start after the window was shown: the failure is
    // told, and every call throws it from then on.
    void failStart(const BrowserStartError& failure);

    // Script
    std::function<Page(const Navigation&)> pageFor;
    int loadMs = 100;
    bool windowFails = false;     // setVisible() fails: the browser does not answer in time
    std::function<void()> onWait; // runs as a wait begins: the test acts inside the wait

    // Record
    FakeClock clock;
    QList<Navigation> navigations;
    QList<int> topCalls;
    QList<qint64> limits; // of the waits, in milliseconds
    // every member call in order: "visible 0", "top 0", "navigate", "busy", "readyState", "html", "stop", "wait"
    QStringList calls;
    bool visible = true;

private:
    void enter(const QString& call);
    void failIfAsked() const;
    bool loaded();

    Page m_page;
    QDateTime m_readyAt;
    bool m_complete = true;
    bool m_gone = false;
    QString m_closeAt;
    std::exception_ptr m_startFailure;
    std::function<void(std::exception_ptr)> m_onStartFailed;
};

} // namespace velkoria::test

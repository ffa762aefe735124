#pragma once

#include "platform/browser.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace velkoria::test {

// A browser that records what the program asks of it and answers as a test
// scripts it. Each navigation is busy for `busyPolls` reads of busy(), then
// complete with the page that `pageFor` gives for it.
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
        bool closes = false;       // the browser goes away while loading it
        bool commandsFail = false; // busy() and documentHtml() fail: the browser does not answer in time
    };

    void setVisible(bool visible) override;
    void setTop(int top) override;
    void navigate(const QString& url, const QByteArray& postData, const QString& headers) override;
    bool busy() override;
    int readyState() override;
    bool lastLoadFailed() override;
    bool waitForActivity(QDeadlineTimer deadline) override;
    QString documentHtml() override;

    // The user closes the browser window: every later call fails with 462.
    void close() { gone = true; }

    // Script
    std::function<Page(const Navigation&)> pageFor;
    int busyPolls = 2;
    bool gone = false;
    bool windowFails = false; // setVisible() fails: the browser does not answer in time

    // Record
    QList<Navigation> navigations;
    QList<bool> visibleCalls;
    QList<int> topCalls;
    QStringList calls; // every member call in order: "visible 0", "navigate", "busy", "readyState", "html", "wait"
    bool visible = true;

private:
    void checkAlive();
    void failIfAsked();
    Page m_page;
    int m_busyLeft = 0;
    bool m_complete = true;
};

} // namespace velkoria::test

#include "tests/support/fakebrowser.h"

#include "platform/errors.h"

#include <QThread>

namespace velkoria::test {

void FakeBrowser::checkAlive() {
    if (gone)
        throw BrowserGoneError();
}

void FakeBrowser::failIfAsked() {
    if (m_page.commandsFail)
        throw makeError(AutomationError, QStringLiteral("ブラウザが応答しません (fake)"));
}

void FakeBrowser::setVisible(bool v) {
    calls.append(QStringLiteral("visible %1").arg(v ? 1 : 0));
    checkAlive();
    if (windowFails)
        throw makeError(AutomationError, QStringLiteral("ブラウザが応答しません (fake)"));
    visibleCalls.append(v);
    visible = v;
}

void FakeBrowser::setTop(int top) {
    calls.append(QStringLiteral("top %1").arg(top));
    checkAlive();
    topCalls.append(top);
}

void FakeBrowser::navigate(const QString& url, const QByteArray& postData, const QString& headers) {
    calls.append(QStringLiteral("navigate"));
    checkAlive();
    Navigation nav{url, postData, headers};
    navigations.append(nav);
    m_page = pageFor ? pageFor(nav) : Page{};
    m_busyLeft = busyPolls;
    m_complete = false;
}

bool FakeBrowser::busy() {
    calls.append(QStringLiteral("busy"));
    checkAlive();
    failIfAsked();
    if (m_complete)
        return false;
    if (m_page.closes) {
        gone = true;
        checkAlive();
    }
    if (m_page.stalls)
        return true;
    if (m_busyLeft > 0) {
        --m_busyLeft;
        return true;
    }
    m_complete = true;
    return false;
}

int FakeBrowser::readyState() {
    calls.append(QStringLiteral("readyState"));
    checkAlive();
    return m_complete ? 4 : 3;
}

bool FakeBrowser::lastLoadFailed() {
    checkAlive();
    return m_page.failed;
}

bool FakeBrowser::waitForActivity(QDeadlineTimer deadline) {
    calls.append(QStringLiteral("wait"));
    checkAlive();
    if (m_page.stalls) {
        // Nothing will come: sleep out the caller's limit as a silent browser would.
        QThread::msleep(static_cast<unsigned long>(qMax<qint64>(0, deadline.remainingTime())));
        return false;
    }
    return true;
}

QString FakeBrowser::documentHtml() {
    calls.append(QStringLiteral("html"));
    checkAlive();
    failIfAsked();
    return m_page.html;
}

} // namespace velkoria::test

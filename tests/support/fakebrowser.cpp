#include "tests/support/fakebrowser.h"

#include "platform/errors.h"

namespace velkoria::test {

void FakeBrowser::close(const QString& when) {
    m_closeAt = when;
    m_gone = m_gone || when.isEmpty();
}

void FakeBrowser::failStart(const BrowserStartError& failure) {
    m_startFailure = std::make_exception_ptr(failure);
    if (m_onStartFailed)
        m_onStartFailed(m_startFailure);
}

void FakeBrowser::enter(const QString& call) {
    calls.append(call);
    if (m_startFailure)
        std::rethrow_exception(m_startFailure);
    if (!m_closeAt.isEmpty() && m_closeAt != u"load" && call.startsWith(m_closeAt))
        m_gone = true;
    if (m_gone)
        throw BrowserGoneError();
}

void FakeBrowser::failIfAsked() const {
    if (m_page.commandsFail)
        throw BrowserCommandError(BrowserError::Kind::NoAnswer, QStringLiteral("fake"));
}

bool FakeBrowser::loaded() {
    if (!m_complete && !m_page.stalls && clock.now() >= m_readyAt) {
        if (m_closeAt == u"load")
            m_gone = true;
        else
            m_complete = true;
    }
    if (m_gone)
        throw BrowserGoneError();
    return m_complete;
}

void FakeBrowser::setVisible(bool v) {
    enter(QStringLiteral("visible %1").arg(v ? 1 : 0));
    if (windowFails)
        throw BrowserCommandError(BrowserError::Kind::NoAnswer, QStringLiteral("fake"));
    visible = v;
}

void FakeBrowser::setTop(int top) {
    enter(QStringLiteral("top %1").arg(top));
    topCalls.append(top);
}

void FakeBrowser::navigate(const QString& url, const QByteArray& postData, const QString& headers) {
    enter(QStringLiteral("navigate"));
    Navigation nav{url, postData, headers};
    navigations.append(nav);
    m_page = pageFor ? pageFor(nav) : Page{};
    m_readyAt = clock.now().addMSecs(loadMs);
    m_complete = false;
}

bool FakeBrowser::busy() {
    enter(QStringLiteral("busy"));
    failIfAsked();
    return !loaded();
}

int FakeBrowser::readyState() {
    enter(QStringLiteral("readyState"));
    return loaded() ? 4 : 3;
}

QString FakeBrowser::documentUrl() {
    if (m_gone)
        throw BrowserGoneError();
    return m_page.url.isEmpty() && !navigations.isEmpty() ? navigations.last().url : m_page.url;
}

bool FakeBrowser::lastLoadFailed() {
    if (m_gone)
        throw BrowserGoneError();
    return m_page.failed;
}

void FakeBrowser::stopPage() {
    enter(QStringLiteral("stop"));
    m_page = {};
    m_complete = true;
}

bool FakeBrowser::waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) {
    enter(QStringLiteral("wait"));
    limits.append(limit.count());
    if (const std::function<void()> act = onWait) // it may replace itself
        act();
    const QDateTime until = clock.now().addMSecs(limit.count());
    for (;;) {
        if (done())
            return true;
        if (clock.now() >= until)
            return false;
        // Nothing happens until the page is loaded, or at all when it stalls.
        const bool loading = !m_complete && !m_page.stalls && m_readyAt > clock.now();
        clock.setNow(loading && m_readyAt < until ? m_readyAt : until);
    }
}

QString FakeBrowser::documentHtml() {
    enter(QStringLiteral("html"));
    failIfAsked();
    return m_page.html;
}

} // namespace velkoria::test

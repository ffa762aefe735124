#include "platform/cdp/cdpbrowser.h"

#include "platform/cdp/browserprocess.h"

#include <QJsonArray>

namespace velkoria::cdp {

namespace {

// Writes out the document element the way the program's page readers expect:
// element names as the DOM's tagName (upper case for HTML), attribute names as
// they are with values in double quotes, text escaped as the HTML serializer
// escapes it, comments kept, void elements without end tags. Chromium's own
// outerHTML writes tag names in lower case.
const QString kDocumentSerializer = QStringLiteral(R"js((() => {
  const VOID = new Set(['AREA', 'BASE', 'BASEFONT', 'BGSOUND', 'BR', 'COL', 'EMBED', 'FRAME', 'HR', 'IMG',
                        'INPUT', 'KEYGEN', 'LINK', 'META', 'PARAM', 'SOURCE', 'TRACK', 'WBR']);
  const RAW = new Set(['STYLE', 'SCRIPT', 'XMP', 'IFRAME', 'NOEMBED', 'NOFRAMES', 'PLAINTEXT', 'NOSCRIPT']);
  const HTML = 'http://www.w3.org/1999/xhtml';
  const text = s => s.replace(/&/g, '&amp;').replace(/\u00a0/g, '&nbsp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  const attr = s => s.replace(/&/g, '&amp;').replace(/\u00a0/g, '&nbsp;').replace(/"/g, '&quot;');
  const out = [];
  const write = node => {
    switch (node.nodeType) {
    case Node.ELEMENT_NODE: {
      const name = node.tagName;
      const html = node.namespaceURI === HTML;
      out.push('<', name);
      for (const a of node.attributes) out.push(' ', a.name, '="', attr(a.value), '"');
      out.push('>');
      if (html && VOID.has(name)) return;
      const raw = html && RAW.has(name);
      const children = html && name === 'TEMPLATE' ? node.content.childNodes : node.childNodes;
      for (const child of children) {
        if (raw && child.nodeType === Node.TEXT_NODE) out.push(child.data);
        else write(child);
      }
      out.push('</', name, '>');
      return;
    }
    case Node.TEXT_NODE: out.push(text(node.data)); return;
    case Node.CDATA_SECTION_NODE: out.push('<![CDATA[', node.data, ']]>'); return;
    case Node.PROCESSING_INSTRUCTION_NODE: out.push('<?', node.target, ' ', node.data, '>'); return;
    case Node.COMMENT_NODE: out.push('<!--', node.data, '-->'); return;
    }
  };
  if (document.documentElement) write(document.documentElement);
  return out.join('');
})())js");

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

QString text(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString();
}

} // namespace

CdpBrowser::CdpBrowser(std::unique_ptr<Connection> connection, int callLimitMs, std::unique_ptr<BrowserProcess> process)
    : m_connection(std::move(connection)), m_process(std::move(process)), m_callLimitMs(callLimitMs) {
    m_connection->addEventListener([this](const QString& method, const QJsonObject& params, const QString& sessionId) {
        onEvent(method, params, sessionId);
    });
}

CdpBrowser::~CdpBrowser() {
    // Closing the pipe ends the browser; the process object then waits for it.
    m_connection.reset();
    m_process.reset();
}

QJsonObject CdpBrowser::call(const QString& method, const QJsonObject& params, bool onPage) {
    return m_connection->call(method, params, onPage ? m_sessionId : QString(), QDeadlineTimer(m_callLimitMs));
}

void CdpBrowser::attach() {
    const QJsonArray targets = call(QStringLiteral("Target.getTargets"), {}, false).value(u"targetInfos").toArray();
    for (const QJsonValue& target : targets) {
        if (text(target.toObject(), "type") == QLatin1String("page")) {
            m_targetId = text(target.toObject(), "targetId");
            break;
        }
    }
    if (m_targetId.isEmpty())
        m_targetId = text(call(QStringLiteral("Target.createTarget"),
                               {{QStringLiteral("url"), QStringLiteral("about:blank")}}, false),
                          "targetId");
    // The window is hidden first of all, and at once: the browser has just
    // shown it. The window manager carries that out a moment later; nothing
    // here waits for it (showing the window again does, see setVisible).
    requestMinimize();

    // The page's session is set up as a chain of commands whose answers are
    // handled as they arrive, while the program goes on starting: its window
    // does not wait for the page's renderer. Whatever needs the page waits
    // for the chain's end (ensureAttached).
    setupStep(QStringLiteral("Target.attachToTarget"),
              {{QStringLiteral("targetId"), m_targetId}, {QStringLiteral("flatten"), true}}, false,
              [this](const QJsonObject& attached) {
                  m_sessionId = text(attached, "sessionId");
                  setupStep(QStringLiteral("Page.enable"), {}, true, [](const QJsonObject&) {});
                  setupStep(QStringLiteral("Network.enable"), {}, true, [](const QJsonObject&) {});
                  // Inspector.detached reports the user closing the page.
                  setupStep(QStringLiteral("Inspector.enable"), {}, true, [](const QJsonObject&) {});
                  setupStep(QStringLiteral("Page.setLifecycleEventsEnabled"), {{QStringLiteral("enabled"), true}}, true,
                            [](const QJsonObject&) {});
                  // Target.targetDestroyed reports the page's end too.
                  setupStep(QStringLiteral("Target.setDiscoverTargets"), {{QStringLiteral("discover"), true}}, false,
                            [](const QJsonObject&) {});
                  setupStep(QStringLiteral("Page.getFrameTree"), {}, true, [this](const QJsonObject& result) {
                      m_watcher.setMainFrame(
                          text(result.value(u"frameTree").toObject().value(u"frame").toObject(), "id"));
                  });
              });
}

void CdpBrowser::setupStep(const QString& method, const QJsonObject& params, bool onPage,
                           std::function<void(const QJsonObject&)> next) {
    if (m_setupError)
        return;
    ++m_setupUnanswered;
    const auto onReply = [this, next = std::move(next)](const QJsonObject& result,
                                                        const std::optional<RuntimeError>& error) {
        --m_setupUnanswered;
        if (m_setupError)
            return;
        if (error) {
            m_setupError = error->number() == BrowserGone
                               ? *error
                               : makeError(error->number(), QStringLiteral("ブラウザのページに接続できません。\n") +
                                                                error->description());
            return;
        }
        next(result);
    };
    try {
        m_connection->post(method, params, onPage ? m_sessionId : QString(), onReply);
    } catch (const RuntimeError& error) {
        // Only the browser's end makes a post fail.
        --m_setupUnanswered;
        m_setupError = error;
    }
}

void CdpBrowser::ensureAttached() {
    if (m_setupUnanswered > 0 && !m_setupError) {
        const QDeadlineTimer deadline(m_callLimitMs);
        while (m_setupUnanswered > 0 && !m_setupError) {
            // The limit holds even while other messages keep coming.
            if (deadline.hasExpired() || !m_connection->waitForMessage(deadline)) {
                m_connection->dispatchArrived(); // a last read before giving up
                if (m_setupUnanswered > 0 && !m_setupError)
                    throw makeError(AutomationError,
                                    QStringLiteral("ブラウザのページに接続できません (応答がありません)。"));
            }
        }
    }
    if (m_setupError) {
        // A setup that failed because the browser went away fails as such.
        throwIfGone();
        throw *m_setupError;
    }
}

void CdpBrowser::refresh() {
    ensureAttached();
    throwIfGone();
}

void CdpBrowser::throwIfGone() {
    m_connection->dispatchArrived();
    if (m_connection->isGone())
        throw BrowserGoneError();
}

void CdpBrowser::postQuietly(const QString& method, const QJsonObject& params) {
    try {
        m_connection->post(method, params, m_sessionId);
    } catch (const RuntimeError&) {
        // Only the browser's end makes a post fail, and that is already recorded.
    }
}

void CdpBrowser::onEvent(const QString& method, const QJsonObject& params, const QString& sessionId) {
    if (method == QLatin1String("Target.targetDestroyed")) {
        if (text(params, "targetId") == m_targetId)
            m_connection->markGone();
        return;
    }
    if (method == QLatin1String("Target.detachedFromTarget")) {
        if (!m_sessionId.isEmpty() && text(params, "sessionId") == m_sessionId)
            m_connection->markGone();
        return;
    }
    if (sessionId.isEmpty() || sessionId != m_sessionId)
        return;
    if (method == QLatin1String("Inspector.detached")) {
        m_connection->markGone();
        return;
    }
    if (method == QLatin1String("Fetch.requestPaused")) {
        // Every paused request must be continued, or its load stalls for ever.
        postQuietly(QStringLiteral("Fetch.continueRequest"),
                    m_interceptor.continueParams(params, m_watcher.mainFrame()));
        return;
    }
    m_watcher.handleEvent(method, params);
    disableFetchWhenSettled();
}

void CdpBrowser::disableFetchWhenSettled() {
    // While the window is hidden, only the program navigates (a scan run's pages
    // one after the other): interception stays on, which saves turning it on and
    // off again for every page. Once the user can browse, it goes off.
    if (m_fetchEnabled && m_watcher.settled() && !m_hidden) {
        m_fetchEnabled = false;
        m_interceptor.disarm();
        postQuietly(QStringLiteral("Fetch.disable"), {});
    }
}

void CdpBrowser::navigate(const QString& url, const QByteArray& postData, const QString& headers) {
    refresh();
    const int navigation = ++m_navigations;
    // From here on the wait describes this navigation, also when it cannot even
    // start: a wait must then end with a failed load, not with the old page.
    m_watcher.navigationRequested();
    if (postData.isEmpty()) {
        // Nothing to post: a plain navigation (the header lines only describe a body).
        m_interceptor.disarm();
    } else {
        m_interceptor.arm(postData, PostInterceptor::parseHeaderLines(headers));
        if (!m_fetchEnabled) {
            const QJsonObject pattern{{QStringLiteral("urlPattern"), QStringLiteral("*")},
                                      {QStringLiteral("resourceType"), QStringLiteral("Document")},
                                      {QStringLiteral("requestStage"), QStringLiteral("Request")}};
            try {
                call(QStringLiteral("Fetch.enable"), {{QStringLiteral("patterns"), QJsonArray{pattern}}});
            } catch (const RuntimeError& error) {
                if (error.number() != BrowserGone)
                    m_watcher.navigationRefused();
                throw;
            }
            m_fetchEnabled = true;
        }
    }
    // Not waited for: the reply comes only with the response's headers. It is
    // handled whenever it is read, while the program waits or idles.
    m_connection->post(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}}, m_sessionId,
                       [this, navigation](const QJsonObject& result, const std::optional<RuntimeError>& error) {
                           if (navigation != m_navigations)
                               return;
                           if (!error)
                               m_watcher.navigationAnswered(result);
                           else if (error->number() != BrowserGone)
                               m_watcher.navigationRefused();
                           disableFetchWhenSettled();
                       });
}

bool CdpBrowser::busy() {
    refresh();
    return m_watcher.busy();
}

int CdpBrowser::readyState() {
    refresh();
    return m_watcher.readyState();
}

bool CdpBrowser::lastLoadFailed() {
    refresh();
    return m_watcher.failed();
}

bool CdpBrowser::waitForActivity(QDeadlineTimer deadline) {
    return m_connection->waitForMessage(deadline);
}

QString CdpBrowser::documentHtml() {
    return evaluate(kDocumentSerializer).toString();
}

QJsonValue CdpBrowser::evaluate(const QString& expression) {
    refresh();
    const QJsonObject reply = call(QStringLiteral("Runtime.evaluate"), {{QStringLiteral("expression"), expression},
                                                                        {QStringLiteral("returnByValue"), true},
                                                                        {QStringLiteral("silent"), true}});
    if (reply.contains(u"exceptionDetails")) {
        const QJsonObject details = reply.value(u"exceptionDetails").toObject();
        throw makeError(AutomationError, QStringLiteral("ページを読み取れません (Runtime.evaluate): %1")
                                             .arg(text(details.value(u"exception").toObject(), "description")));
    }
    return reply.value(u"result").toObject().value(u"value");
}

int CdpBrowser::windowId() {
    // Looked up each time: the user may have dragged the tab into another window.
    return call(QStringLiteral("Browser.getWindowForTarget"), {{QStringLiteral("targetId"), m_targetId}}, false)
        .value(u"windowId")
        .toInt();
}

void CdpBrowser::setWindowBounds(const QJsonObject& bounds) {
    call(QStringLiteral("Browser.setWindowBounds"),
         {{QStringLiteral("windowId"), windowId()}, {QStringLiteral("bounds"), bounds}}, false);
}

QJsonObject CdpBrowser::windowBounds() {
    refresh();
    return call(QStringLiteral("Browser.getWindowForTarget"), {{QStringLiteral("targetId"), m_targetId}}, false)
        .value(u"bounds")
        .toObject();
}

void CdpBrowser::requestMinimize() {
    setWindowBounds({{QStringLiteral("windowState"), QStringLiteral("minimized")}});
    m_hidden = true;
    m_minimizeLands = QDeadlineTimer(kWindowStateLimitMs);
}

bool CdpBrowser::waitForWindowState(const QString& state, QDeadlineTimer deadline) {
    // The window manager carries a state change out a little later, and the
    // protocol has no event for the window's state. The page sees it, though:
    // it turns hidden when its window is minimized and visible when restored.
    // A promise in the page that settles on that change makes the browser's
    // answer the event to wait for. Without a window manager minimizing is
    // ignored altogether: hence the limit.
    const QString visibility = state == u"minimized" ? QStringLiteral("hidden") : QStringLiteral("visible");
    for (;;) {
        if (windowBounds().value(u"windowState").toString() == state)
            return true;
        if (deadline.hasExpired())
            return false;
        const qint64 remaining = qMax<qint64>(1, deadline.remainingTime());
        try {
            m_connection->call(QStringLiteral("Runtime.evaluate"),
                               {{QStringLiteral("expression"), kVisibilityChange.arg(visibility).arg(remaining)},
                                {QStringLiteral("awaitPromise"), true},
                                {QStringLiteral("returnByValue"), true},
                                {QStringLiteral("silent"), true}},
                               m_sessionId, QDeadlineTimer(remaining + 200));
        } catch (const BrowserGoneError&) {
            throw;
        } catch (const RuntimeError&) {
            // A page in the middle of a navigation answers late or not at all:
            // the state itself is what counts.
        }
        // The browser may learn of the new state a moment after its page:
        // the next check catches that without another wait in the page.
        if (windowBounds().value(u"windowState").toString() == state)
            return true;
        if (!m_connection->waitForMessage(
                QDeadlineTimer(qMin<qint64>(20, qMax<qint64>(0, deadline.remainingTime())))) &&
            deadline.hasExpired())
            return false;
    }
}

void CdpBrowser::setVisible(bool visible) {
    if (!visible) {
        // Hiding needs the window only, not the page.
        throwIfGone();
        // During start-up the minimize has just been asked for: asking again
        // adds nothing (and start-up need not wait for the page).
        if (m_hidden && m_setupUnanswered > 0 && !m_minimizeLands.hasExpired())
            return;
        requestMinimize();
        return;
    }
    refresh();
    // A minimize asked for a moment ago may not have landed yet; landing
    // after the restore, it would hide the window again: let it land first.
    if (!m_minimizeLands.hasExpired())
        waitForWindowState(QStringLiteral("minimized"), m_minimizeLands);
    m_minimizeLands = QDeadlineTimer(0);
    setWindowBounds({{QStringLiteral("windowState"), QStringLiteral("normal")}});
    m_hidden = false;
    disableFetchWhenSettled();
    // Bounds can only be set on a window in the normal state.
    waitForWindowState(QStringLiteral("normal"), QDeadlineTimer(kWindowStateLimitMs));
    if (m_pendingTop) {
        setWindowBounds({{QStringLiteral("top"), *m_pendingTop}});
        m_pendingTop.reset();
    }
    call(QStringLiteral("Page.bringToFront"));
}

void CdpBrowser::setTop(int top) {
    // A minimized window is not moved (that could flash it on the screen):
    // the position is applied when it is shown.
    if (m_hidden) {
        throwIfGone();
        m_pendingTop = top;
        return;
    }
    refresh();
    setWindowBounds({{QStringLiteral("top"), top}});
}

void CdpBrowser::closePageForTest() {
    refresh();
    m_connection->post(QStringLiteral("Target.closeTarget"), {{QStringLiteral("targetId"), m_targetId}});
}

} // namespace velkoria::cdp

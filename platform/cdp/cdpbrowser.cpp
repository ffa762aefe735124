#include "platform/cdp/cdpbrowser.h"

#include "platform/cdp/browserprocess.h"
#include "platform/cdp/errors.h"
#include "platform/cdp/json.h"
#include "platform/wait.h"

#include <QFile>
#include <QJsonArray>
#include <QScopeGuard>

namespace velkoria::cdp {

namespace {
// The markup comes over in pieces of this many characters (UTF-16 code units).
constexpr int kPieceLength = 1 << 20;
// The longest markup read, in characters: 2.5 times the largest page tested
// (50 MB, soak-bench), about 256 MB of memory. A longer one fails its page.
constexpr qsizetype kMaxMarkupLength = qsizetype(128) << 20;
// The page's objects that the program holds while it reads them.
const QString kReadingGroup = QStringLiteral("velkoria-reading");
// This many characters of the markup from a position, as [total length, text].
// A piece never ends between the two halves of a surrogate pair: a browser
// may write a lone half as a replacement character.
const QString kPiece = QStringLiteral(R"js(function (from, length) {
  const html = this.html;
  let end = Math.min(html.length, from + length);
  if (end < html.length && (html.charCodeAt(end - 1) & 0xfc00) === 0xd800) end--;
  return [html.length, html.substring(from, end)];
})js");

// The script that writes out the document as the program's page readers expect it.
QString documentSerializer() {
    static const QString script = [] {
        QFile file(QStringLiteral(":/cdp/documenthtml.js"));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}
} // namespace

CdpBrowser::CdpBrowser(std::unique_ptr<Connection> connection, int callLimitMs, std::unique_ptr<BrowserProcess> process)
    : m_connection(std::move(connection)), m_process(std::move(process)), m_callLimitMs(callLimitMs),
      m_readLimitMs(callLimitMs),
      m_session(*m_connection, [this](const QString& frameId) { m_watcher.setMainFrame(frameId); }),
      m_interception(*m_connection), m_window(*m_connection, callLimitMs),
      m_start(*m_connection, m_session, [this](const QString& targetId) {
          m_targetId = targetId;
          m_window.setTarget(targetId);
      }) {
    if (m_process)
        m_window.setAllowForeground([process = m_process.get()] { process->allowForeground(); });
    m_connection->addEventListener([this](const QString& method, const QJsonObject& params, const QString& sessionId) {
        onEvent(method, params, sessionId);
    });
}

CdpBrowser::~CdpBrowser() {
    // The browser is asked to close, as its own menu would close it: it
    // writes its profile (the last cookies, the session) and marks it closed
    // cleanly, so that its next start offers no "Restore pages?". Closing the
    // pipe right after ends a browser that is still starting as well; the
    // process object then gives it its few seconds in all before killing it.
    // Nothing waits for the command's answer here: no event may run while the
    // program ends.
    if (!m_connection->isGone())
        m_connection->post(QStringLiteral("Browser.close"));
    m_connection.reset();
    m_process.reset();
}

QJsonObject CdpBrowser::call(const QString& method, const QJsonObject& params, bool onPage) {
    return m_connection->call(method, params, onPage ? m_session.id() : QString(),
                              QDeadlineTimer(pageLimitMs(m_callLimitMs)));
}

int CdpBrowser::pageLimitMs(int ownLimitMs) const {
    return m_answerLimitMs > 0 ? std::min(ownLimitMs, m_answerLimitMs) : ownLimitMs;
}

void CdpBrowser::start(int firstAnswerLimitMs, BrowserStart::Explain explain) {
    m_start.begin(firstAnswerLimitMs, std::move(explain));
}

void CdpBrowser::onStartFailure(std::function<void(std::exception_ptr failure)> failed) {
    QObject::connect(&m_start, &BrowserStart::failed, &m_start, failed);
    // A start that failed before anyone asked is told all the same.
    if (m_start.failure())
        QTimer::singleShot(0, &m_start, [this, failed] { failed(m_start.failure()); });
}

void CdpBrowser::throwIfGone() {
    m_connection->dispatchArrived();
    if (m_start.failure())
        std::rethrow_exception(m_start.failure());
    m_connection->throwIfGone();
}

void CdpBrowser::waitUntilReady() {
    m_start.wait();
    m_session.ensureReady(QDeadlineTimer(pageLimitMs(m_callLimitMs)));
    m_connection->throwIfGone();
}

void CdpBrowser::onEvent(const QString& method, const QJsonObject& params, const QString& sessionId) {
    // The page's end: the user closed its window or its tab.
    const bool pageEnded =
        (method == QLatin1String("Target.targetDestroyed") && !m_targetId.isEmpty() &&
         text(params, "targetId") == m_targetId) ||
        (method == QLatin1String("Target.detachedFromTarget") && !m_session.id().isEmpty() &&
         text(params, "sessionId") == m_session.id()) ||
        (method == QLatin1String("Inspector.detached") && !sessionId.isEmpty() && sessionId == m_session.id());
    if (pageEnded) {
        // Started without a window of its own, the browser would go on
        // without any once the user has closed the page's: it is asked to end.
        m_connection->post(QStringLiteral("Browser.close"));
        m_connection->markGone();
        return;
    }
    if (sessionId.isEmpty() || sessionId != m_session.id())
        return;
    if (method == QLatin1String("Fetch.requestPaused")) {
        m_interception.continuePaused(m_session.id(), params, m_watcher.mainFrame());
        return;
    }
    if (method == QLatin1String("Page.javascriptDialogOpening")) {
        // Nobody can answer a dialog in a hidden window: leaving the page
        // (beforeunload) is accepted, so that the next navigation goes ahead;
        // alert, confirm and prompt are cancelled. Judged by the window's
        // state at this moment, as the browser reports it: a window the user
        // has restored from the taskbar keeps its dialog for the user.
        if (!m_window.hidden())
            return;
        const bool accept = text(params, "type") == QLatin1String("beforeunload");
        m_connection->post(
            QStringLiteral("Browser.getWindowForTarget"), {{QStringLiteral("targetId"), m_targetId}}, {},
            [this, accept, session = m_session.id()](const QJsonObject& window, std::exception_ptr error) {
                const bool shown =
                    text(window.value(u"bounds").toObject(), "windowState") != QLatin1String("minimized");
                if (!error && shown && !m_window.minimizeLanding())
                    return;
                m_connection->post(QStringLiteral("Page.handleJavaScriptDialog"), {{QStringLiteral("accept"), accept}},
                                   session);
            });
        return;
    }
    m_watcher.handleEvent(method, params);
    releaseInterception();
}

void CdpBrowser::releaseInterception() {
    m_interception.release(m_session.id(), m_watcher.settled(), m_window.hidden());
}

void CdpBrowser::navigate(const QString& url, const QByteArray& postData, const QString& headers) {
    waitUntilReady();
    const int navigation = ++m_navigations;
    // From here on the wait describes this navigation, also when it cannot even
    // start: a wait must then end with a failed load, not with the old page.
    m_watcher.navigationRequested(url);
    try {
        m_interception.prepare(m_session.id(), url, postData, headers, QDeadlineTimer(pageLimitMs(m_callLimitMs)));
    } catch (const BrowserCommandError&) {
        m_watcher.navigationRefused();
        throw;
    }
    // Not waited for: the reply comes only with the response's headers. It is
    // handled whenever it arrives, while the program waits or idles.
    m_connection->post(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}}, m_session.id(),
                       [this, navigation](const QJsonObject& result, std::exception_ptr error) {
                           if (navigation != m_navigations)
                               return;
                           if (error)
                               m_watcher.navigationRefused();
                           else
                               m_watcher.navigationAnswered(result);
                           releaseInterception();
                       });
    m_connection->throwIfGone();
}

void CdpBrowser::setVisible(bool visible) {
    if (!visible) {
        // Hiding needs the window only, not the page; while the browser
        // starts, its page's window is made minimized.
        throwIfGone();
        if (m_start.started())
            m_window.hide(m_session.pending());
        return;
    }
    waitUntilReady();
    m_window.show(m_session.id());
    releaseInterception();
}

void CdpBrowser::setTop(int top) {
    // Until the window is shown (it starts hidden), only kept for then.
    throwIfGone();
    m_window.setTop(top);
}

bool CdpBrowser::busy() {
    waitUntilReady();
    return m_watcher.busy();
}

int CdpBrowser::readyState() {
    waitUntilReady();
    return m_watcher.readyState();
}

QString CdpBrowser::documentUrl() {
    waitUntilReady();
    return m_watcher.documentUrl();
}

bool CdpBrowser::lastLoadFailed() {
    waitUntilReady();
    return m_watcher.failed();
}

void CdpBrowser::stopPage() {
    // The old page's session is not needed: a fresh one replaces it, also
    // when its setup failed.
    m_connection->throwIfGone();
    // Measured with Chromium on a page whose script never ends:
    // Page.stopLoading leaves the script running, and the next page never
    // loads; Runtime.terminateExecution ends one such script, but not a
    // second one after it nor a loop started by a timer. A fresh tab always
    // loads the next page, and closing the old one ends its renderer. The
    // fresh tab opens behind the old one in the same window, which keeps its
    // state; once the old one is closed, it is the window's page.
    const QString fresh = text(
        call(QStringLiteral("Target.createTarget"),
             {{QStringLiteral("url"), QStringLiteral("about:blank")}, {QStringLiteral("background"), true}}, false),
        "targetId");
    const QString old = m_targetId;
    // From here on the old page's events and answers are not this page's:
    // its end is no browser's end, its navigation's reply is ignored.
    m_targetId = fresh;
    ++m_navigations;
    m_watcher.pageReplaced();
    m_interception.pageReplaced();
    m_window.setTarget(fresh);
    m_session.start(fresh);
    m_connection->post(QStringLiteral("Target.closeTarget"), {{QStringLiteral("targetId"), old}});
}

bool CdpBrowser::waitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) {
    return velkoria::waitUntil(QDeadlineTimer(limit), done);
}

QString CdpBrowser::documentHtml() {
    waitUntilReady();
    // The whole reading within the page load limit: a page (or a renderer
    // that stopped answering) cannot keep the scan reading it for ever.
    const QDeadlineTimer deadline(pageLimitMs(m_readLimitMs));
    const auto read = [&](const QString& method, const QJsonObject& params) {
        if (deadline.hasExpired())
            throw BrowserCommandError(BrowserError::Kind::NoAnswer, method);
        return remoteObject(method, m_connection->call(method, params, m_session.id(), deadline));
    };
    // The markup is written out in a JavaScript world of the program's own
    // over the same document (as the browser's extensions have): the page's
    // scripts cannot reach its built-ins, so a page that replaces
    // Array.prototype.join or String.prototype.substring changes nothing of
    // what is read. A world holds to its document: one is made for each read.
    const QJsonObject world = m_connection->call(QStringLiteral("Page.createIsolatedWorld"),
                                                 {{QStringLiteral("frameId"), m_watcher.mainFrame()},
                                                  {QStringLiteral("worldName"), kReadingGroup},
                                                  {QStringLiteral("grantUniveralAccess"), true}},
                                                 m_session.id(), deadline);
    // It is held there, then fetched in pieces into a text reserved at its
    // full length. Fetched at once, a large page would be in memory several
    // times over: the bytes read from the pipe, the message, its parsed value
    // and the text.
    const QString markup =
        read(QStringLiteral("Runtime.evaluate"),
             {{QStringLiteral("expression"), QStringLiteral("({html: %1\n})").arg(documentSerializer())},
              {QStringLiteral("contextId"), world.value(u"executionContextId")},
              {QStringLiteral("objectGroup"), kReadingGroup},
              {QStringLiteral("returnByValue"), false},
              {QStringLiteral("silent"), true}})
            .toObject()
            .value(u"objectId")
            .toString();
    const auto release = qScopeGuard([this] {
        m_connection->post(QStringLiteral("Runtime.releaseObjectGroup"),
                           {{QStringLiteral("objectGroup"), kReadingGroup}}, m_session.id());
    });
    QString html;
    qsizetype length = -1;
    while (length < 0 || html.size() < length) {
        const QJsonArray piece =
            read(QStringLiteral("Runtime.callFunctionOn"),
                 {{QStringLiteral("objectId"), markup},
                  {QStringLiteral("functionDeclaration"), kPiece},
                  {QStringLiteral("arguments"), QJsonArray{QJsonObject{{QStringLiteral("value"), html.size()}},
                                                           QJsonObject{{QStringLiteral("value"), kPieceLength}}}},
                  {QStringLiteral("returnByValue"), true},
                  {QStringLiteral("silent"), true}})
                .toObject()
                .value(u"value")
                .toArray();
        if (length < 0) {
            length = piece.at(0).toInteger(-1);
            if (length < 0 || length > kMaxMarkupLength)
                throw BrowserCommandError(
                    BrowserError::Kind::ScriptFailed, QStringLiteral("Runtime.callFunctionOn"),
                    QStringLiteral("markup of %1 characters, more than the %2 read").arg(length).arg(kMaxMarkupLength));
            html.reserve(length);
        }
        const QString text = piece.at(1).toString();
        if (text.isEmpty() || html.size() + text.size() > length)
            break;
        html += text;
    }
    return html;
}

QJsonValue CdpBrowser::evaluate(const QString& expression) {
    return evaluate(expression, true);
}

QJsonValue CdpBrowser::evaluate(const QString& expression, bool byValue) {
    waitUntilReady();
    QJsonObject params{{QStringLiteral("expression"), expression},
                       {QStringLiteral("returnByValue"), byValue},
                       {QStringLiteral("silent"), true}};
    if (!byValue)
        params.insert(QStringLiteral("objectGroup"), kReadingGroup);
    const QJsonValue result =
        remoteObject(QStringLiteral("Runtime.evaluate"), call(QStringLiteral("Runtime.evaluate"), params));
    return byValue ? result.toObject().value(u"value") : result;
}

QJsonValue CdpBrowser::remoteObject(const QString& method, const QJsonObject& reply) {
    if (reply.contains(u"exceptionDetails")) {
        const QJsonObject details = reply.value(u"exceptionDetails").toObject();
        throw BrowserCommandError(BrowserError::Kind::ScriptFailed, method,
                                  text(details.value(u"exception").toObject(), "description"));
    }
    return reply.value(u"result");
}

QJsonObject CdpBrowser::windowBounds() {
    m_start.wait();
    m_connection->throwIfGone();
    return m_window.bounds();
}

} // namespace velkoria::cdp

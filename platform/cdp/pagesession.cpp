#include "platform/cdp/pagesession.h"

#include "platform/cdp/errors.h"
#include "platform/cdp/json.h"
#include "platform/wait.h"

namespace velkoria::cdp {

namespace {
// Run in every document before its own scripts: while the page is hidden (its
// window minimized) alert, confirm and prompt return at once as if dismissed.
// A dialog would hold up the page's load until answered, and answering it
// through the protocol restores the minimized window (measured with
// Chromium); nobody is there to answer it anyway. A shown page keeps its
// dialogs for the user.
const QString kQuietDialogs = QStringLiteral(R"js(
for (const [name, dismissed] of [['alert', undefined], ['confirm', false], ['prompt', null]]) {
  const shown = window[name];
  window[name] = function (...args) {
    return document.visibilityState === 'hidden' ? dismissed : shown.apply(this, args);
  };
})js");
} // namespace

PageSession::PageSession(Connection& connection, std::function<void(const QString&)> onMainFrame)
    : m_connection(connection), m_onMainFrame(std::move(onMainFrame)) {}

void PageSession::start(const QString& targetId) {
    ++m_page;
    m_id.clear();
    m_unanswered = 0;
    m_failure = nullptr;
    step(QStringLiteral("Target.attachToTarget"),
         {{QStringLiteral("targetId"), targetId}, {QStringLiteral("flatten"), true}}, false,
         [this](const QJsonObject& attached) {
             m_id = text(attached, "sessionId");
             const auto nothing = [](const QJsonObject&) {};
             step(QStringLiteral("Page.enable"), {}, true, nothing);
             step(QStringLiteral("Page.addScriptToEvaluateOnNewDocument"), {{QStringLiteral("source"), kQuietDialogs}},
                  true, nothing);
             step(QStringLiteral("Network.enable"), {}, true, nothing);
             // Inspector.detached reports the user closing the page.
             step(QStringLiteral("Inspector.enable"), {}, true, nothing);
             step(QStringLiteral("Page.setLifecycleEventsEnabled"), {{QStringLiteral("enabled"), true}}, true, nothing);
             // Target.targetDestroyed reports the page's end too.
             step(QStringLiteral("Target.setDiscoverTargets"), {{QStringLiteral("discover"), true}}, false, nothing);
             step(QStringLiteral("Page.getFrameTree"), {}, true, [this](const QJsonObject& result) {
                 m_onMainFrame(text(result.value(u"frameTree").toObject().value(u"frame").toObject(), "id"));
             });
         });
}

void PageSession::step(const QString& method, const QJsonObject& params, bool onPage,
                       std::function<void(const QJsonObject&)> next) {
    if (m_failure)
        return;
    ++m_unanswered;
    m_connection.post(
        method, params, onPage ? m_id : QString(),
        [this, page = m_page, next = std::move(next)](const QJsonObject& result, std::exception_ptr error) {
            if (page != m_page)
                return;
            --m_unanswered;
            if (m_failure)
                return;
            if (error)
                m_failure = error;
            else
                next(result);
        });
}

void PageSession::ensureReady(QDeadlineTimer deadline) {
    const bool answered = (m_unanswered == 0 && !m_failure) || waitUntil(deadline, [this] {
                              m_connection.dispatchArrived();
                              return m_unanswered == 0 || m_failure;
                          });
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (!answered)
        throw BrowserCommandError(BrowserError::Kind::NoPage, {});
}

} // namespace velkoria::cdp

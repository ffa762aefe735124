#include "platform/cdp/pagesession.h"

#include "platform/cdp/json.h"
#include "platform/errors.h"
#include "platform/wait.h"

namespace velkoria::cdp {

PageSession::PageSession(Connection& connection, std::function<void(const QString&)> onMainFrame)
    : m_connection(connection), m_onMainFrame(std::move(onMainFrame)) {}

void PageSession::start(const QString& targetId) {
    step(QStringLiteral("Target.attachToTarget"),
         {{QStringLiteral("targetId"), targetId}, {QStringLiteral("flatten"), true}}, false,
         [this](const QJsonObject& attached) {
             m_id = text(attached, "sessionId");
             const auto nothing = [](const QJsonObject&) {};
             step(QStringLiteral("Page.enable"), {}, true, nothing);
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
    m_connection.post(method, params, onPage ? m_id : QString(),
                      [this, next = std::move(next)](const QJsonObject& result, std::exception_ptr error) {
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
        throw BrowserCommandError(QStringLiteral("ブラウザのページに接続できません (応答がありません)。"));
}

} // namespace velkoria::cdp

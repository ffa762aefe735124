#include "platform/cdp/interception.h"

#include <QJsonArray>

namespace velkoria::cdp {

void Interception::prepare(const QString& session, const QString& url, const QByteArray& postData,
                           const QString& headers, QDeadlineTimer deadline) {
    if (postData.isEmpty()) {
        // Nothing to post: a plain navigation (the header lines only describe a body).
        m_interceptor.disarm();
        return;
    }
    m_interceptor.arm(url, postData, PostInterceptor::parseHeaderLines(headers));
    if (m_enabled)
        return;
    const QJsonObject pattern{{QStringLiteral("urlPattern"), QStringLiteral("*")},
                              {QStringLiteral("resourceType"), QStringLiteral("Document")},
                              {QStringLiteral("requestStage"), QStringLiteral("Request")}};
    m_connection.call(QStringLiteral("Fetch.enable"), {{QStringLiteral("patterns"), QJsonArray{pattern}}}, session,
                      deadline);
    m_enabled = true;
}

void Interception::continuePaused(const QString& session, const QJsonObject& paused, const QString& mainFrame) {
    m_connection.post(QStringLiteral("Fetch.continueRequest"), m_interceptor.continueParams(paused, mainFrame),
                      session);
}

void Interception::release(const QString& session, bool settled, bool hidden) {
    if (m_enabled && settled && !hidden) {
        m_enabled = false;
        m_interceptor.disarm();
        m_connection.post(QStringLiteral("Fetch.disable"), {}, session);
    }
}

} // namespace velkoria::cdp

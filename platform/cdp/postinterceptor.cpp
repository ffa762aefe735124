#include "platform/cdp/postinterceptor.h"

#include "platform/cdp/address.h"

#include <QJsonArray>

namespace velkoria::cdp {

QList<PostInterceptor::Header> PostInterceptor::parseHeaderLines(const QString& text) {
    QList<Header> headers;
    for (const QString& line : text.split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0)
            continue;
        const QString name = line.left(colon).trimmed();
        if (!name.isEmpty())
            headers.append({name, line.mid(colon + 1).trimmed()});
    }
    return headers;
}

void PostInterceptor::arm(const QString& url, const QByteArray& body, const QList<Header>& headers) {
    m_armed = true;
    m_url = requestAddress(url);
    m_body = body;
    m_headers = headers;
}

QJsonObject PostInterceptor::continueParams(const QJsonObject& paused, const QString& mainFrameId) {
    QJsonObject params{{QStringLiteral("requestId"), paused.value(QLatin1String("requestId"))}};
    const bool mainDocument = paused.value(QLatin1String("frameId")).toString() == mainFrameId &&
                              paused.value(QLatin1String("resourceType")).toString() == QLatin1String("Document") &&
                              !paused.contains(QLatin1String("responseStatusCode"));
    const QJsonObject request = paused.value(QLatin1String("request")).toObject();
    if (!m_armed || !mainDocument || paused.contains(QLatin1String("redirectedRequestId")) ||
        requestAddress(request.value(QLatin1String("url")).toString()) != m_url)
        return params;
    m_armed = false;

    // The list given replaces the request's headers: keep the request's own,
    // the caller's lines winning over a header of the same name.
    QJsonArray headers;
    const QJsonObject own = request.value(QLatin1String("headers")).toObject();
    for (auto it = own.begin(); it != own.end(); ++it) {
        const bool replaced = std::any_of(m_headers.cbegin(), m_headers.cend(), [&](const Header& h) {
            return h.name.compare(it.key(), Qt::CaseInsensitive) == 0;
        });
        if (!replaced)
            headers.append(QJsonObject{{QStringLiteral("name"), it.key()}, {QStringLiteral("value"), it.value()}});
    }
    for (const Header& h : m_headers)
        headers.append(QJsonObject{{QStringLiteral("name"), h.name}, {QStringLiteral("value"), h.value}});

    params.insert(QStringLiteral("method"), QStringLiteral("POST"));
    params.insert(QStringLiteral("postData"), QString::fromLatin1(m_body.toBase64()));
    params.insert(QStringLiteral("headers"), headers);
    return params;
}

} // namespace velkoria::cdp

#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace velkoria::cdp {

// Turns the next navigation of the main frame into a POST. Page.navigate
// carries no body, so the document request is paused (Fetch, request stage)
// and continued as a POST with the body and the caller's headers. Only the
// first pause of the main frame after arm() for the address asked for is
// changed: iframes, later hops (redirects), the page's own navigations to
// another address and the user's continue untouched, so a body (the login's
// password) never goes anywhere but where it was meant to.
class PostInterceptor {
public:
    struct Header {
        QString name;
        QString value;
    };

    // "Name: value" lines, each ended by CR LF (or LF); lines without a name are skipped.
    static QList<Header> parseHeaderLines(const QString& text);

    void arm(const QString& url, const QByteArray& body, const QList<Header>& headers);
    void disarm() { m_armed = false; }

    // The parameters of Fetch.continueRequest for a Fetch.requestPaused event.
    QJsonObject continueParams(const QJsonObject& paused, const QString& mainFrameId);

private:
    bool m_armed = false;
    QString m_url;
    QByteArray m_body;
    QList<Header> m_headers;
};

} // namespace velkoria::cdp

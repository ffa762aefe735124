#pragma once

#include "platform/cdp/connection.h"
#include "platform/cdp/postinterceptor.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>

namespace velkoria::cdp {

// Request interception for the program's POSTs (Fetch, request stage). It is
// turned on for the program's first POST and stays on while the window is
// hidden: only the program navigates then, a scan's pages one after the other,
// and turning it on and off for every page would cost a command each time.
// Once the window is shown and the program's navigation has settled, it goes
// off: the user's own browsing is never paused.
class Interception {
public:
    explicit Interception(Connection& connection) : m_connection(connection) {}

    // Before the program navigates to url: the next document request of the
    // main frame for url becomes a POST of postData with the header lines (no
    // data: a plain navigation), and interception is on. Throws when the browser refuses.
    void prepare(const QString& session, const QString& url, const QByteArray& postData, const QString& headers,
                 QDeadlineTimer deadline);
    // Fetch.requestPaused: every paused request must be continued, or its
    // load stalls for ever; the program's own as its POST.
    void continuePaused(const QString& session, const QJsonObject& paused, const QString& mainFrame);
    // Turns interception off when the program's navigation has settled and
    // the window is shown.
    void release(const QString& session, bool settled, bool hidden);
    // The page was replaced by a fresh one, on which interception is off.
    void pageReplaced() {
        m_enabled = false;
        m_interceptor.disarm();
    }

private:
    Connection& m_connection;
    PostInterceptor m_interceptor;
    bool m_enabled = false;
};

} // namespace velkoria::cdp

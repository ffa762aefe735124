#pragma once

#include "platform/cdp/connection.h"

#include <QDeadlineTimer>
#include <QString>
#include <exception>
#include <functional>

namespace velkoria::cdp {

// The browser's page as the program reaches it: attached in a session of its
// own, with the events the program follows enabled (loading, the page's end),
// its main frame known, and its JavaScript dialogs kept quiet while its window
// is hidden. The setup is a chain of commands whose answers are
// handled as they arrive, so that start-up need not wait for the page's
// renderer; whatever needs the page calls ensureReady() first.
class PageSession {
public:
    // onMainFrame gets the id of the page's main frame once the page tells it.
    PageSession(Connection& connection, std::function<void(const QString& frameId)> onMainFrame);

    // Starts the setup for the page with that target id; again for a fresh
    // page, whose setup then replaces the previous one's.
    void start(const QString& targetId);
    // Waits until every command of the setup has been answered, at most until
    // the deadline. Throws the setup's first failure (BrowserGoneError, or
    // BrowserCommandError naming the command) at every call from then on.
    void ensureReady(QDeadlineTimer deadline);
    // Commands of the setup are still unanswered.
    bool pending() const { return m_unanswered > 0; }
    // The session's id; empty until the page is attached.
    const QString& id() const { return m_id; }

private:
    void step(const QString& method, const QJsonObject& params, bool onPage,
              std::function<void(const QJsonObject& result)> next);

    Connection& m_connection;
    std::function<void(const QString&)> m_onMainFrame;
    QString m_id;
    int m_unanswered = 0;
    std::exception_ptr m_failure;
    int m_page = 0; // counts the pages set up; an answer for an earlier one is ignored
};

} // namespace velkoria::cdp

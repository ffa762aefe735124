#pragma once

#include "platform/cdp/connection.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QString>
#include <exception>
#include <functional>
#include <optional>

namespace velkoria::cdp {

// The browser's window as the program shows and hides it: hidden is
// minimized (it stays in the taskbar), shown is the normal state with the
// page in front. The window manager carries a state change out a moment
// later, and the protocol has no event for the window's state, so the timing
// is kept here: a hide does not wait for the minimize to land, a show lets a
// recent one land first (landing after the restore, it would hide the window
// again), and a top edge set while hidden waits until the window is shown.
class BrowserWindow {
public:
    BrowserWindow(Connection& connection, int callLimitMs) : m_connection(connection), m_callLimitMs(callLimitMs) {}

    // The page whose window this is.
    void setTarget(const QString& targetId) { m_targetId = targetId; }
    // Run before each step of a show that brings the window to the front:
    // lets the browser's process take the foreground (see BrowserProcess).
    void setAllowForeground(std::function<void()> allow) { m_allowForeground = std::move(allow); }

    // Asks for the minimize. While the page's session is still being set up
    // (just after the start, whose own minimize may still be landing),
    // nothing is asked again (and nothing waits).
    void hide(bool pageSettingUp);
    // Restores the window, applies a top edge set meanwhile and brings the
    // page (its session) to the front.
    void show(const QString& session);
    // Moves the top edge; while hidden only when it is next shown (moving a
    // minimized window could flash it on the screen).
    void setTop(int top);
    bool hidden() const { return m_hidden; }
    // A minimize asked for a moment ago may not have landed yet.
    bool minimizeLanding() const { return m_hidden && !m_minimizeLands.hasExpired(); }

    // The bounds and windowState ("normal", "minimized", ...) as the browser reports them.
    QJsonObject bounds();

private:
    QJsonObject call(const QString& method, const QJsonObject& params, const QString& session = {});
    void setBounds(const QJsonObject& bounds);
    // Waits until the browser reports the window in that state; false at the deadline.
    bool waitForState(const QString& state, const QString& session, QDeadlineTimer deadline);

    Connection& m_connection;
    int m_callLimitMs;
    QString m_targetId;
    bool m_hidden = true;
    // Until when a minimize asked for may still be landing; expired when none is.
    QDeadlineTimer m_minimizeLands{0};
    std::optional<int> m_pendingTop;
    std::function<void()> m_allowForeground;
};

} // namespace velkoria::cdp

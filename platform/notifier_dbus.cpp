// Notifications on a freedesktop desktop: the org.freedesktop.Notifications
// service on the session bus (GNOME, KDE, Xfce, dunst and others).
#include "platform/notifier.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QVariantMap>
#include <algorithm>
#include <deque>

namespace velkoria {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// The action that a click on the notification's body invokes.
const QString kDefaultAction = QStringLiteral("default");

class DBusNotifier : public QObject, public Notifier {
    Q_OBJECT
public:
    DBusNotifier() : m_bus(QDBusConnection::sessionBus()) {
        // Without a session bus (a session without a desktop) nothing is shown.
        if (!m_bus.isConnected())
            return;
        m_bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                      SLOT(actionInvoked(uint, QString)));
        m_bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                      SLOT(notificationClosed(uint, uint)));
        // A notification service that restarts (or another that takes its
        // place) numbers its notifications afresh: a number of ours may then
        // be another program's notification, and its click must not open one
        // of our requests.
        auto* watcher = new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
            m_clicked.clear();
            m_order.clear();
        });
    }

    void notify(const QString& title, const QString& text, std::function<void()> clicked) override {
        if (!m_bus.isConnected())
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        // The body may be read as markup; an ID is shown as it is written.
        call << QStringLiteral("Velkoria") << uint(0) << QString() << title << text.toHtmlEscaped()
             << QStringList{kDefaultAction, QStringLiteral("開く")}
             << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("velkoria")}}
             // As long as the desktop keeps its notifications (-1): one that
             // never expires stays on the screen until closed, and many of them
             // fill it. The day's list keeps every announcement.
             << qint32(-1);
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, clicked = std::move(clicked)](QDBusPendingCallWatcher* finished) {
                    finished->deleteLater();
                    const QDBusPendingReply<uint> reply = *finished;
                    if (reply.isError())
                        return; // no notification service: the other announcements stand
                    remember(reply.value(), clicked);
                });
    }

private slots:
    void actionInvoked(uint id, const QString& action) {
        const auto it = m_clicked.constFind(id);
        if (action == kDefaultAction && it != m_clicked.constEnd())
            it.value()();
    }

    // Closed (expired, dismissed, clicked or withdrawn): its number may be
    // given to another notification.
    void notificationClosed(uint id, uint reason) {
        Q_UNUSED(reason);
        if (m_clicked.remove(id) > 0)
            m_order.erase(std::find(m_order.begin(), m_order.end(), id));
    }

private:
    // The clicks of the notifications that are still open, the latest ones
    // only (a desktop that never says which were closed keeps no more).
    void remember(uint id, std::function<void()> clicked) {
        static constexpr size_t kRemembered = 200;
        if (m_clicked.contains(id))
            m_order.erase(std::find(m_order.begin(), m_order.end(), id));
        m_clicked.insert(id, std::move(clicked));
        m_order.push_back(id);
        if (m_order.size() > kRemembered) {
            m_clicked.remove(m_order.front());
            m_order.pop_front();
        }
    }

    QDBusConnection m_bus;
    QHash<uint, std::function<void()>> m_clicked;
    std::deque<uint> m_order;
};

} // namespace

std::unique_ptr<Notifier> createSessionBusNotifier() {
    return std::make_unique<DBusNotifier>();
}

} // namespace velkoria

#include "notifier_dbus.moc"

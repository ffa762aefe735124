// Notifications on a freedesktop desktop: the org.freedesktop.Notifications
// service on the session bus (GNOME, KDE, Xfce, dunst and others).
#include "platform/notifier.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QVariantMap>
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
        if (m_bus.isConnected())
            m_bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                          SLOT(actionInvoked(uint, QString)));
    }

    void notify(const QString& title, const QString& text, std::function<void()> clicked) override {
        if (!m_bus.isConnected())
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        // The body may be read as markup; an ID is shown as it is written.
        call << QStringLiteral("Velkoria") << uint(0) << QString() << title << text.toHtmlEscaped()
             << QStringList{kDefaultAction, QStringLiteral("開く")}
             << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("velkoria")}}
             // Until the user closes it: a request is announced once.
             << qint32(0);
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

private:
    // A notification stays clickable after it has left the screen (in the
    // desktop's list of notifications): the latest ones are remembered.
    void remember(uint id, std::function<void()> clicked) {
        static constexpr size_t kRemembered = 200;
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
